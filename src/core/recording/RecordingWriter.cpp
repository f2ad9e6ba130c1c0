#include "core/recording/RecordingWriter.h"

#include "core/recording/RecordCode.h"
#include "core/samples/Readings.h"
#include "core/system/FileNames.h"

#include <QFile>

#include <cerrno>
#include <limits>

using namespace OneFileLayout;

namespace {

// The dataset's chunk: a sweep of codes, or about 4 KiB of one field.
constexpr hsize_t ChunkBytes = 4096;
// The file is grown this far ahead of the library's end of allocated space and the sweeps
// gathered, once that comes within a margin of where it was grown to: a flush allocates some
// 50 KiB at most beside the sweeps.
constexpr qint64 GrownAhead = 1 << 20, GrowMargin = 256 << 10;
// Sweeps gathered at most before they go to the library: about a MiB, its room taken (and
// written, so that the memory is the process's from the start) when the file is opened.
constexpr long long MostGathered = 64;
// Deflate at its fastest: a tenth of a millisecond a sweep, about as small as its slower levels.
constexpr unsigned DeflateLevel = 1;

// Fixed-length UTF-8, cut at the end of the last character that fits.
QByteArray fixedText(const QString& text, int bytes)
{
    QByteArray utf8 = text.toUtf8();
    if (utf8.size() > bytes) {
        qsizetype end = bytes;
        while (end > 0 && (utf8[end] & 0xC0) == 0x80)
            --end;
        utf8.truncate(end);
    }
    utf8.resize(bytes, '\0');
    return utf8;
}

void setText(hid_t object, const char* name, const QString& value)
{
    const QByteArray utf8 = value.toUtf8();
    const Hdf5::Id type = Hdf5::make(H5Tcopy(H5T_C_S1), "an attribute's type");
    Hdf5::check(H5Tset_size(type, H5T_VARIABLE), "an attribute's type");
    Hdf5::check(H5Tset_cset(type, H5T_CSET_UTF8), "an attribute's type");
    const Hdf5::Id space = Hdf5::make(H5Screate(H5S_SCALAR), "an attribute's space");
    const Hdf5::Id attribute = Hdf5::make(H5Acreate2(object, name, type, space, H5P_DEFAULT, H5P_DEFAULT), "an attribute");
    const char* data = utf8.constData();
    Hdf5::check(H5Awrite(attribute, type, &data), "an attribute");
}

void setNumber(hid_t object, const char* name, int value)
{
    const Hdf5::Id space = Hdf5::make(H5Screate(H5S_SCALAR), "an attribute's space");
    const Hdf5::Id attribute = Hdf5::make(H5Acreate2(object, name, H5T_STD_I32LE, space, H5P_DEFAULT, H5P_DEFAULT), "an attribute");
    Hdf5::check(H5Awrite(attribute, H5T_NATIVE_INT, &value), "an attribute");
}

hsize_t length(hid_t dataset)
{
    const Hdf5::Id space = Hdf5::make(H5Dget_space(dataset), "a dataset's size");
    hsize_t dims[2] = {0, 0};
    Hdf5::check(H5Sget_simple_extent_dims(space, dims, nullptr), "a dataset's size");
    return dims[0];
}

} // namespace

RecordingWriter::RecordingWriter(const QByteArray& path, Opening opening, const Settings& settings) : path_(path)
{
    const Hdf5::Quiet quiet;
    for (int field = 0; field < FieldCount; ++field) {
        memoryTypes_[field] = memoryType(Field(field));
        gathered_[field].fill('\0', MostGathered * H5Tget_size(memoryTypes_[field]) * (field == Codes ? SweepLength : 1));
        gathered_[field].resize(0);
    }
    if (opening == Continue && QFile::exists(nameText(path)))
        open();
    else
        create(settings);
    void* handle = nullptr;
    Hdf5::check(H5Fget_vfd_handle(file_, H5P_DEFAULT, &handle), "the file's descriptor");
    descriptor_ = *static_cast<int*>(handle);
}

