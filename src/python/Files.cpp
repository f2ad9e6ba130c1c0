#include "python/Files.h"

#include "core/recording/FolderReader.h"
#include "core/samples/Readings.h"
#include "core/samples/RecordingIndex.h"
#include "core/samples/SampleCsv.h"
#include "core/samples/SampleFile.h"
#include "core/system/FailureWords.h"
#include "core/system/FileNames.h"
#include "python/Errors.h"
#include "python/Gil.h"
#include "python/Paths.h"
#include "python/SweepRecord.h"

#include <cerrno>
#include <chrono>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A descriptor closed when it goes out of scope.
struct Descriptor {
    int fd;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

[[noreturn]] void raiseSystemError(int errorNumber, const SystemPath& file, const std::string& detail = {})
{
    errors::raise(PyExc_OSError, errorNumber, file.shown, detail);
}

[[noreturn]] void notRegular(const SystemPath& file)
{
    throw py::value_error(shown(file) + ": not a regular file");
}

// Up to `limit` bytes from the start of the file, read by the name's own bytes. A FIFO or a
// device would block the read or never end, and opening a serial device moves its lines, so
// such a name is not opened; whether what was opened is a regular file is then told by the
// descriptor, which no rename in the meantime can change.
QByteArray readBytes(const SystemPath& file, qsizetype limit)
{
    const char* name = file.bytes.c_str();
    struct stat found {};
    if (::stat(name, &found) == 0 && !S_ISREG(found.st_mode) && !S_ISDIR(found.st_mode))
        notRegular(file);
    const Descriptor opened{::open(name, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK)};
    if (opened.fd < 0 || ::fstat(opened.fd, &found) != 0)
        raiseSystemError(errno, file);
    if (S_ISDIR(found.st_mode))
        raiseSystemError(EISDIR, file);
    if (!S_ISREG(found.st_mode))
        notRegular(file);
    QByteArray bytes(limit, Qt::Uninitialized);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(opened.fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            raiseSystemError(errno, file);
        if (n == 0)
            break;
        done += n;
    }
    bytes.truncate(done);
    return bytes;
}

// The records of a data file, or of a sweep a recording kept as CSV (its name ends in ".csv").
std::unique_ptr<SweepRecord> readRecords(const SystemPath& file)
{
    auto sweep = std::make_unique<SweepRecord>();
    if (QByteArray::fromStdString(file.bytes).endsWith(".csv")) {
        // A sweep's CSV is about 250 KB; a text past this limit is none.
        if (!readSampleCsv(readBytes(file, 1 << 20), sweep->samples))
            throw py::value_error(shown(file) + ": not the CSV of a sweep (index,stored,code,volts, 8192 rows)");
        return sweep;
    }
    const QByteArray bytes = readBytes(file, SampleFile::Size);
    if (bytes.size() < SampleFile::Size)
        throw py::value_error(shown(file) + ": " + std::to_string(bytes.size()) + " bytes; a data file has "
                              + std::to_string(SampleFile::Size));
    SampleFile::decode(bytes, sweep->samples);
    return sweep;
}

std::unique_ptr<SweepRecord> readFile(const py::object& path, const std::string& range)
{
    const std::optional<Range> wanted = parseRange(range, true);
    const SystemPath file = systemPath(path, "path");
    std::unique_ptr<SweepRecord> sweep = readRecords(file);
    const QByteArray bytes = QByteArray::fromStdString(file.bytes);
    const IndexLookup indexed = IndexedFiles({bytes}).find(bytes);
    if (indexed.found == IndexLookup::Named)
        describe(*sweep, recordedSweep(indexed.sweep));
    if (wanted) {
        sweep->range = *wanted;
    } else if (indexed.found != IndexLookup::Named) {
        const RangeGuess guess = guessRange(sweep->samples);
        sweep->range = guess.range;
        const std::string taken = rangeName(guess.range).toStdString();
        const std::string unnamed = indexed.found == IndexLookup::NotNamed ? "its folder's index.csv does not name it; " : "";
        if (guess.sure && !unnamed.empty())
            errors::warn(shown(file) + ": " + unnamed + "range " + taken + ", from the records");
        else if (!guess.sure)
            errors::warn(shown(file) + ": " + unnamed + "the records do not tell the range; taking " + taken
                         + " (range= sets it)");
    }
    return sweep;
}

// Python's signal handlers, for a wait on the system that a signal interrupted.
void checkSignals()
{
    if (PyErr_CheckSignals() != 0)
        throw py::error_already_set();
}

// A FIFO or a device opened for writing; -1 when the name is no such file (nothing there, a
// regular file, a folder): that is the whole-file write's case. A FIFO nobody reads yet is
// waited on until a reader comes, Python's signal handlers running meanwhile; without
// `overwrite`, FileExistsError instead.
int openSpecial(const SystemPath& file, bool overwrite)
{
    const char* name = file.bytes.c_str();
    for (;;) {
        const int fd = ::open(name, O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (fd >= 0) {
            struct stat opened {};
            if (::fstat(fd, &opened) == 0 && !S_ISREG(opened.st_mode))
                return fd;
            ::close(fd);
            return -1;
        }
        const int error = errno;
        struct stat found {};
        if (::stat(name, &found) != 0 || S_ISREG(found.st_mode) || S_ISDIR(found.st_mode))
            return -1;
        if (error == ENXIO && S_ISFIFO(found.st_mode) && !overwrite)
            raiseSystemError(EEXIST, file, "pass overwrite=True to write into it");
        if (error != ENXIO || !S_ISFIFO(found.st_mode))
            raiseSystemError(error, file);
        withoutGil([] { std::this_thread::sleep_for(std::chrono::milliseconds(50)); });
        checkSignals();
    }
}

// Writes the file into a FIFO or a device as a stream, as q390-dat does; false when the name is
// no such file. A FIFO or a device is never replaced by a regular file.
bool streamed(const SystemPath& file, const QByteArray& bytes, bool overwrite)
{
    const Descriptor special{openSpecial(file, overwrite)};
    if (special.fd < 0)
        return false;
    if (!overwrite)
        raiseSystemError(EEXIST, file, "pass overwrite=True to write into it");
    if (::fcntl(special.fd, F_SETFL, ::fcntl(special.fd, F_GETFL) & ~O_NONBLOCK) != 0)
        raiseSystemError(errno, file);
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = withoutGil([&] { return ::write(special.fd, bytes.constData() + done, bytes.size() - done); });
        if (n < 0 && errno == EINTR) {
            checkSignals();
            continue;
        }
        if (n < 0)
            raiseSystemError(errno, file);
        done += n;
    }
    return true;
}

void saveFile(const py::object& path, const SweepRecord& sweep, bool overwrite)
{
    const SystemPath file = systemPath(path, "path");
    if (streamed(file, SampleFile::encode(sweep.samples), overwrite))
        return;
    try {
        SampleFile::write(QByteArray::fromStdString(file.bytes), sweep.samples,
                          overwrite ? WholeFile::ReplaceExisting : WholeFile::NeverReplace);
    } catch (const UnconfirmedFile& e) {
        raiseSystemError(e.errorNumber(), file,
                         "the new file has taken the name, but its folder could not be synced: it may not survive a crash");
    } catch (const FileError& e) {
        if (e.errorNumber() == EEXIST)
            raiseSystemError(EEXIST, file, "pass overwrite=True to replace it");
        if (e.errorNumber())
            raiseSystemError(e.errorNumber(), file);
        errors::raise(PyExc_OSError, shown(file) + ": " + englishReason(e).toStdString());
    }
}

} // namespace

