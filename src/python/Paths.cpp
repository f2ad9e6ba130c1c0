#include "python/Paths.h"

#include "python/Errors.h"

#include <QFile>

#include <cerrno>

namespace py = pybind11;

SystemPath systemPath(py::handle path, const char* argument)
{
    py::object shown = py::reinterpret_steal<py::object>(PyOS_FSPath(path.ptr()));
    if (!shown) {
        PyErr_Clear();
        throw py::type_error(std::string(argument) + " must be str, bytes or os.PathLike, not "
                             + Py_TYPE(path.ptr())->tp_name);
    }
    PyObject* encoded = nullptr;
    if (!PyUnicode_FSConverter(shown.ptr(), &encoded))
        throw py::error_already_set();
    return {py::reinterpret_steal<py::bytes>(encoded), shown};
}

std::string shown(const SystemPath& path)
{
    return py::str(path.shown).attr("encode")("utf-8", "backslashreplace").cast<std::string>();
}

QString qtName(const SystemPath& path)
{
    const QByteArray bytes = QByteArray::fromStdString(path.bytes);
    const QString name = QFile::decodeName(bytes);
    if (QFile::encodeName(name) != bytes)
        errors::raise(PyExc_OSError, EILSEQ, path.shown, "only a name in the system's encoding can be used here");
    return name;
}
