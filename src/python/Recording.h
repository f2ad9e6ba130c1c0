#pragma once

#include <pybind11/pybind11.h>

// q390.read_recording and q390.read_folder: the recordings of q390-rec, a folder or one HDF5
// file alike, read through the core's reader.
void addRecording(pybind11::module_& module);
