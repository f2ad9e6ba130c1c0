#include "dat/Sweeps.h"

#include "core/samples/Readings.h"
#include "core/samples/SampleCsv.h"
#include "core/samples/SampleFile.h"
#include "core/system/FailureWords.h"
#include "core/system/FileNames.h"
#include "core/system/FileStart.h"
#include "dat/Stop.h"

#include <QFileInfo>

#include <algorithm>
#include <cerrno>

namespace DatTool {
namespace {

// The first line of a sweep's CSV as q390-rec --format csv writes it.
constexpr QByteArrayView CsvStart = "index,stored,code,volts\n";
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
SampleArray readRecords(const QString& path)
{
    const SampleFile::Contents contents = SampleFile::inspect(path);
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

} // namespace

QString DatSweep::fileName() const
{
    return QFileInfo(input).fileName();
}

QByteArray DatSweep::start() const
{
    return indexed && indexed->start().isValid() ? indexed->startText : QByteArray();
}

DatSweep SweepReader::read(const QString& input)
{
    DatSweep sweep;
    sweep.input = input;
    sweep.samples = readRecords(input);
    sweep.indexed = indexed(input);
    return sweep;
}

std::optional<IndexedSweep> SweepReader::indexed(const QString& input)
{
    const QByteArray path = nameBytes(input);
    qsizetype slash = path.lastIndexOf('/');
#ifdef Q_OS_WIN
    slash = std::max(slash, path.lastIndexOf('\\'));
#endif
    const QByteArray folder = path.left(slash + 1);
    auto index = indexes_.find(folder);
    if (index == indexes_.end())
        index = indexes_.emplace(folder, RecordingIndex::load(folder)).first;
    if (index->second.outcome() != RecordingIndex::Read)
        return std::nullopt;
    return index->second.find(nameText(path.mid(slash + 1)));
}

void SweepReader::chooseRange(DatSweep& sweep) const
{
    if (request_.range) {
        sweep.range = *request_.range;
        return;
    }
    // A recording's index says what the range was: as sure as one given, so not named either.
    if (sweep.indexed) {
        sweep.range = sweep.indexed->range;
        return;
    }
    const RangeGuess guess = guessRange(sweep.samples);
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
