#include "rec/SweepFolder.h"

#include "core/samples/Readings.h"
#include "core/samples/SampleCsv.h"
#include "core/samples/SampleFile.h"
#include "core/samples/SampleFormat.h"
#include "core/system/FileNames.h"
#include "core/system/FileStart.h"
#include "core/system/WholeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <tuple>

namespace {

// Names sort in recording order up to this sweep; the folder takes no more.
constexpr long long LastNumber = 99'999'999;
// Writers at once, and sweeps handed over and not yet in the index at most (about 17 KiB each).
// A sweep takes about 1 ms and each file waits for its syncs: the disk serves many at once.
constexpr int Writers = 16;
constexpr int MostUnfinished = 64;

// The name of a sweep's file as the file system tells names apart.
QString nameKey(const QString& name)
{
    return FileNameCase == Qt::CaseSensitive ? name : name.toCaseFolded();
}

} // namespace

// A sweep for the writers: its file, then its row.
class SweepFolder::SweepJob final : public WriterJob {
public:
    SweepJob(SweepFolder& folder, const SweepRecord& sweep, QString file, QString note, const SampleArray* samples)
        : WriterJob(sweep.number), folder_(folder), sweep_(sweep), file_(std::move(file)), note_(std::move(note))
    {
        if (samples)
            samples_ = *samples;
    }

    std::optional<OutputError> write() override
    {
        if (row_.isEmpty())
            row_ = folder_.row(sweep_, file_, samples_ ? &*samples_ : nullptr, note_);
        if (file_.isEmpty())
            return {};
        const QString file = QDir(folder_.path_).filePath(file_);
        WholeFile out(file, WholeFile::NeverReplace, &folder_.folderSync_);
        if (out.open() && out.commit(formatted(*samples_, sweep_.range, folder_.format_)))
            return {};
        // The file is in the folder: its row stays, and says what is not known.
        if (out.unconfirmed()) {
            const QString unsynced = QStringLiteral("the folder could not be synced (%1): the file may not survive a crash")
                                         .arg(englishReason(out.errorNumber()));
            note_ = note_.isEmpty() ? unsynced : note_ + QStringLiteral("; ") + unsynced;
            row_ = folder_.row(sweep_, file_, &*samples_, note_);
            return {};
        }
        if (out.errorNumber() == EEXIST)
            return OutputError(QStringLiteral("%1: already there, and nothing is replaced").arg(file), EEXIST);
        return OutputError(QStringLiteral("%1: %2").arg(file, englishReason(out.errorNumber())), out.errorNumber());
    }

    void commit() override { folder_.appendRow(row_); }

    void undo() override
    {
        if (!file_.isEmpty())
            QFile::remove(QDir(folder_.path_).filePath(file_));
    }

private:
    SweepFolder& folder_;
    SweepRecord sweep_;
    QString file_; // empty for a lost sweep
    QString note_; // why a sweep was lost, or what is doubtful about one kept
    std::optional<SampleArray> samples_;
    QByteArray row_; // for the index, made by a writer
};

SweepFolder::SweepFolder(const QString& path, std::optional<SampleFormat> format, Opening opening, QString source)
    : path_(QDir::cleanPath(path)), format_(format.value_or(SampleFormat::Dat)), opening_(opening), source_(std::move(source)),
      indexPath_(QDir(path_).filePath(QLatin1String(RecordingIndex::FileName))), pool_(Writers, MostUnfinished)
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
    look(entries, opening == Append, format);
}

void SweepFolder::look(const QStringList& entries, bool append, std::optional<SampleFormat> format)
{
    static const QRegularExpression sweepFile(QStringLiteral("^sweep-([0-9]{8})-ch([0-7])\\.(dat|csv)$"),
                                              FileNameCase == Qt::CaseSensitive ? QRegularExpression::NoPatternOption
                                                                                 : QRegularExpression::CaseInsensitiveOption);
    const bool indexed = std::any_of(entries.begin(), entries.end(), &RecordingIndex::isIndexName);
    std::vector<SweepFile> files;
    QStringList others;
    long long highest = 0;
    QString extension;
    for (const QString& entry : entries) {
        if (const QRegularExpressionMatch match = sweepFile.match(entry); match.hasMatch()) {
            files.push_back({match.captured(1).toLongLong(), match.captured(2).toInt(), entry});
            if (files.back().number >= highest) {
                highest = files.back().number;
                extension = match.captured(3).toLower();
            }
        } else if (indexed && WholeFile::isTemporary(entry)) {
            temporaries_ << entry;
        } else if (!RecordingIndex::isIndexName(entry)) {
            others << entry;
        }
    }
    if (!append && (!others.isEmpty() || (!indexed && !files.empty())))
        throw OutputError(QStringLiteral("%1: the folder holds files already; --append records on into it").arg(path_));
    if (append && !extension.isEmpty()) {
        const SampleFormat own = *formatNamed(extension);
        if (format && *format != own)
            throw UsageError(QStringLiteral("%1 holds %2 files and --append keeps that format; --format %3 says otherwise")
                                 .arg(path_, extension, formatWord(*format)));
        format_ = own;
    }
    const Indexed rows = indexed ? readIndex(append) : Indexed{};
    std::vector<SweepFile> orphans;
    std::copy_if(files.begin(), files.end(), std::back_inserter(orphans),
                 [&rows](const SweepFile& file) { return !rows.named.contains(nameKey(file.name)); });
    if (!append && !orphans.empty())
        throw OutputError(QStringLiteral("%1: the folder holds sweep files its index does not name, left by a recording that "
                                         "ended before it could name them; --append takes them in and records on")
                              .arg(path_));
    recover(orphans, rows);
    highest = std::max(highest, rows.highest);
    if (highest >= LastNumber)
        throw OutputError(QStringLiteral("%1: sweep %2 is there, the last the folder takes").arg(path_).arg(LastNumber));
    next_ = highest + 1;
    if (!temporaries_.isEmpty())
        mended_ << QStringLiteral("%1: %2 temporary file%3 of writes left unfinished are removed")
                       .arg(path_)
                       .arg(temporaries_.size())
                       .arg(temporaries_.size() == 1 ? "" : "s");
}

