#include "python/Errors.h"

#include "core/system/FailureWords.h"

namespace errors {

namespace {

// Owned by the module, which lives until the interpreter ends.
PyObject* portErrorType = nullptr;
PyObject* lineErrorType = nullptr;
PyObject* warningType = nullptr;

} // namespace

void add(py::module_& module)
{
    portErrorType = PyErr_NewExceptionWithDoc(
        "q390.PortError",
        "A port that cannot be opened: no such device, no permission, in use by another program.\n\n"
        "An OSError: errno and strerror are the system's where it gave a reason, filename the port.",
        PyExc_OSError, nullptr);
    lineErrorType = PyErr_NewExceptionWithDoc(
        "q390.LineError",
        "The device dropped out during a sweep (an adapter pulled out, for one).\n\n"
        "The sweep is dropped and the device closed. An OSError: errno and strerror are the "
        "system's, filename the port.",
        PyExc_OSError, nullptr);
    warningType = PyErr_NewExceptionWithDoc(
        "q390.Q390Warning",
        "What the module had to assume, such as a data file's range decided from its records, or a "
        "sweep of a recording that could not be read and is left out; and a sweep from a port where "
        "nothing answered (the converter's data line never moved).",
        PyExc_UserWarning, nullptr);
    if (!portErrorType || !lineErrorType || !warningType)
        throw py::error_already_set();
    module.add_object("PortError", py::handle(portErrorType));
    module.add_object("LineError", py::handle(lineErrorType));
    module.add_object("Q390Warning", py::handle(warningType));
}

py::handle portError()
{
    return portErrorType;
}

py::handle lineError()
{
    return lineErrorType;
}

void raise(py::handle type, int errorNumber, py::handle name, const std::string& detail)
{
    std::string words = englishReason(errorNumber).toStdString();
    if (!detail.empty())
        words += " (" + detail + ")";
    raiseWorded(type, errorNumber, words, name);
}

void raiseWorded(py::handle type, int errorNumber, const std::string& words, py::handle name)
{
    // OSError itself becomes the subclass the number stands for.
    const py::object error = type(errorNumber, words, name);
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.ptr())), error.ptr());
    throw py::error_already_set();
}

void raise(py::handle type, const std::string& message)
{
    PyErr_SetString(type.ptr(), message.c_str());
    throw py::error_already_set();
}

void warn(const std::string& message)
{
    if (PyErr_WarnEx(warningType, message.c_str(), 1) != 0)
        throw py::error_already_set();
}

} // namespace errors
