#include "rec/SweepFolder.h"

#include "core/samples/SampleCsv.h"
#include "core/samples/SampleFormat.h"
#include "core/system/WholeFile.h"
#include "rec/IndexFile.h"
#include "rec/StopSignals.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstdlib>
#include <pthread.h>
#include <sched.h>

namespace {

// Names sort in recording order up to this sweep; the folder takes no more.
constexpr long long LastNumber = 99'999'999;
// Writers at once, and sweeps handed over and not yet in the index at most (about 17 KiB each).
// A sweep takes about 1 ms and each file waits for its syncs: the disk serves many at once.
constexpr int Writers = 16;
constexpr int MostUnfinished = 64;
const QString IndexName = QStringLiteral("index.csv");

// A CSV cell; quoted when it holds a separator, a quote or a line break.
QByteArray cell(const QString& text)
{
    QByteArray bytes = text.toUtf8();
    if (bytes.contains(',') || bytes.contains('"') || bytes.contains('\n') || bytes.contains('\r'))
        bytes = '"' + bytes.replace('"', "\"\"") + '"';
    return bytes;
}

// ISO 8601 local time with milliseconds and the offset from UTC, "2026-12-07T15:47:41.123+01:00".
QByteArray isoLocal(const QDateTime& time)
{
    const int offset = time.offsetFromUtc() / 60;
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")).toLatin1()
        + QString::asprintf("%c%02d:%02d", offset < 0 ? '-' : '+', std::abs(offset) / 60, std::abs(offset) % 60).toLatin1();
}

QString reasonOf(const WholeFile& file)
{
    return englishReason(file.errorNumber());
}

} // namespace

SweepFolder::SweepFolder(const QString& path, std::optional<SampleFormat> format, Opening opening, QString source)
    : path_(QDir::cleanPath(path)), format_(format.value_or(SampleFormat::Dat)), opening_(opening), source_(std::move(source)),
      indexPath_(QDir(path_).filePath(IndexName))
{
    const QFileInfo folder(path_);
    if (opening == NextFreeName || !folder.exists())
        return;
    if (!folder.isDir())
        throw OutputError(QStringLiteral("%1: %2").arg(path_, englishReason(ENOTDIR)), ENOTDIR);
    QDir dir(path_);
    const QStringList entries = dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    if (!dir.isReadable())
        throw OutputError(QStringLiteral("%1: %2").arg(path_, englishReason(EACCES)), EACCES);
    if (opening == Fresh && !entries.isEmpty() && entries != QStringList{IndexName})
        throw OutputError(QStringLiteral("%1: the folder holds files already; --append records on into it").arg(path_));
    continueFrom(entries, opening == Append, format);
}

void SweepFolder::continueFrom(const QStringList& entries, bool append, std::optional<SampleFormat> format)
{
    static const QRegularExpression sweepFile(QStringLiteral("^sweep-([0-9]{8})-ch[0-7]\\.(dat|csv)$"));
    long long highest = 0;
    QString extension;
    for (const QString& entry : entries)
        if (const QRegularExpressionMatch match = sweepFile.match(entry); match.hasMatch() && match.captured(1).toLongLong() >= highest) {
            highest = match.captured(1).toLongLong();
            extension = match.captured(2);
        }
    if (append && !extension.isEmpty()) {
        const SampleFormat own = *formatNamed(extension);
        if (format && *format != own)
            throw UsageError(QStringLiteral("%1 holds %2 files and --append keeps that format; --format %3 says otherwise")
                                 .arg(path_, extension, formatWord(*format)));
        format_ = own;
    }
    if (entries.contains(IndexName)) {
        const QByteArray text = IndexFile::read(indexPath_);
        // An index with its header only, or cut short within it (a disk full as it was made),
        // holds no recording yet.
        if (QByteArray(Header).startsWith(text) || QByteArray(OlderHeader).startsWith(text)) {
            keepIndexBytes_ = text == Header ? -1 : 0;
        } else {
            if (!text.startsWith(Header) && !text.startsWith(OlderHeader))
                throw OutputError(QStringLiteral("%1: not the index of a recording (its first line is not the header)").arg(indexPath_));
            if (!append)
                throw OutputError(QStringLiteral("%1: the folder holds a recording already; --append records on into it").arg(path_));
            QList<QByteArray> lines = text.split('\n');
            // A last row cut short (the process ended as it was written) goes.
            if (!lines.last().isEmpty()) {
                keepIndexBytes_ = text.lastIndexOf('\n') + 1;
                mended_ = QStringLiteral("%1: its last row was cut short and is dropped: %2").arg(indexPath_, QString::fromUtf8(lines.last()));
            }
            lines.removeLast();
            for (qsizetype line = 1; line < lines.size(); ++line) {
                const QByteArray number = lines[line].left(lines[line].indexOf(','));
                bool ok = false;
                const long long n = number.toLongLong(&ok);
                if (!ok || n < 1 || n > LastNumber)
                    throw OutputError(QStringLiteral("%1, line %2: the sweep number '%3' cannot be continued (1 to %4)")
                                          .arg(indexPath_).arg(line + 1).arg(QString::fromUtf8(number)).arg(LastNumber));
                highest = std::max(highest, n);
            }
        }
    }
    if (highest >= LastNumber)
        throw OutputError(QStringLiteral("%1: sweep %2 is there, the last the folder takes").arg(path_).arg(LastNumber));
    next_ = highest + 1;
}