RecordingWriter::~RecordingWriter()
{
    const Hdf5::Quiet quiet;
    for (Hdf5::Id& dataset : datasets_)
        dataset.reset();
    if (file_.valid())
        H5Fclose(file_.release());
}

void RecordingWriter::takeLock()
{
    lock_ = std::make_unique<WriterLock>(path_);
    if (lock_->busy())
        throw RecordingError(QStringLiteral("another recorder is writing it"), EAGAIN);
    if (!lock_->held())
        throw RecordingError(FailureKind::System, lock_->errorNumber());
}

void RecordingWriter::create(const Settings& settings)
{
    const Hdf5::Id access = fileAccess();
    file_ = Hdf5::make(H5Fcreate(path_.constData(), H5F_ACC_EXCL, H5P_DEFAULT, access), "cannot be made");
    try {
        takeLock();
        setText(file_, "format", QString::fromLatin1(FormatName));
        setNumber(file_, "format_version", FormatVersion);
        setText(file_, "program", settings.program);
        setText(file_, "version", settings.version);
        setText(file_, "unit", QStringLiteral("Q390 eight-channel data-acquisition unit"));
        setNumber(file_, "samples_per_sweep", SweepLength);
        setText(file_, "voltage_units", QStringLiteral("V"));
        setText(file_, "time_units", QStringLiteral("s"));
        setText(file_, "time_axis",
                QStringLiteral("sample i (from 0) of sweep k was taken about start[k] + duration[k] * i / %1 s: "
                               "the conversions of a sweep are taken at an even pace")
                    .arg(SweepLength));
        for (int f = 0; f < FieldCount; ++f) {
            const Field field = Field(f);
            const Hdf5::Id type = fileType(field);
            const int rank = field == Codes ? 2 : 1;
            const hsize_t elementBytes = H5Tget_size(type);
            const hsize_t dims[2] = {0, SweepLength}, most[2] = {H5S_UNLIMITED, SweepLength};
            const hsize_t chunk[2] = {field == Codes ? 1 : std::max<hsize_t>(1, ChunkBytes / elementBytes), SweepLength};
            const Hdf5::Id space = Hdf5::make(H5Screate_simple(rank, dims, most), "a dataset's space");
            const Hdf5::Id creation = Hdf5::make(H5Pcreate(H5P_DATASET_CREATE), "a dataset's layout");
            Hdf5::check(H5Pset_chunk(creation, rank, chunk), "a dataset's chunks");
            if (settings.compress) {
                Hdf5::check(H5Pset_shuffle(creation), "the shuffle filter");
                Hdf5::check(H5Pset_deflate(creation, DeflateLevel), "the deflate filter");
            }
            datasets_[f] = Hdf5::make(H5Dcreate2(file_, info(field).name, type, space, H5P_DEFAULT, creation, H5P_DEFAULT), "a dataset");
            setText(datasets_[f], "description", QString::fromUtf8(info(field).description));
            if (info(field).units)
                setText(datasets_[f], "units", QString::fromUtf8(info(field).units));
        }
        Hdf5::check(H5Fstart_swmr_write(file_), "SWMR mode");
    } catch (const RecordingError&) {
        // Nothing half made is left behind.
        for (Hdf5::Id& dataset : datasets_)
            dataset.reset();
        H5Fclose(file_.release());
        QFile::remove(nameText(path_));
        throw;
    }
}

