#pragma once

#include <pybind11/pybind11.h>

// q390.read and q390.save: the window's data files.
void addFiles(pybind11::module_& module);
