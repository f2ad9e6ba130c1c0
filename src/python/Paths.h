#pragma once

#include <pybind11/pybind11.h>

#include <QString>

#include <string>

// A path as Python gives it (str, bytes or os.PathLike), as the system's bytes: a name that is
// not valid UTF-8 stays the name it is, as os.fsencode gives it.
struct SystemPath {
    std::string bytes;     // what the system calls see
    pybind11::object shown; // what errors name: the str or bytes the caller gave
};

// The name as the caller gave it, for messages; a name that is not valid UTF-8 keeps its
// undecodable bytes as escapes.
std::string shown(const SystemPath& path);

// TypeError naming `argument` for anything that is no path.
SystemPath systemPath(pybind11::handle path, const char* argument);

// The name as Qt holds file names. OSError (EILSEQ) for a name Qt cannot hold unchanged (bytes
// that are not valid in the system's encoding), so that such a name never reaches another file.
QString qtName(const SystemPath& path);