void RecordingWriter::open()
{
    takeLock();
    Hdf5::Id access = fileAccess();
    file_ = Hdf5::Id(H5Fopen(path_.constData(), H5F_ACC_RDWR, access));
    if (!file_.valid()) {
        // A file whose writer died is refused until the mark it left is cleared: the library's
        // own way, as h5clear does it.
        H5Eclear2(H5E_DEFAULT);
        hbool_t clear = true;
        Hdf5::check(H5Pset(access, "clear_status_flags", &clear), "the file's marks");
        file_ = Hdf5::Id(H5Fopen(path_.constData(), H5F_ACC_RDWR, access));
        if (!file_.valid()) {
            const RecordingError failure = Hdf5::failure(QStringLiteral("cannot be opened"));
            // The library's lock, which every program that has the file open holds but a writer in SWMR mode.
            if (failure.errorNumber() == EAGAIN || failure.errorNumber() == EWOULDBLOCK)
                throw RecordingError(QStringLiteral("another program has it open, and HDF5 lets a writer open a file only "
                                                    "while no other program has it open"),
                                     failure.errorNumber());
            throw failure;
        }
        mended_ = QStringLiteral("its writer ended without closing it; the mark it left is cleared");
    }
    if (H5Aexists(file_, "format") <= 0 || H5Aexists(file_, "samples_per_sweep") <= 0)
        throw RecordingError(QStringLiteral("not a recording of q390-rec (its attributes name no format)"));
    for (int f = 0; f < FieldCount; ++f) {
        if (H5Lexists(file_, info(Field(f)).name, H5P_DEFAULT) <= 0)
            throw RecordingError(QStringLiteral("not a recording of q390-rec (no dataset %1)").arg(QString::fromUtf8(info(Field(f)).name)));
        datasets_[f] = Hdf5::make(H5Dopen2(file_, info(Field(f)).name, H5P_DEFAULT), "a dataset");
    }
    align();
    if (size_ > 0) {
        const hsize_t at = size_ - 1, one = 1;
        const Hdf5::Id space = Hdf5::make(H5Dget_space(datasets_[Sweep]), "the last sweep");
        Hdf5::check(H5Sselect_hyperslab(space, H5S_SELECT_SET, &at, nullptr, &one, nullptr), "the last sweep");
        const Hdf5::Id memory = Hdf5::make(H5Screate_simple(1, &one, nullptr), "the last sweep");
        qint64 number = 0;
        Hdf5::check(H5Dread(datasets_[Sweep], memoryTypes_[Sweep], memory, space, H5P_DEFAULT, &number), "the last sweep");
        lastNumber_ = number;
    }
    Hdf5::check(H5Fstart_swmr_write(file_), "SWMR mode");
}

void RecordingWriter::align()
{
    hsize_t shortest = std::numeric_limits<hsize_t>::max(), longest = 0;
    for (const Hdf5::Id& dataset : datasets_) {
        shortest = std::min(shortest, length(dataset));
        longest = std::max(longest, length(dataset));
    }
    for (int f = 0; f < FieldCount; ++f) {
        if (length(datasets_[f]) == shortest)
            continue;
        const hsize_t dims[2] = {shortest, SweepLength};
        Hdf5::check(H5Dset_extent(datasets_[f], dims), "a dataset's size");
    }
    if (longest > shortest) {
        const QString dropped = QStringLiteral("the sweep its writer was appending when it ended was cut short and is dropped");
        mended_ = mended_.isEmpty() ? dropped : mended_ + QStringLiteral("; ") + dropped;
    }
    size_ = shortest;
}

template <class Step>
void RecordingWriter::writing(const Step& step)
{
    if (failed_)
        throw RecordingError(QStringLiteral("an earlier write failed"), EIO);
    const Hdf5::Quiet quiet;
    try {
        step();
    } catch (const RecordingError&) {
        failed_ = true;
        detach(descriptor_);
        throw;
    }
}

void RecordingWriter::reserve(qint64 more)
{
    haddr_t end = 0;
    Hdf5::check(H5Fget_eoa(file_, &end), "the file's end");
    const qint64 needed = qint64(end) + more + GrowMargin;
    if (needed <= reserved_)
        return;
    if (const int error = reserveSpace(descriptor_, needed - GrowMargin + GrownAhead))
        throw RecordingError(FailureKind::System, error);
    reserved_ = needed - GrowMargin + GrownAhead;
}

