#include "core/recording/OneFileReader.h"

#include "core/recording/RecordCode.h"

#include <cmath>
#include <limits>

using namespace OneFileLayout;

namespace {

// Descriptions read at once, about 90 KiB.
constexpr long long BlockSweeps = 256;

// Text from a fixed-length field, without the padding.
QString fixedText(const char* bytes, int size)
{
    return QString::fromUtf8(bytes, qsizetype(qstrnlen(bytes, size)));
}

// Rows [first, first + count) of a dataset into memory.
void readRows(hid_t dataset, hid_t type, hsize_t first, hsize_t count, hsize_t columns, void* into)
{
    const Hdf5::Id space = Hdf5::make(H5Dget_space(dataset), "a dataset's space");
    const hsize_t start[2] = {first, 0}, size[2] = {count, columns};
    Hdf5::check(H5Sselect_hyperslab(space, H5S_SELECT_SET, start, nullptr, size, nullptr), "a dataset's rows");
    const int rank = H5Sget_simple_extent_ndims(space);
    const Hdf5::Id memory = Hdf5::make(H5Screate_simple(rank, size, nullptr), "rows in memory");
    Hdf5::check(H5Dread(dataset, type, memory, space, H5P_DEFAULT, into), "cannot be read");
}

} // namespace

OneFileReader::OneFileReader(const QByteArray& path)
{
    const Hdf5::Quiet quiet;
    const Hdf5::Id access = fileAccess();
    // No lock: a writer continuing the file is not to be kept out by a reader that follows it.
    Hdf5::check(H5Pset_file_locking(access, false, true), "the file's lock");
    file_ = Hdf5::make(H5Fopen(path.constData(), H5F_ACC_RDONLY | H5F_ACC_SWMR_READ, access), "cannot be opened");
    if (H5Aexists(file_, "format") <= 0)
        throw RecordingError(QStringLiteral("not a recording of q390-rec (its attributes name no format)"));
    for (int f = 0; f < FieldCount; ++f) {
        const char* name = info(Field(f)).name;
        if (H5Lexists(file_, name, H5P_DEFAULT) <= 0)
            throw RecordingError(QStringLiteral("not a recording of q390-rec (no dataset %1)").arg(QString::fromUtf8(name)));
        datasets_[f] = Hdf5::make(H5Dopen2(file_, name, H5P_DEFAULT), "a dataset");
        memoryTypes_[f] = memoryType(Field(f));
    }
    measure();
}

OneFileReader::~OneFileReader()
{
    const Hdf5::Quiet quiet;
    for (Hdf5::Id& dataset : datasets_)
        dataset.reset();
    H5Fclose(file_.release());
}

void OneFileReader::measure()
{
    long long shortest = std::numeric_limits<long long>::max();
    for (const Hdf5::Id& dataset : datasets_) {
        const Hdf5::Id space = Hdf5::make(H5Dget_space(dataset), "a dataset's size");
        hsize_t dims[2] = {0, 0};
        Hdf5::check(H5Sget_simple_extent_dims(space, dims, nullptr), "a dataset's size");
        shortest = std::min(shortest, static_cast<long long>(dims[0]));
    }
    size_ = shortest;
}

long long OneFileReader::refresh()
{
    const Hdf5::Quiet quiet;
    for (const Hdf5::Id& dataset : datasets_)
        Hdf5::check(H5Drefresh(dataset), "cannot be read again");
    measure();
    // The last block may have been read short.
    block_.clear();
    return size_;
}

void OneFileReader::readBlock(long long first) const
{
    const long long count = std::min(BlockSweeps, size_ - first);
    std::vector<qint64> numbers(count);
    std::vector<double> starts(count), seconds(count), steps(count);
    std::vector<quint8> channels(count);
    std::vector<qint32> triggers(count);
    std::vector<char> ranges(count * RangeBytes), links(count * LinkBytes), notes(count * NoteBytes);
    void* const into[] = {numbers.data(), starts.data(), seconds.data(), channels.data(), ranges.data(),
                          steps.data(),   links.data(),  notes.data(),   triggers.data()};
    for (int f = 0; f < Codes; ++f)
        readRows(datasets_[f], memoryTypes_[f], first, count, 1, into[f]);
    block_.assign(count, {});
    for (long long n = 0; n < count; ++n) {
        RecordedSweep& s = block_[n];
        s.number = numbers[n];
        if (std::isfinite(starts[n]))
            s.start = QDateTime::fromMSecsSinceEpoch(std::llround(starts[n] * 1e3), Qt::UTC);
        if (std::isfinite(seconds[n]))
            s.seconds = seconds[n];
        s.channel = channels[n];
        const QString range = fixedText(&ranges[n * RangeBytes], RangeBytes);
        const std::optional<Range> named = rangeNamed(range);
        if (!named)
            throw RecordingError(QStringLiteral("sweep %1: the range '%2' is neither unipolar nor bipolar").arg(s.number).arg(range));
        s.range = *named;
        s.link = fixedText(&links[n * LinkBytes], LinkBytes);
        s.note = fixedText(&notes[n * NoteBytes], NoteBytes);
        if (triggers[n] != NoTrigger)
            s.trigger = triggers[n];
    }
    blockStart_ = first;
}

RecordedSweep OneFileReader::sweep(long long place) const
{
    if (place < blockStart_ || place >= blockStart_ + static_cast<long long>(block_.size())) {
        const Hdf5::Quiet quiet;
        readBlock(place - place % BlockSweeps);
    }
    return block_[place - blockStart_];
}

SampleArray OneFileReader::samples(long long place) const
{
    const Range range = sweep(place).range;
    const Hdf5::Quiet quiet;
    std::array<qint16, SweepLength> codes;
    readRows(datasets_[Codes], memoryTypes_[Codes], place, 1, SweepLength, codes.data());
    SampleArray stored;
    for (int n = 0; n < SweepLength; ++n)
        stored[n] = RecordCode::stored(codes[n], range);
    return stored;
}
