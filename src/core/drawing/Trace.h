#pragma once

#include "core/drawing/Grid.h"
#include "core/samples/Range.h"
#include "core/samples/Samples.h"

#include <optional>

// One left-to-right pass of 8192 segments. It starts from a previous value of 0, so its first
// segment rises from the bottom edge at x = 1; the height of sample number i (counted from 1)
// is reached at x = i + 1.
class TraceRun {
public:
    PlotLine segment(int i, int v)
    {
        const PlotLine line{float(i), float(5000 - previous_), float(i + 1), float(5000 - v)};
        previous_ = v;
        return line;
    }

private:
    int previous_ = 0;
};

// The trace of stored samples read in a range, one TraceRun; with no range (none known
// yet) there is none. Replay, print and the data tool draw through it. Each segment goes to
// draw, which returns false to end the run there; the result is false when it did.
template <class Draw>
bool traceStored(const SampleArray& samples, std::optional<Range> range, Draw draw)
{
    if (!range)
        return true;
    const auto plotValueOf = *range == Range::Unipolar ? PlotValue::storedUnipolar : PlotValue::storedBipolar;
    TraceRun trace;
    for (int n = 0; n < SweepLength; ++n)
        if (!draw(trace.segment(n + 1, plotValueOf(samples[n]))))
            return false;
    return true;
}