void RecordingWriter::append(const RecordedSweep& sweep, const SampleArray& stored)
{
    if (failed_)
        throw RecordingError(QStringLiteral("an earlier write failed"), EIO);
    const auto add = [this](Field field, const void* value, qsizetype bytes) {
        gathered_[field].append(static_cast<const char*>(value), bytes);
    };
    const auto addValue = [&](Field field, const auto& value) { add(field, &value, sizeof value); };
    addValue(Sweep, qint64(sweep.number));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    addValue(Start, sweep.start.isValid() ? sweep.start.toMSecsSinceEpoch() / 1e3 : nan);
    addValue(Duration, sweep.seconds.value_or(nan));
    addValue(Channel, quint8(sweep.channel));
    add(RangeName, fixedText(rangeWord(sweep.range), RangeBytes).constData(), RangeBytes);
    addValue(VoltsPerCode, voltsPerCode(sweep.range));
    add(Link, fixedText(sweep.link, LinkBytes).constData(), LinkBytes);
    add(Note, fixedText(sweep.note, NoteBytes).constData(), NoteBytes);
    addValue(TriggerIndex, qint32(sweep.trigger.value_or(NoTrigger)));
    QByteArray& codes = gathered_[Codes];
    codes.resize(codes.size() + sizeof stored);
    auto* into = reinterpret_cast<qint16*>(codes.data() + codes.size()) - SweepLength;
    for (int n = 0; n < SweepLength; ++n)
        into[n] = RecordCode::code(stored[n], sweep.range);
    ++gatheredSweeps_;
    lastNumber_ = sweep.number;
    if (gatheredSweeps_ >= MostGathered)
        writing([this] { writeGathered(); });
}

void RecordingWriter::writeGathered()
{
    if (gatheredSweeps_ == 0)
        return;
    qint64 bytes = 0;
    for (const QByteArray& values : gathered_)
        bytes += values.size();
    reserve(bytes);
    const hsize_t first[2] = {hsize_t(size_), 0}, dims[2] = {hsize_t(size_ + gatheredSweeps_), SweepLength};
    for (int f = 0; f < FieldCount; ++f) {
        const hsize_t count[2] = {hsize_t(gatheredSweeps_), SweepLength};
        const int rank = f == Codes ? 2 : 1;
        Hdf5::check(H5Dset_extent(datasets_[f], dims), "a sweep cannot be appended");
        const Hdf5::Id space = Hdf5::make(H5Dget_space(datasets_[f]), "a sweep cannot be appended");
        Hdf5::check(H5Sselect_hyperslab(space, H5S_SELECT_SET, first, nullptr, count, nullptr), "a sweep cannot be appended");
        const Hdf5::Id memory = Hdf5::make(H5Screate_simple(rank, count, nullptr), "a sweep cannot be appended");
        Hdf5::check(H5Dwrite(datasets_[f], memoryTypes_[f], memory, space, H5P_DEFAULT, gathered_[f].constData()),
                    "a sweep cannot be appended");
        gathered_[f].resize(0); // its room kept for the next
    }
    size_ += gatheredSweeps_;
    gatheredSweeps_ = 0;
}

void RecordingWriter::flush()
{
    writing([this] {
        writeGathered();
        reserve(0);
        Hdf5::check(H5Fflush(file_, H5F_SCOPE_LOCAL), "cannot be flushed");
        if (const int error = syncData(descriptor_))
            throw RecordingError(FailureKind::System, error);
    });
}

void RecordingWriter::close()
{
    flush();
    const Hdf5::Quiet quiet;
    // The room grown ahead goes; anything the close still writes grows the file again.
    haddr_t end = 0;
    Hdf5::check(H5Fget_eoa(file_, &end), "the file's end");
    if (const int error = truncateTo(descriptor_, qint64(end)))
        throw RecordingError(FailureKind::System, error);
    for (Hdf5::Id& dataset : datasets_)
        dataset.reset();
    Hdf5::check(H5Fclose(file_.release()), "cannot be closed");
    lock_.reset();
}
