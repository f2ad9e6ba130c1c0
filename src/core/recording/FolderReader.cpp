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

FolderReader::FolderReader(const QByteArray& folder) : folder_(folder)
{
    load();
}

void FolderReader::load()
{
    RecordingIndex index(folder_);
    std::vector<IndexedSweep> sweeps;
    QStringList lost;
    for (IndexRow row; index.next(row);) {
        if (row.kind == IndexRow::Kept)
            sweeps.push_back(std::move(row.sweep));
        else
            lost << row.told();
    }
    if (index.outcome() != RecordingIndex::Read)
        throw RecordingError(QStringLiteral("%1: %2").arg(QString::fromLatin1(RecordingIndex::FileName), index.refusal()),
                             index.outcome() == RecordingIndex::Unreadable ? index.errorNumber() : 0);
    sweeps_ = std::move(sweeps);
    lost_ = std::move(lost);
}

RecordedSweep recordedSweep(const IndexedSweep& indexed)
{
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

RecordedSweep FolderReader::sweep(long long place) const
{
    return recordedSweep(sweeps_[std::size_t(place)]);
}

SampleArray FolderReader::samples(long long place) const
{
    const QString& file = sweeps_[std::size_t(place)].file;
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
    load();
    return size();
}
