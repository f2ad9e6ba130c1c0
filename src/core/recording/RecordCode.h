#pragma once

#include "core/samples/Range.h"

#include <QtGlobal>

// A stored record as the code the one-file recording keeps for it, exactly both ways. For every
// record a sweep produces, the converter's code as reading() gives it: unipolar 0..4095,
// bipolar -2048..2047, a negative 0 (-32768) as -1 and a positive 0 as 0. Each other record
// (one from an arbitrary data file: bits 11 to 14 set, a unipolar sign bit) takes a code outside
// those, so that it shows as out of range and still comes back as it was:
//   unipolar: the record itself (those are below 0 or above 4095);
//   bipolar, not negative: the record itself (2048 and up);
//   bipolar, negative with a magnitude m = record + 32768 above 2047: m - 34816 (-32768..-2049).
namespace RecordCode {

// The magnitude of a negative bipolar record below which the converter can have given it.
constexpr int Magnitudes = 2048;
constexpr int Negative = 32768;

// Inline: a sweep's 8192 records are turned into codes in a loop the compiler unrolls.
constexpr qint16 code(qint16 stored, Range range)
{
    if (range == Range::Unipolar || stored >= 0)
        return stored;
    const int magnitude = stored + Negative;
    return qint16(magnitude < Magnitudes ? -(magnitude + 1) : magnitude - Negative - Magnitudes);
}

constexpr qint16 stored(qint16 code, Range range)
{
    if (range == Range::Unipolar || code >= 0)
        return code;
    return qint16(code >= -Magnitudes ? -(code + 1) - Negative : code + Magnitudes);
}

} // namespace RecordCode
