#pragma once

#include "core/samples/Range.h"
#include "core/samples/Samples.h"

#include <pybind11/pybind11.h>

#include <chrono>
#include <optional>
#include <string>

namespace py = pybind11;

// A sweep as Python sees it (q390.Sweep): records 1..8192 as stored, the range they are read
// in and, for a sweep taken, its channel, start and duration. The NumPy arrays are made on
// first use and kept, read-only, so that they always agree with the records.
struct SweepRecord {
    SampleArray samples{};
    Range range = Range::Unipolar;
    std::optional<int> channel;
    std::optional<std::chrono::system_clock::time_point> start;
    std::optional<double> seconds;

    py::object stored, codes, volts, times;
};

// The range a Python caller names: "unipolar" or "bipolar", or "auto" (none) where `automatic`
// allows it; ValueError for anything else.
std::optional<Range> parseRange(const std::string& name, bool automatic);

// A duration a sweep can have taken: finite and not negative.
bool validSeconds(double seconds);

// Defines q390.Sweep in the module.
void addSweep(py::module_& module);