SweepFolder::Indexed SweepFolder::readIndex(bool append)
{
    RecordingIndex index(nameBytes(path_));
    if (index.outcome() == RecordingIndex::Begun) {
        // Cut short within its header (a disk full as it was made): it holds no recording yet.
        keepIndexBytes_ = 0;
        return {};
    }
    if (index.outcome() != RecordingIndex::Read)
        throw OutputError(QStringLiteral("%1: %2").arg(indexPath_, index.refusal()),
                          index.outcome() == RecordingIndex::Unreadable ? index.errorNumber() : 0);
    Indexed indexed;
    IndexRow row;
    bool any = false;
    while (index.next(row)) {
        if (row.cutShort) {
            // The last row, cut short as the process ended while it was written: it goes.
            keepIndexBytes_ = row.offset;
            mended_ << QStringLiteral("%1: its last row (line %2) was cut short and is dropped").arg(indexPath_).arg(row.line);
            break;
        }
        if (!append)
            throw OutputError(QStringLiteral("%1: the folder holds a recording already; --append records on into it").arg(path_));
        if (row.kind == IndexRow::Unreadable)
            throw OutputError(QStringLiteral("%1, line %2: %3; the index cannot be continued").arg(indexPath_).arg(row.line).arg(row.problem));
        const long long n = row.sweep.number;
        if (n < 1 || n > LastNumber)
            throw OutputError(QStringLiteral("%1, line %2: the sweep number '%3' cannot be continued (1 to %4)")
                                  .arg(indexPath_).arg(row.line).arg(n).arg(LastNumber));
        any = true;
        indexed.highest = std::max(indexed.highest, n);
        if (row.kind == IndexRow::Kept) {
            indexed.named.insert(nameKey(row.sweep.file));
            indexed.lastRange = row.sweep.range;
        }
    }
    if (index.outcome() != RecordingIndex::Read)
        throw OutputError(QStringLiteral("%1: %2").arg(indexPath_, index.refusal()), index.errorNumber());
    if (any)
        header_ = index.header();
    else if (!(index.header() == header_))
        keepIndexBytes_ = 0; // rows only: an older header without any goes for today's
    return indexed;
}

void SweepFolder::recover(const std::vector<SweepFile>& found, const Indexed& indexed)
{
    if (found.empty())
        return;
    std::vector<SweepFile> orphans = found;
    std::sort(orphans.begin(), orphans.end(),
              [](const SweepFile& a, const SweepFile& b) { return std::tie(a.number, a.name) < std::tie(b.number, b.name); });
    long long last = indexed.highest;
    for (const SweepFile& orphan : orphans) {
        // A sweep handed to the writers whose file was never complete: its number, and no more.
        for (long long n = last + 1; n < orphan.number; ++n)
            recovered_ << header_.unknownRow(n, QStringLiteral("the recording ended before its file was complete"));
        recovered_ << header_.row(recovered(orphan, indexed.lastRange));
        last = std::max(last, orphan.number);
    }
    mended_ << QStringLiteral("%1: %2 sweep file%3 its index did not name (sweeps %4 to %5), left by a recording that ended "
                              "before it could name them, are taken in")
                   .arg(indexPath_)
                   .arg(orphans.size())
                   .arg(orphans.size() == 1 ? "" : "s")
                   .arg(orphans.front().number)
                   .arg(orphans.back().number);
}

