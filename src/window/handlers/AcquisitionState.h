#pragma once

#include "core/samples/Range.h"
#include "core/samples/Samples.h"

#include <optional>

// The state that the handlers share.
struct AcquisitionState {
    // The samples of the last complete sweep or of the loaded file, in their order.
    SampleArray SampleBuffer{};
    // The range the last sweep tick read from the range buttons; none until a tick has read one.
    std::optional<Range> RangeMode;
    // The range SampleBuffer's samples were taken in: that of the sweep that filled it, or the
    // one a loaded file was replayed in. It differs from RangeMode while the first sweep after
    // a range change is still running, and after such a sweep was cut short.
    std::optional<Range> BufferRangeMode;
};