SweepFolder::~SweepFolder()
{
    stopWriters();
}

void SweepFolder::makeFolder(Opening opening)
{
    if (opening != NextFreeName && QFileInfo(path_).isDir())
        return;
    // The parents first; the folder's own mkdir then says why when any of it failed.
    QDir().mkpath(QFileInfo(path_).absolutePath());
    const QString base = path_;
    for (int n = 2, error; (error = makeOneFolder(path_)) != 0; ++n) {
        if (opening != NextFreeName || error != EEXIST)
            throw OutputError(QStringLiteral("%1: the folder cannot be made: %2").arg(path_, englishReason(error)), error);
        path_ = base + QStringLiteral("-%1").arg(n);
    }
    indexPath_ = QDir(path_).filePath(IndexName);
    madeFolder_ = true;
}

void SweepFolder::openIndex()
{
    const bool made = !QFileInfo::exists(indexPath_);
    index_.emplace(indexPath_);
    try {
        if (keepIndexBytes_ >= 0)
            index_->cutTo(keepIndexBytes_);
        if (index_->size() == 0)
            appendRow(Header);
    } catch (const OutputError&) {
        // Nothing made is left behind: an index without its header would be no index.
        index_.reset();
        if (made)
            QFile::remove(indexPath_);
        if (madeFolder_)
            QDir().rmdir(path_);
        throw;
    }
}

void SweepFolder::begin()
{
    makeFolder(opening_);
    openIndex();
    for (int n = 0; n < Writers; ++n)
        writers_.emplace_back([this] { work(); });
}

void SweepFolder::kept(const SweepRecord& sweep, const SampleArray& samples)
{
    const QString file = QString::asprintf("sweep-%08lld-ch%d.", sweep.number, sweep.channel) + formatWord(format_);
    queue({0, sweep.number, file, sweep, sweep.note, {}, std::make_unique<const SampleArray>(samples)});
}

void SweepFolder::lost(const SweepRecord& sweep, const QString& reason)
{
    queue({0, sweep.number, {}, sweep, reason, {}, {}});
}

void SweepFolder::queue(Job job)
{
    if (job.number > LastNumber)
        throw OutputError(QStringLiteral("%1: the folder takes no more than %2 sweeps").arg(path_).arg(LastNumber));
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return failure_ || unfinished_ < MostUnfinished; });
    if (failure_)
        throw *failure_;
    job.order = nextOrder_++;
    ++unfinished_;
    jobs_.push_back(std::move(job));
    // A writer that is awake takes the next job on its way round: one is woken only for a job
    // that none of them will come to. So the sweeps' thread mostly hands over without a system
    // call.
    if (jobs_.size() > writers_.size() - idleWriters_)
        queued_.notify_one();
}

bool SweepFolder::mayTake() const
{
    return !jobs_.empty() && failed_.empty() && !alone_ && (inFlight_ == 0 || jobs_.front().order > oneByOneUpTo_);
}

void SweepFolder::work()
{
    // The stop signals go to the recording's thread, whose waits they are to end.
    StopSignals::leaveToOtherThreads();
#ifdef SCHED_BATCH
    // A writer woken by a sweep handed over waits its turn rather than preempting the sweeps.
    const sched_param batch{};
    pthread_setschedparam(pthread_self(), SCHED_BATCH, &batch);
#endif
    std::unique_lock lock(mutex_);
    for (;;) {
        while (!mayTake() && !(stopping_ && jobs_.empty() && inFlight_ == 0)) {
            ++idleWriters_;
            queued_.wait(lock);
            --idleWriters_;
        }
        if (!mayTake())
            return;
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        if (failure_ && job.order > failedOrder_) {
            --unfinished_; // after the failure nothing more is written
        } else {
            const bool alone = job.order <= oneByOneUpTo_;
            alone_ = alone;
            ++inFlight_;
            std::optional<OutputError> failure;
            lock.unlock();
            if (job.row.isEmpty())
                job.row = row(job);
            if (!job.file.isEmpty())
                failure = write(job);
            lock.lock();
            --inFlight_;
            alone_ = alone_ && !alone;
            written(std::move(job), std::move(failure));
        }
        done_.notify_one();
        // Writers held back while one wrote alone, or waiting to end, look again; in the
        // common case each writer takes the next job itself.
        if (stopping_ || oneByOneUpTo_ >= 0)
            queued_.notify_all();
    }
}

