#pragma once

#include "core/samples/Samples.h"

#include <QString>

// The state that the handlers share.
struct AcquisitionState {
    SampleArray SampleBuffer{};
    QString ChannelCode; // bit 0, bit 2 and bit 1 of the channel
    QString RangeMode;   // "1" unipolar, "0" bipolar; empty until the first sweep tick
    QString ControlWord; // "1" + ChannelCode + RangeMode + "110"
    // The range SampleBuffer's samples were taken in: that of the sweep that filled it, or the
    // one a loaded file was replayed in. It differs from RangeMode while the first sweep after
    // a range change is still running, and after such a sweep was cut short.
    QString BufferRangeMode;
};
