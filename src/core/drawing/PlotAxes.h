#pragma once

#include "core/samples/Range.h"

#include <QString>

#include <optional>
#include <vector>

// What the axes around the plot say: volts up the left in the sweep's range, time (or sample
// numbers) along the bottom, each mark at the PlotSpace coordinate where the trace rule puts
// that value. The grid inside stays the window's; the marks fall at round values, not on its
// lines, and the size of a division is said apart.
struct AxisMark {
    float at = 0; // y for volts, x for time
    QString text;
    bool operator==(const AxisMark&) const = default;
};

struct PlotAxes {
    std::vector<AxisMark> volts;
    QString voltsTitle;
    std::vector<AxisMark> time;
    QString timeTitle;
    QString perDivision; // "0.610 V/div, 8.20 ms/div"
};

// Heights follow the trace rule: unipolar code c at 5000 - c; bipolar code c >= 0 at
// 2500 - c, c < 0 (stored as magnitude -c - 1) at 2499 - c. Sample i (from 1) is reached at
// x = i + 1; with the sweep's duration known, sample i is taken at (i - 1) × seconds / 8192:
// in ms, or in s for a sweep of 10 s or more.
PlotAxes plotAxes(Range range, std::optional<double> seconds);