std::optional<OutputError> SweepFolder::write(Job& job)
{
    const QString file = QDir(path_).filePath(job.file);
    WholeFile out(file, WholeFile::NeverReplace, &folderSync_);
    if (out.open() && out.commit(formatted(*job.samples, job.sweep.range, format_)))
        return {};
    // The file is in the folder: its row stays, and says what is not known.
    if (out.unconfirmed()) {
        const QString unsynced =
            QStringLiteral("the folder could not be synced (%1): the file may not survive a crash").arg(reasonOf(out));
        job.note = job.note.isEmpty() ? unsynced : job.note + QStringLiteral("; ") + unsynced;
        job.row = row(job);
        return {};
    }
    if (out.errorNumber() == EEXIST)
        return OutputError(QStringLiteral("%1: already there, and nothing is replaced").arg(file), EEXIST);
    return OutputError(QStringLiteral("%1: %2").arg(file, reasonOf(out)), out.errorNumber());
}

void SweepFolder::written(Job job, std::optional<OutputError> failure)
{
    if (!failure) {
        waiting_.emplace(job.order, std::move(job));
        for (auto next = waiting_.find(nextRow_); next != waiting_.end(); next = waiting_.find(nextRow_)) {
            try {
                appendRow(next->second.row);
            } catch (const OutputError& error) {
                // A file whose row cannot go in goes too.
                failure = error;
                job = std::move(next->second);
                waiting_.erase(next);
                removeFile(job);
                break;
            }
            waiting_.erase(next);
            ++nextRow_;
            --unfinished_;
        }
    }
    if (failure) {
        if (job.order <= oneByOneUpTo_ || failure_)
            failFinally(job, *failure);
        else
            failed_.push_back(std::move(job));
    }
    if (!failed_.empty() && inFlight_ == 0)
        rewind();
}

void SweepFolder::rewind()
{
    for (auto& [order, job] : waiting_) {
        removeFile(job);
        failed_.push_back(std::move(job));
    }
    waiting_.clear();
    std::sort(failed_.begin(), failed_.end(), [](const Job& a, const Job& b) { return a.order > b.order; });
    for (Job& job : failed_)
        jobs_.push_front(std::move(job));
    failed_.clear();
    oneByOneUpTo_ = nextOrder_ - 1;
}

void SweepFolder::failFinally(const Job& job, const OutputError& failure)
{
    --unfinished_;
    if (failure_ && failedOrder_ < job.order)
        return;
    failure_ = OutputError(QStringLiteral("%1; sweep %2 is the first not kept").arg(failure.detail()).arg(job.number), failure.errorNumber());
    failedOrder_ = job.order;
    // A file the index does not name would be a sweep half kept.
    for (auto later = waiting_.upper_bound(failedOrder_); later != waiting_.end(); later = waiting_.erase(later)) {
        removeFile(later->second);
        --unfinished_;
    }
}

void SweepFolder::removeFile(const Job& job) const
{
    if (!job.file.isEmpty())
        QFile::remove(QDir(path_).filePath(job.file));
}

void SweepFolder::stopWriters()
{
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    queued_.notify_all();
    for (std::thread& writer : writers_)
        writer.join();
    writers_.clear();
}

void SweepFolder::finish()
{
    stopWriters();
    if (failure_)
        throw *failure_;
}

void SweepFolder::appendRow(const QByteArray& row)
{
    index_->append(row);
}

QByteArray SweepFolder::row(const Job& job) const
{
    const SweepRecord& s = job.sweep;
    const QString& file = job.file;
    QByteArray text = QByteArray::number(s.number) + ',' + cell(file) + ',' + isoLocal(s.start) + ',';
    appendFixed(text, s.seconds);
    text += ',' + QByteArray::number(s.channel) + ',' + rangeWord(s.range).toLatin1() + ',' + cell(source_) + ','
        + s.link.toLatin1() + ',';
    if (file.isEmpty()) {
        text += ",,";
    } else {
        const Summary summary = summarise(*job.samples, s.range);
        appendFixed(text, summary.minimum);
        text += ',';
        appendFixed(text, summary.maximum);
        text += ',';
        appendFixed(text, summary.mean);
    }
    return text + ',' + cell(job.note) + '\n';
}
