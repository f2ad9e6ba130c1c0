#pragma once

#include "core/converter/ControlLines.h"
#include "core/samples/Range.h"

#include <cstdint>

// What one conversion read: the 13 read-out cells as the converter sent them, cell 0 in bit 12
// and the result's most significant bit in bit 11, a 1 where CTS was released.
struct ConverterCells {
    unsigned bits = 0;
    // Cell 0 is sampled but never counts.
    unsigned result() const { return bits & 0xFFFu; }
};

// A conversion's result in its range: unipolar a magnitude 0..4095, never negative; bipolar
// a magnitude 0..2047 and a sign. A negative bipolar code comes back as the complement of
// cells 2..12 with no 1 added, so its magnitude is -code - 1.
struct ConverterReading {
    int magnitude = 0;
    bool negative = false;
    bool operator==(const ConverterReading&) const = default;

    static ConverterReading of(ConverterCells cells, Range range)
    {
        const unsigned r = cells.result();
        if (range == Range::Unipolar)
            return {int(r), false};
        const bool negative = (r & 0x800u) != 0;
        return {int((negative ? ~r : r) & 0x7FFu), negative};
    }
};

// One conversion over the control lines: the control word goes out on RTS under the DTR
// clock, 13 read-out cells come back on CTS, 65 line operations in all, with no wait of its
// own. The operations go to the lines as one frame, so a driver may run them in one transfer.
// Line errors pass to the caller unchanged.
class ConverterLink {
public:
    explicit ConverterLink(ControlLines& lines) : lines_(lines) {}

    // The frame of a control word: control cells (a 1 sent by releasing RTS), the turn-around
    // pulse, read-out cells each sampled after a full clock pulse.
    static LineFrame encode(std::uint8_t controlWord);

    // One conversion with a frame made by encode.
    ConverterCells convert(const LineFrame& frame);

    // While a Run lives, the next `conversions` conversions use one frame, so the lines may
    // convert ahead up to the run's end; what they converted ahead is dropped when it ends,
    // early or not.
    class Run {
    public:
        Run(ConverterLink& link, int conversions) : link_(link) { link_.planned_ = conversions; }
        ~Run();
        Run(const Run&) = delete;
        Run& operator=(const Run&) = delete;

    private:
        ConverterLink& link_;
    };

private:
    ControlLines& lines_;
    int planned_ = 0; // conversions left in the current run, this one included
};
