#pragma once

#include "core/converter/ControlWord.h"

#include <QtGlobal>

#include <functional>

// Converter codes that differ by channel, range and position: conversion n of a channel gives
// (n × 37 + channel × 501) mod 4096, less 2048 when bipolar, so 4096 conversions in a row run
// through every code of the range.
struct RampInput {
    int channel;
    bool unipolar;
    RampInput(int channel, bool unipolar) : channel(channel), unipolar(unipolar) {}
    RampInput(const ConversionRequest& request) : channel(request.channel), unipolar(request.range == Range::Unipolar) {}
};
inline int rampCode(const RampInput& input, long n)
{
    const int step = int((n * 37 + input.channel * 501) % 4096);
    return input.unipolar ? step : step - 2048;
}

// The ramp as a converter answers it; `before` runs ahead of each conversion with its number
// (to pull an adapter out or raise a signal there).
struct Ramp {
    long n = 0;
    std::function<void(long n)> before;
    int operator()(const ConversionRequest& request)
    {
        if (before)
            before(n);
        return rampCode(request, n++);
    }
};

// A code as a sweep stores it, by hand: unipolar as it is; bipolar as the magnitude the link
// reads (a negative code's complement) with the sign in bit 15.
inline qint16 storedSample(int code, bool unipolar)
{
    return qint16(unipolar || code >= 0 ? code : -code - 1 - 32768);
}
