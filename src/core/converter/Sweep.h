#pragma once

#include "core/converter/ControlWord.h"
#include "core/converter/ConverterLink.h"
#include "core/samples/Samples.h"

#include <functional>

// One sweep: 8192 conversions of one channel in one range through the converter link, the
// lines allowed to convert ahead within it, each reading kept in the stored encoding. Each
// sample is handed out as it comes; the sweep as a whole is there only once all 8192 are in,
// so a sweep cut short never passes for a complete one.
class Sweep {
public:
    struct Sample {
        int number;    // 1..8192, in the order taken
        qint16 stored; // the stored encoding
        int plotValue; // its height, from the reading itself
    };
    // Returns false to stop the sweep after this sample.
    using Each = std::function<bool(const Sample&)>;

    explicit Sweep(ConverterLink& link) : link_(link) {}

    // True when all 8192 samples are in; samples() then holds them. False when `each` stopped
    // the sweep. A failing line operation throws LineError. Either way short of the end, what
    // the sweep converted is dropped.
    bool run(const ConversionRequest& request, const Each& each);
    const SampleArray& samples() const { return samples_; }
    // Whether CTS changed level at all over the read-out cells of the last sweep: a converter
    // that answers moves it, a line left open or shorted holds it.
    bool lineMoved() const { return lineMoved_; }

private:
    ConverterLink& link_;
    SampleArray samples_{};
    bool lineMoved_ = false;
};
