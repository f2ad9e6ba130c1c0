#pragma once

#include <pybind11/pybind11.h>

#include <string>

// The system's failures as Python raises them: OSError with the error number (which picks
// FileNotFoundError, PermissionError, … as Python's own functions do), the system's words for
// it and the file or port concerned; q390.PortError and q390.LineError for the unit's port;
// q390.Q390Warning for what the module had to assume.
namespace errors {

namespace py = pybind11;

// Defines q390.PortError, q390.LineError and q390.Q390Warning in the module.
void add(py::module_& module);
py::handle portError();
py::handle lineError();

// Raises `type` for the error number, the name it concerns after the system's words; `detail`
// goes after those words when given.
[[noreturn]] void raise(py::handle type, int errorNumber, py::handle name, const std::string& detail = {});
// Raises `type` for the error number with `words` of its own in place of the system's (words
// that also name the file inside a recording, say), and the name it concerns.
[[noreturn]] void raiseWorded(py::handle type, int errorNumber, const std::string& words, py::handle name);
// Raises `type` with a message of its own, for a failure with no error number.
[[noreturn]] void raise(py::handle type, const std::string& message);

// Issues q390.Q390Warning, attributed to the caller's line; raises it where the warning
// filters make it an error.
void warn(const std::string& message);

} // namespace errors