IndexedSweep SweepFolder::recovered(const SweepFile& orphan, std::optional<Range> lastRange) const
{
    const QString path = QDir(path_).filePath(orphan.name);
    const bool csv = orphan.name.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive);
    // A sweep's CSV is about 250 KB; one past this is none.
    const FileStart start = readFileStart(nameBytes(path), csv ? 1 << 20 : SampleFile::Size + 1);
    SampleArray samples{};
    bool whole = start.kind == FileStart::Regular;
    std::optional<Range> told;
    if (whole && csv) {
        whole = readSampleCsv(start.bytes, samples);
        // The codes and volts of a CSV file say its range, unless both ranges give the same.
        for (const Range range : {Range::Unipolar, Range::Bipolar})
            if (whole && sampleCsv(samples, range) == start.bytes)
                told = told ? std::nullopt : std::optional(range);
    } else if (whole) {
        whole = start.bytes.size() == SampleFile::Size;
        SampleFile::decode(start.bytes, samples);
        if (const RangeGuess guess = guessRange(samples); guess.sure)
            told = guess.range;
    }
    if (!whole)
        throw OutputError(QStringLiteral("%1: named as a sweep's file but not a whole one; nothing in the folder is changed").arg(path));
    IndexedSweep s;
    s.number = orphan.number;
    s.file = orphan.name;
    s.channel = orphan.channel;
    s.range = told.value_or(lastRange.value_or(guessRange(samples).range));
    s.levels = summarise(samples, s.range);
    s.note = QStringLiteral("recovered after the recording ended before naming it: its start and duration are not known");
    if (!told)
        s.note += lastRange ? QStringLiteral("; its range is that of the sweep before it") : QStringLiteral("; its range is a guess");
    return s;
}

void SweepFolder::makeFolder(Opening opening)
{
    if (opening != NextFreeName && QFileInfo(path_).isDir())
        return;
    // The parents first; the folder's own mkdir then says why when any of it failed.
    QDir().mkpath(QFileInfo(path_).absolutePath());
    const QString base = path_;
    for (int n = 2, error; (error = makeOneFolder(nameBytes(path_))) != 0; ++n) {
        if (opening != NextFreeName || error != EEXIST)
            throw OutputError(QStringLiteral("%1: the folder cannot be made: %2").arg(path_, englishReason(error)), error);
        path_ = base + QStringLiteral("-%1").arg(n);
    }
    indexPath_ = QDir(path_).filePath(QLatin1String(RecordingIndex::FileName));
    madeFolder_ = true;
}

void SweepFolder::openIndex()
{
    const bool made = !QFileInfo::exists(indexPath_);
    index_.emplace(nameBytes(indexPath_));
    if (!index_->isOpen()) {
        const int error = index_->errorNumber();
        const bool notRegular = index_->notRegular();
        index_.reset();
        throw OutputError(QStringLiteral("%1: %2").arg(indexPath_, notRegular ? QStringLiteral("not a regular file") : englishReason(error)), error);
    }
    try {
        if (keepIndexBytes_ >= 0 && !index_->cutTo(keepIndexBytes_))
            throw OutputError(QStringLiteral("%1: %2").arg(indexPath_, englishReason(index_->errorNumber())), index_->errorNumber());
        if (index_->size() == 0)
            appendRow(header_.line());
        for (const QByteArray& row : std::as_const(recovered_))
            appendRow(row);
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
    for (const QString& temporary : std::as_const(temporaries_))
        QFile::remove(QDir(path_).filePath(temporary));
    pool_.start();
}

void SweepFolder::kept(const SweepRecord& sweep, const SampleArray& samples)
{
    if (sweep.number > LastNumber)
        throw OutputError(QStringLiteral("%1: the folder takes no more than %2 sweeps").arg(path_).arg(LastNumber));
    const QString file = QString::asprintf("sweep-%08lld-ch%d.", sweep.number, sweep.channel) + formatWord(format_);
    pool_.add(std::make_unique<SweepJob>(*this, sweep, file, sweep.note, &samples));
}

void SweepFolder::lost(const SweepRecord& sweep, const QString& reason)
{
    if (sweep.number > LastNumber)
        throw OutputError(QStringLiteral("%1: the folder takes no more than %2 sweeps").arg(path_).arg(LastNumber));
    pool_.add(std::make_unique<SweepJob>(*this, sweep, QString(), reason, nullptr));
}

void SweepFolder::finish()
{
    pool_.finish();
}

void SweepFolder::appendRow(const QByteArray& row)
{
    if (!index_->append(row))
        throw OutputError(QStringLiteral("%1: %2").arg(indexPath_, englishReason(index_->errorNumber())), index_->errorNumber());
}

QByteArray SweepFolder::row(const SweepRecord& sweep, const QString& file, const SampleArray* samples, const QString& note) const
{
    IndexedSweep s;
    s.number = sweep.number;
    s.file = file;
    s.setStart(sweep.start);
    s.seconds = sweep.seconds;
    s.channel = sweep.channel;
    s.range = sweep.range;
    s.source = source_;
    s.link = sweep.link;
    if (samples)
        s.levels = summarise(*samples, sweep.range);
    s.note = note;
    s.trigger = sweep.trigger;
    return header_.row(s);
}
