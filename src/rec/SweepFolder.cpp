#include "rec/SweepFolder.h"

#include "core/samples/SampleCsv.h"
#include "core/samples/SampleFile.h"
#include "core/system/WholeFile.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstdlib>
#include <pthread.h>
#include <sched.h>
#include <sys/stat.h>
#ifdef Q_OS_WIN
#include <direct.h>
#endif

namespace {

// Names sort in recording order up to this sweep; the folder takes no more.
constexpr long long LastNumber = 99'999'999;
// Writers at once, and sweeps handed over and not yet in the index at most (about 17 KiB each).
constexpr int Writers = 8;
constexpr int MostUnfinished = 32;
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
    return file.errorNumber() ? englishReason(file.errorNumber()) : file.reason();
}

} // namespace

SweepFolder::SweepFolder(const QString& path, RecOptions::Format format, bool append, QString source)
    : path_(QDir::cleanPath(path)), format_(format), source_(std::move(source)), index_(QDir(path_).filePath(IndexName))
{
    const QFileInfo folder(path_);
    if (!folder.exists())
        return;
    if (!folder.isDir())
        throw OutputError(QStringLiteral("%1: %2").arg(path_, englishReason(ENOTDIR)), ENOTDIR);
    QDir dir(path_);
    const QStringList entries = dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    if (!dir.isReadable())
        throw OutputError(QStringLiteral("%1: %2").arg(path_, englishReason(EACCES)), EACCES);
    if (entries.isEmpty())
        return;
    if (!append)
        throw OutputError(QStringLiteral("%1: the folder holds files already; --append records on into it").arg(path_));
    continueFrom(entries);
}

void SweepFolder::continueFrom(const QStringList& entries)
{
    static const QRegularExpression sweepFile(QStringLiteral("^sweep-([0-9]+)-ch[0-7]\\.(dat|csv)$"));
    long long highest = 0;
    for (const QString& entry : entries)
        if (const QRegularExpressionMatch match = sweepFile.match(entry); match.hasMatch())
            highest = std::max(highest, match.captured(1).toLongLong());
    if (index_.exists()) {
        if (!index_.open(QIODevice::ReadOnly))
            throw OutputError(QStringLiteral("%1: %2").arg(index_.fileName(), index_.errorString()));
        if (index_.readLine() != Header)
            throw OutputError(QStringLiteral("%1: not the index of a recording (its first line is not the header)").arg(index_.fileName()));
        while (!index_.atEnd())
            highest = std::max(highest, index_.readLine().split(',').value(0).toLongLong());
        index_.close();
    }
    next_ = highest + 1;
}

SweepFolder::~SweepFolder()
{
    stopWriters();
}

void SweepFolder::begin()
{
    if (!QFileInfo(path_).isDir()) {
        // The parents first; the folder's own mkdir then says why when any of it failed.
        QDir().mkpath(QFileInfo(path_).absolutePath());
#ifdef Q_OS_WIN
        if (::_wmkdir(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(path_).utf16())) != 0)
#else
        if (::mkdir(QFile::encodeName(path_).constData(), 0777) != 0)
#endif
            throw OutputError(QStringLiteral("%1: the folder cannot be made: %2").arg(path_, englishReason(errno)), errno);
    }
    errno = 0;
    if (!index_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        throw OutputError(QStringLiteral("%1: %2").arg(index_.fileName(), errno ? englishReason(errno) : index_.errorString()), errno);
    if (index_.size() == 0)
        appendRow(Header);
    for (int n = 0; n < Writers; ++n)
        writers_.emplace_back([this] { work(); });
}

void SweepFolder::kept(const SweepRecord& sweep, const SampleArray& samples)
{
    if (sweep.number > LastNumber)
        throw OutputError(QStringLiteral("%1: the folder takes no more than %2 sweeps").arg(path_).arg(LastNumber));
    const char* extension = format_ == RecOptions::Format::Dat ? "dat" : "csv";
    const QString file = QString::asprintf("sweep-%08lld-ch%d.%s", sweep.number, sweep.channel, extension);
    queue({0, file, row(sweep, file, {}), samples, sweep.range});
}

