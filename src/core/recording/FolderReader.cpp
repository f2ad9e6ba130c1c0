#include "core/recording/FolderReader.h"

#include "core/samples/SampleCsv.h"
#include "core/samples/SampleFile.h"
#include "core/system/FailureWords.h"
#include "core/system/FileNames.h"
#include "core/system/FileStart.h"

#include <cerrno>

namespace {

// The longest CSV rows of a sweep read: 8192 rows of index, stored, code and volts.
constexpr qsizetype CsvLimit = 1 << 20;

} // namespace

FolderReader::FolderReader(const QByteArray& folder) : folder_(folder), index_(load(folder)) {}

RecordingIndex FolderReader::load(const QByteArray& folder)
{
    RecordingIndex index = RecordingIndex::load(folder);
    switch (index.outcome()) {
    case RecordingIndex::Read:
        break;
    case RecordingIndex::Unreadable:
        throw RecordingError(QStringLiteral("%1: %2").arg(QString::fromLatin1(RecordingIndex::FileName), englishReason(index.errorNumber())),
                             index.errorNumber());
    case RecordingIndex::NotAnIndex:
        throw RecordingError(QStringLiteral("%1: not the index of a recording (its header names no sweep, file, channel and range)")
                                 .arg(QString::fromLatin1(RecordingIndex::FileName)));
    }
    return index;
}

RecordedSweep FolderReader::sweep(long long place) const
{
    const IndexedSweep& indexed = index_.sweeps()[place];
    RecordedSweep s;
    s.number = indexed.number;
    s.start = indexed.start().toUTC();
    s.seconds = indexed.seconds;
    s.channel = indexed.channel;
    s.range = indexed.range;
    s.link = indexed.link;
    s.note = indexed.note;
    s.trigger = indexed.trigger;
    return s;
}

SampleArray FolderReader::samples(long long place) const
{
    const QString& file = index_.sweeps()[place].file;
    const QByteArray path = folder_ + '/' + nameBytes(file);
    const auto failed = [&](const QString& why, int error = 0) { return RecordingError(file + QStringLiteral(": ") + why, error); };
    SampleArray samples{};
    if (file.endsWith(u".csv")) {
        const FileStart start = readFileStart(path, CsvLimit);
        if (start.kind == FileStart::Unreadable)
            throw failed(englishReason(start.errorNumber), start.errorNumber);
        if (start.kind != FileStart::Regular || !readSampleCsv(start.bytes, samples))
            throw failed(QStringLiteral("not a sweep's CSV rows (index,stored,code,volts)"));
        return samples;
    }
    const SampleFile::Contents contents = SampleFile::inspect(path);
    switch (contents.outcome) {
    case SampleFile::Contents::Whole:
        SampleFile::decode(contents.bytes, samples);
        return samples;
    case SampleFile::Contents::SystemError:
        throw failed(englishReason(contents.errorNumber), contents.errorNumber);
    case SampleFile::Contents::NotRegular:
        throw failed(QStringLiteral("not a regular file"));
    case SampleFile::Contents::Short:
        break;
    }
    throw failed(QStringLiteral("%1 bytes, not the %2 of a data file").arg(contents.bytes.size()).arg(SampleFile::Size));
}

long long FolderReader::refresh()
{
    index_ = load(folder_);
    return size();
}
