#include "core/samples/Readings.h"

#include <algorithm>
#include <cmath>
#include <limits>

QString rangeName(Range range)
{
    return range == Range::Unipolar ? QStringLiteral("unipolar ( +5V)") : QStringLiteral("bipolar (±2V)");
}

RangeGuess guessRange(const SampleArray& samples)
{
    bool unipolar = true;
    bool bipolar = true;
    for (int n = 0; n < SweepLength; ++n) {
        unipolar = unipolar && !impossible(samples[n], Range::Unipolar);
        bipolar = bipolar && !impossible(samples[n], Range::Bipolar);
    }
    if (unipolar != bipolar)
        return {unipolar ? Range::Unipolar : Range::Bipolar, true};
    return {Range::Unipolar, false};
}

Reading reading(qint16 stored, Range range)
{
    const int m = StoredSample::magnitude(stored);
    if (range == Range::Unipolar)
        return {m, m * voltsPerCode(range)};
    // The converter link reads a negative code back as its complement with no 1 added.
    const int code = StoredSample::negative(stored) ? -(m + 1) : m;
    return {code, code * voltsPerCode(range)};
}

double voltsPerCode(Range range)
{
    return range == Range::Unipolar ? 5.0 / 4096 : 2.0 / 2048;
}

bool impossible(qint16 stored, Range range)
{
    const int m = StoredSample::magnitude(stored);
    if (range == Range::Unipolar)
        return m > 4095 || StoredSample::negative(stored);
    return m > 2047;
}

Summary summarise(const SampleArray& samples, Range range)
{
    Summary s;
    s.minimum = std::numeric_limits<double>::infinity();
    s.maximum = -s.minimum;
    double sum = 0;
    double squares = 0;
    for (const qint16 stored : samples) {
        const double v = reading(stored, range).volts;
        s.minimum = std::min(s.minimum, v);
        s.maximum = std::max(s.maximum, v);
        sum += v;
        squares += v * v;
        s.impossible += impossible(stored, range);
    }
    s.mean = sum / SweepLength;
    s.rms = std::sqrt(squares / SweepLength);
    return s;
}
