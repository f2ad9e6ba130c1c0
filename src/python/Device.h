#pragma once

#include <pybind11/pybind11.h>

// q390.Device, its sweeps, and q390.ports(): the unit on the simulator, a port or an FTDI chip.
void addDevice(pybind11::module_& module);
