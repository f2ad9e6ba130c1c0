#include "core/recording/RecordCode.h"

namespace RecordCode {
namespace {

// The magnitude of a negative bipolar record below which the converter can have given it.
constexpr int Magnitudes = 2048;
constexpr int Negative = 32768;

} // namespace

qint16 code(qint16 stored, Range range)
{
    if (range == Range::Unipolar || stored >= 0)
        return stored;
    const int magnitude = stored + Negative;
    return qint16(magnitude < Magnitudes ? -(magnitude + 1) : magnitude - Negative - Magnitudes);
}

qint16 stored(qint16 code, Range range)
{
    if (range == Range::Unipolar || code >= 0)
        return code;
    return qint16(code >= -Magnitudes ? -(code + 1) - Negative : code + Magnitudes);
}

} // namespace RecordCode
