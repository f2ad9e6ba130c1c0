#pragma once

#include "core/samples/Range.h"
#include "core/samples/Samples.h"

#include <QString>

#include <array>
#include <optional>

// SampleBuffer as the window's handlers index it, 0 to 8868: cells 1 to 8192 are the samples
// of a sweep or a loaded file in their order; the other cells are kept, but nothing reads them.
class SampleCells {
public:
    qint16& operator[](int i) { return i >= 1 && i <= SweepLength ? samples_[i - 1] : spare_.at(spareIndex(i)); }
    qint16 operator[](int i) const { return i >= 1 && i <= SweepLength ? samples_[i - 1] : spare_.at(spareIndex(i)); }
    SampleArray& samples() { return samples_; }
    const SampleArray& samples() const { return samples_; }
    operator const SampleArray&() const { return samples_; }
    void fill(qint16 value)
    {
        samples_.fill(value);
        spare_.fill(value);
    }
    bool operator==(const SampleCells&) const = default;
    friend bool operator==(const SampleCells& cells, const SampleArray& samples) { return cells.samples_ == samples; }

private:
    static constexpr int Last = 8868;
    // Cell 0 first, then 8193 onwards.
    static std::size_t spareIndex(int i) { return i == 0 ? 0 : std::size_t(i - SweepLength); }
    SampleArray samples_{};
    std::array<qint16, Last - SweepLength + 1> spare_{};
};

// RangeMode as the window keeps it: "1" unipolar, "0" bipolar, empty until a sweep tick has
// read a range button.
class RangeModeText {
public:
    RangeModeText() = default;
    RangeModeText(Range range) : range_(range) {}
    // "1" or "0"; any other text is no range.
    RangeModeText& operator=(const QString& text);
    std::optional<Range> range() const { return range_; }
    QString text() const;
    operator QString() const { return text(); }
    bool isEmpty() const { return !range_; }
    bool operator==(const RangeModeText&) const = default;

private:
    std::optional<Range> range_;
};

// The state that the handlers share.
struct AcquisitionState {
    SampleCells SampleBuffer;
    QString ChannelCode; // bit 0, bit 2 and bit 1 of the channel
    RangeModeText RangeMode;
    QString ControlWord; // "1" + ChannelCode + RangeMode + "110"
    // The range SampleBuffer's samples were taken in: that of the sweep that filled it, or the
    // one a loaded file was replayed in. It differs from RangeMode while the first sweep after
    // a range change is still running, and after such a sweep was cut short.
    RangeModeText BufferRangeMode;
};

// Bits as the window writes them, "1" and "0", the highest of `count` bits first.
QString bitText(unsigned bits, int count);
