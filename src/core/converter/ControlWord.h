#pragma once

#include "core/samples/Range.h"

#include <cstdint>

// The converter's input channels, 0 to ChannelCount - 1.
constexpr int ChannelCount = 8;

// What the converter is asked for.
struct ConversionRequest {
    int channel = 0; // 0..7
    Range range = Range::Bipolar;
    bool operator==(const ConversionRequest&) const = default;
};

// The eight bits a conversion clocks into the converter, the first one sent in bit 7: 1, the
// channel's bits 0, 2 and 1 in this order, the range (1 unipolar, 0 bipolar), then 1, 1, 0.
namespace ControlWord {

// The channel's three bits as they are sent, the first in bit 2.
constexpr unsigned channelBits(int channel)
{
    return (unsigned(channel) & 1u) << 2 | ((unsigned(channel) >> 2) & 1u) << 1 | ((unsigned(channel) >> 1) & 1u);
}
constexpr unsigned rangeBit(Range range) { return range == Range::Unipolar ? 1u : 0u; }

constexpr std::uint8_t make(const ConversionRequest& request)
{
    return std::uint8_t(0x80u | channelBits(request.channel) << 4 | rangeBit(request.range) << 3 | 0b110u);
}

// What a word asks for; the simulated converter reads the words it is sent with it.
constexpr ConversionRequest request(std::uint8_t word)
{
    const unsigned code = (word >> 4) & 7u; // sent as channel bits 0, 2, 1
    const int channel = int(((code >> 2) & 1u) | (code & 1u) << 1 | ((code >> 1) & 1u) << 2);
    return {channel, (word >> 3) & 1u ? Range::Unipolar : Range::Bipolar};
}

} // namespace ControlWord
