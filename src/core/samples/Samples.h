#pragma once

#include <QtGlobal>

#include <array>

constexpr int SweepLength = 8192;

// One sweep's samples, or a data file's records, in the order they were taken.
using SampleArray = std::array<qint16, SweepLength>;

// How a reading is kept in a sample and in the data file: unipolar as it is, 0..4095;
// bipolar as the converter link's magnitude 0..2047 with the sign in bit 15, so that a
// negative 0 (-32768) stays distinct from a positive one. Readers take the magnitude from the
// low 13 bits and the sign from bit 15; bits 13 and 14 take part in neither.
namespace StoredSample {

constexpr qint16 encode(int magnitude, bool negative) { return qint16(magnitude - 32768 * int(negative)); }
constexpr int magnitude(qint16 stored) { return stored & 0x1FFF; }
constexpr bool negative(qint16 stored) { return stored < 0; }

} // namespace StoredSample

// The height of a sample above the bottom edge of PlotSpace.
namespace PlotValue {

// A live reading: the converter's result as it came, negative 0 or 1 (bipolar only).
constexpr int unipolar(int magnitude) { return magnitude; }
constexpr int bipolar(int magnitude, bool negative) { return 2500 + (1 - 2 * int(negative)) * magnitude; }

// A stored sample: unipolar ignores the sign.
constexpr int storedUnipolar(qint16 stored) { return unipolar(StoredSample::magnitude(stored)); }
constexpr int storedBipolar(qint16 stored)
{
    return bipolar(StoredSample::magnitude(stored), StoredSample::negative(stored));
}

} // namespace PlotValue
