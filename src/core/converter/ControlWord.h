#pragma once

#include "core/samples/Range.h"

#include <QString>

#include <optional>

// What the converter is asked for.
struct ConversionRequest {
    int channel = 0; // 0..7
    bool unipolar = false;
};

// The word a conversion clocks into the converter, first character first: "1", the channel
// code, the range code, then "110".
namespace ControlWord {

constexpr int Channels = 8;

// Bit 0, bit 2 and bit 1 of the channel number, in this order: "000", "100", "001", … "111".
QString channelCode(int channel);
// "1" unipolar, "0" bipolar.
QString rangeCode(Range range);
// The range a range code stands for; none for any other text.
std::optional<Range> rangeOf(const QString& code);
QString make(int channel, Range range);

// What a word clocked in bit by bit asks for; the first bit sent is bit 7.
ConversionRequest request(unsigned word);

} // namespace ControlWord
