#include "dat/Sweeps.h"

#include "core/recording/RecordedSweep.h"
#include "core/samples/Readings.h"
#include "core/samples/SampleCsv.h"
#include "core/samples/SampleFile.h"
#include "core/system/FailureWords.h"
#include "core/system/FileNames.h"
#include "core/system/FileStart.h"
#include "dat/Stop.h"

#include <QFileInfo>

#include <cerrno>

namespace DatTool {
namespace {

// The first line of a sweep's CSV as q390-rec --format csv writes it.
constexpr QByteArrayView CsvStart = "index,stored,code,volts\n";
// The first bytes of an HDF5 file.
constexpr QByteArrayView Hdf5Start = "\x89HDF\r\n\x1a\n";
// Far more than the longest such CSV (8192 rows of at most 28 bytes).
constexpr qsizetype CsvLimit = 1 << 20;

Stop unreadable(const QString& path, int errorNumber)
{
    if (errorNumber == ENOENT)
        return failure(path, QStringLiteral("no such file"));
    if (errorNumber == EISDIR)
        return failure(path, QStringLiteral("is a folder, not a data file"));
    return failure(path, englishReason(errorNumber));
}

// A sweep's CSV, read whole; the records of the stored column.
SampleArray readCsv(const QString& path)
{
    const FileStart text = readFileStart(nameBytes(path), CsvLimit);
    if (text.kind != FileStart::Regular)
        throw unreadable(path, text.kind == FileStart::Unreadable ? text.errorNumber : EISDIR);
    SampleArray samples{};
    if (!readSampleCsv(text.bytes, samples))
        throw failure(path, QStringLiteral("begins as a sweep's CSV but is not one (%1 rows of index,stored,code,volts)").arg(SweepLength));
    return samples;
}

// The file read as the window reads it, or as the CSV q390-rec writes; a refusal in the
// system's own (English) words.
SampleArray readRecords(const QString& path, const SampleFile::Contents& contents)
{
    if (contents.bytes.startsWith(CsvStart))
        return readCsv(path);
    switch (contents.outcome) {
    case SampleFile::Contents::Whole: {
        SampleArray samples{};
        SampleFile::decode(contents.bytes, samples);
        return samples;
    }
    case SampleFile::Contents::SystemError:
        throw unreadable(path, contents.errorNumber);
    case SampleFile::Contents::NotRegular:
        throw failure(path, QStringLiteral("not a regular file"));
    case SampleFile::Contents::Short:
        break;
    }
    throw failure(path, QStringLiteral("only %1 bytes; a data file holds %2").arg(contents.bytes.size()).arg(SampleFile::Size));
}

QByteArray isoText(const QDateTime& time)
{
    return time.isValid() ? time.toString(Qt::ISODateWithMs).toLatin1() : QByteArray();
}

} // namespace

namespace {

// Each folder's index read once for all the inputs in it.
IndexedFiles indexesOf(const QStringList& inputs)
{
    QList<QByteArray> files;
    for (const QString& input : inputs)
        files << nameBytes(input);
    return IndexedFiles(files);
}

} // namespace

SweepReader::SweepReader(const Request& request, std::FILE* err) : request_(request), err_(err), indexed_(indexesOf(request.inputs))
{
    for (const QString& refused : indexed_.refused())
        say(err, refused);
}

SampleArray DatSweep::records() const
{
    return recording ? recording->samples(place) : stored;
}

QString DatSweep::label() const
{
    const QString file = QFileInfo(input).fileName();
    return recording ? QStringLiteral("%1 sweep %2").arg(file).arg(facts->number) : file;
}

QString DatSweep::source() const
{
    return recording ? QStringLiteral("%1 sweep %2").arg(input).arg(facts->number) : input;
}

std::vector<DatSweep> SweepReader::read(const QString& input)
{
    const SampleFile::Contents contents = SampleFile::inspect(input);
    const bool folder = contents.outcome == SampleFile::Contents::SystemError && contents.errorNumber == EISDIR;
    if (contents.bytes.startsWith(Hdf5Start) || (request_.command == u"h5" && folder))
        return recorded(input);
    DatSweep sweep;
    sweep.input = input;
    sweep.name = QFileInfo(input).completeBaseName();
    sweep.stored = readRecords(input, contents);
    sweep.facts = indexed(input);
    return {sweep};
}

// The recording's sweeps within --sweeps, their records left in it.
std::vector<DatSweep> SweepReader::recorded(const QString& input)
{
    try {
        const std::shared_ptr<const RecordingReader> recording = RecordingReader::open(nameBytes(input));
        std::vector<DatSweep> sweeps;
        for (long long place = 0; place < recording->size(); ++place) {
            const RecordedSweep s = recording->sweep(place);
            if (request_.sweeps && (s.number < request_.sweeps->first || s.number > request_.sweeps->last))
                continue;
            DatSweep sweep;
            sweep.input = input;
            sweep.name = QString::asprintf("sweep-%08lld-ch%d", s.number, s.channel);
            sweep.facts = SweepFacts{s.number, s.channel, s.range, s.seconds, isoText(s.start)};
            sweep.recording = recording;
            sweep.place = place;
            sweeps.push_back(std::move(sweep));
        }
        return sweeps;
    } catch (const RecordingError& error) {
        throw failure(input, englishReason(error));
    }
}

std::optional<SweepFacts> SweepReader::indexed(const QString& input)
{
    const IndexLookup found = indexed_.find(nameBytes(input));
    if (found.found != IndexLookup::Named)
        return std::nullopt;
    const IndexedSweep& row = found.sweep;
    return SweepFacts{row.number, row.channel, row.range, row.seconds, row.start().isValid() ? row.startText : QByteArray()};
}

void SweepReader::chooseRange(DatSweep& sweep) const
{
    if (request_.range) {
        sweep.range = *request_.range;
        return;
    }
    // A recording says what the range was: as sure as one given, so not named either.
    if (sweep.facts) {
        sweep.range = sweep.facts->range;
        return;
    }
    const RangeGuess guess = guessRange(sweep.stored);
    sweep.range = guess.range;
    if (request_.quiet)
        return;
    if (guess.sure)
        say(err_, QStringLiteral("%1: range %2, from the records").arg(sweep.input, rangeName(guess.range)));
    else
        say(err_, QStringLiteral("%1: the records do not tell the range; taking %2 (--range sets it)")
                     .arg(sweep.input, rangeName(guess.range)));
}

} // namespace DatTool