void SweepFolder::lost(const SweepRecord& sweep, const QString& reason)
{
    queue({0, {}, row(sweep, {}, reason), {}, sweep.range});
}

void SweepFolder::queue(Job job)
{
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return failure_ || unfinished_ < MostUnfinished; });
    if (failure_)
        throw *failure_;
    job.order = nextOrder_++;
    ++unfinished_;
    jobs_.push_back(std::move(job));
    queued_.notify_one();
}

void SweepFolder::work()
{
#ifdef SCHED_BATCH
    // A writer woken by a sweep handed over waits its turn rather than preempting the sweeps.
    const sched_param batch{};
    pthread_setschedparam(pthread_self(), SCHED_BATCH, &batch);
#endif
    std::unique_lock lock(mutex_);
    for (;;) {
        queued_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        if (jobs_.empty())
            return;
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        if (failure_ && job.order > failedOrder_) {
            --unfinished_; // after a failure nothing more is written
        } else {
            std::optional<OutputError> failure;
            if (!job.file.isEmpty()) {
                lock.unlock();
                try {
                    write(job);
                } catch (const OutputError& error) {
                    failure = error;
                }
                lock.lock();
            }
            written(std::move(job), failure);
        }
        done_.notify_one();
    }
}

void SweepFolder::write(const Job& job) const
{
    const QString file = QDir(path_).filePath(job.file);
    WholeFile out(file, WholeFile::NeverReplace);
    const bool dat = format_ == RecOptions::Format::Dat;
    if (out.open() && out.commit(dat ? SampleFile::encode(job.samples) : sampleCsv(job.samples, job.range)))
        return;
    if (out.errorNumber() == EEXIST)
        throw OutputError(QStringLiteral("%1: already there, and nothing is replaced").arg(file), EEXIST);
    throw OutputError(QStringLiteral("%1: %2").arg(file, reasonOf(out)), out.errorNumber());
}

void SweepFolder::written(Job job, const std::optional<OutputError>& failure)
{
    if (failure) {
        --unfinished_;
        if (!failure_ || job.order < failedOrder_) {
            failure_ = failure;
            failedOrder_ = job.order;
        }
        dropAfterFailure();
        return;
    }
    waiting_.emplace(job.order, std::move(job));
    for (auto next = waiting_.find(nextRow_); next != waiting_.end(); next = waiting_.find(nextRow_)) {
        try {
            appendRow(next->second.row);
        } catch (const OutputError& error) {
            failure_ = error;
            failedOrder_ = nextRow_;
            break;
        }
        waiting_.erase(next);
        ++nextRow_;
        --unfinished_;
    }
    if (failure_)
        dropAfterFailure();
}

void SweepFolder::dropAfterFailure()
{
    // A file the index does not name would be a sweep half kept.
    for (auto job = waiting_.lower_bound(failedOrder_); job != waiting_.end(); job = waiting_.erase(job)) {
        if (!job->second.file.isEmpty())
            QFile::remove(QDir(path_).filePath(job->second.file));
        --unfinished_;
    }
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
    const qint64 before = index_.size();
    errno = 0;
    if (index_.write(row) == row.size())
        return;
    const int error = errno;
    index_.resize(before);
    throw OutputError(QStringLiteral("%1: %2").arg(index_.fileName(), error ? englishReason(error) : index_.errorString()), error);
}

QByteArray SweepFolder::row(const SweepRecord& s, const QString& file, const QString& note) const
{
    QByteArray text = QByteArray::number(s.number) + ',' + cell(file) + ',' + isoLocal(s.start) + ',';
    appendFixed(text, s.seconds);
    text += ',' + QByteArray::number(s.channel) + ',' + rangeWord(s.range).toLatin1() + ',' + cell(source_) + ','
        + s.path.toLatin1() + ',';
    if (file.isEmpty()) {
        text += ",,";
    } else {
        appendFixed(text, s.summary.minimum);
        text += ',';
        appendFixed(text, s.summary.maximum);
        text += ',';
        appendFixed(text, s.summary.mean);
    }
    return text + ',' + cell(note) + '\n';
}
