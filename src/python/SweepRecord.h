#pragma once

#include "core/recording/RecordedSweep.h"
#include "core/samples/Range.h"
#include "core/samples/Samples.h"

#include <pybind11/pybind11.h>

#include <chrono>
#include <optional>
#include <string>

namespace py = pybind11;

// A sweep as Python sees it (q390.Sweep): records 1..8192 as stored, the range they are read
// in and, for a sweep taken, its channel, start and duration, and what a recording or the
// taking tells of it. The NumPy arrays are made on first use and kept, read-only, so that they
// always agree with the records.
struct SweepRecord {
    SampleArray samples{};
    Range range = Range::Unipolar;
    std::optional<int> channel;
    std::optional<std::chrono::system_clock::time_point> start;
    std::optional<double> seconds;
    std::optional<long long> number; // its number in a recording
    std::optional<std::string> link; // how it reached the converter
    std::string note;                // what is doubtful about it
    std::optional<int> trigger;      // the first sample past a trigger's crossing

    py::object stored, codes, volts, times;
};

// The range a Python caller names: "unipolar" or "bipolar", or "auto" (none) where `automatic`
// allows it; ValueError for anything else.
std::optional<Range> parseRange(const std::string& name, bool automatic);

// A duration a sweep can have taken: finite and not negative.
bool validSeconds(double seconds);

// Fills in what a recording says of the sweep; ValueError for what no sweep has (a channel
// outside 0 to 7), so that every Sweep made is one its pickle gives back.
void describe(SweepRecord& sweep, const RecordedSweep& recorded);

// Defines q390.Sweep in the module.
void addSweep(py::module_& module);