void addFiles(py::module_& module)
{
    module.def("read", &readFile, py::arg("path"), py::arg("range") = "auto",
               R"(Reads a data file: the window's 16384 bytes, 8192 little-endian 16-bit records.

range is "unipolar", "bipolar" or "auto". The file does not say its range. "auto" takes it
from the index.csv of the file's folder when that is a recording (q390-rec's folder) whose
index names the file; otherwise it decides it from the records as q390-dat does (man q390-dat)
and issues Q390Warning where they do not tell it or the index does not name the file.
Sweep.range says which was taken. A file that the index names also gets its channel, start
and seconds from it; a sweep a recording kept as CSV (".csv") is read from its stored column.
A file longer than 16384 bytes is read as the window reads it, by its first 8192 records.

path is str, bytes or os.PathLike, used as the system's bytes (os.fsencode). Raises the
OSError the system gives (FileNotFoundError, PermissionError, NotADirectoryError,
IsADirectoryError, ...), ValueError for a file too short to be a data file or one that is not a regular file.)");
    module.def("save", &saveFile, py::arg("path"), py::arg("sweep"), py::kw_only(),
               py::arg("overwrite") = false,
               R"(Saves a sweep as the window's data file: 16384 bytes, written whole.

A failed write leaves what was under the name as it was, except when only the sync of the
folder fails after the new file has taken the name: that OSError says so. An existing name
raises FileExistsError unless overwrite is true. A FIFO or a device (also behind a link) is
written into as a stream, never replaced; a FIFO waits for its reader. The name is used as the
system's bytes, also where it is not valid UTF-8; other failures raise the OSError the system
gives (PermissionError, NotADirectoryError, IsADirectoryError, ...).)");
}
