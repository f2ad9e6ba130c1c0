#pragma once

#include "acquisition/AcquisitionState.h"
#include "display/Grid.h"

#include <QString>
#include <QtGlobal>

// The height of a sample above the bottom edge of PlotSpace.
namespace PlotValue {

// A live reading: the converter's result as it came, negative 0 or 1 (bipolar only).
constexpr int unipolar(int magnitude) { return magnitude; }
constexpr int bipolar(int magnitude, int negative) { return 2500 + (1 - 2 * negative) * magnitude; }

// A stored sample: magnitude is its low 13 bits, negative is bit 15; bits 13 and 14 are
// dropped. Unipolar ignores the sign.
constexpr int storedMagnitude(qint16 stored) { return stored & 0x1FFF; }
constexpr int storedNegative(qint16 stored) { return stored < 0 ? 1 : 0; }
constexpr int storedUnipolar(qint16 stored) { return unipolar(storedMagnitude(stored)); }
constexpr int storedBipolar(qint16 stored) { return bipolar(storedMagnitude(stored), storedNegative(stored)); }

} // namespace PlotValue

// One left-to-right pass of 8192 segments. It starts from a previous value of 0, so its first
// segment rises from the bottom edge at x = 1; sample i's height is reached at x = i + 1.
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

// RangeMode as the last sweep tick left it: "1" unipolar, "0" bipolar, empty before the first.
inline bool isUnipolar(const QString& rangeMode) { return rangeMode == u"1"; }
inline bool isBipolar(const QString& rangeMode) { return rangeMode == u"0"; }

// The trace of stored samples 1..8192 read in rangeMode, one TraceRun; with an empty
// RangeMode there is none. Replay, print and the data tool draw through it. Each segment goes
// to draw, which returns false to end the run there; the result is false when it did.
template <class Draw>
bool traceStored(const SampleArray& samples, const QString& rangeMode, Draw draw)
{
    if (!isUnipolar(rangeMode) && !isBipolar(rangeMode))
        return true;
    const auto plotValueOf = isUnipolar(rangeMode) ? PlotValue::storedUnipolar : PlotValue::storedBipolar;
    TraceRun trace;
    for (int n = 1; n <= SweepLength; ++n)
        if (!draw(trace.segment(n, plotValueOf(samples[n]))))
            return false;
    return true;
}
