#include "python/Files.h"

#include "core/samples/Readings.h"
#include "core/samples/SampleFile.h"
#include "python/Errors.h"
#include "python/SweepRecord.h"

#include <QFile>

#include <cerrno>
#include <memory>

namespace {

// A path as Python gives it (str, bytes or os.PathLike): the name the system sees, and the
// one to show in errors.
struct FilePath {
    QString name;
    py::object shown;
};

FilePath filePath(py::handle path)
{
    py::object shown = py::reinterpret_steal<py::object>(PyOS_FSPath(path.ptr()));
    PyObject* encoded = nullptr;
    if (!shown || !PyUnicode_FSConverter(shown.ptr(), &encoded))
        throw py::error_already_set();
    const std::string bytes = py::reinterpret_steal<py::bytes>(encoded);
    return {QFile::decodeName(QByteArray::fromStdString(bytes)), shown};
}

std::unique_ptr<SweepRecord> readFile(const py::object& path, const std::string& range)
{
    const std::optional<Range> wanted = parseRange(range, true);
    const FilePath file = filePath(path);
    const SampleFile::Contents contents = SampleFile::inspect(file.name);
    const std::string name = py::str(file.shown);
    switch (contents.outcome) {
    case SampleFile::Contents::Whole:
        break;
    case SampleFile::Contents::SystemError:
        errors::raise(PyExc_OSError, contents.errorNumber, file.shown);
    case SampleFile::Contents::NotRegular:
        throw py::value_error(name + ": not a regular file");
    case SampleFile::Contents::Short:
        throw py::value_error(name + ": " + std::to_string(contents.bytes.size()) + " bytes; a data file has "
                              + std::to_string(SampleFile::Size));
    }
    auto sweep = std::make_unique<SweepRecord>();
    SampleFile::decode(contents.bytes, sweep->samples);
    sweep->range = wanted ? *wanted : guessRange(sweep->samples).range;
    return sweep;
}

void saveFile(const py::object& path, const SweepRecord& sweep, bool overwrite)
{
    const FilePath file = filePath(path);
    try {
        SampleFile::write(file.name, sweep.samples, overwrite ? WholeFile::ReplaceExisting : WholeFile::NeverReplace);
    } catch (const UnconfirmedFile& e) {
        errors::raise(PyExc_OSError, e.errorNumber(), file.shown,
                      "the new file has taken the name, but its folder could not be synced: it may not survive a crash");
    } catch (const FileError& e) {
        if (e.errorNumber() == EEXIST)
            errors::raise(PyExc_OSError, EEXIST, file.shown, "pass overwrite=True to replace it");
        if (e.errorNumber())
            errors::raise(PyExc_OSError, e.errorNumber(), file.shown);
        errors::raise(PyExc_OSError, py::str(file.shown).cast<std::string>() + ": " + e.reason().toStdString());
    }
}

} // namespace

void addFiles(py::module_& module)
{
    module.def("read", &readFile, py::arg("path"), py::arg("range") = "auto",
               R"(Reads a data file: the window's 16384 bytes, 8192 little-endian 16-bit records.

range is "unipolar", "bipolar" or "auto". The file does not say its range: "auto" decides
it from the records as q390-dat does (man q390-dat), and Sweep.range says which was taken.
A file longer than 16384 bytes is read as the window reads it, by its first 8192 records.

Raises the OSError the system gives (FileNotFoundError, PermissionError, IsADirectoryError,
...), ValueError for a file too short to be a data file or one that is not a regular file.)");
    module.def("save", &saveFile, py::arg("path"), py::arg("sweep"), py::kw_only(),
               py::arg("overwrite") = false,
               R"(Saves a sweep as the window's data file: 16384 bytes, written whole.

A failed write leaves what was under the name as it was, except when only the sync of the
folder fails after the new file has taken the name: that OSError says so. An existing name raises
FileExistsError unless overwrite is true; other failures raise the OSError the system gives
(PermissionError, IsADirectoryError, ...).)");
}
