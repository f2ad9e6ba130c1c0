#pragma once

#include "core/system/Failure.h"

#include <QString>

#include <array>

// A control-line operation on an open port failed (an adapter pulled out, for example).
// The sweep turns this into a routine failure; any other exception is a programming fault.
class LineError : public Failure {
public:
    using Failure::Failure;
};

// One line operation of a conversion frame.
enum class LineOp : unsigned char { RtsAsserted, RtsReleased, DtrAsserted, DtrReleased, ReadCts };

constexpr int FrameOperations = 65;
constexpr int FrameReads = 13;
// The operations of one conversion in their order on the wires.
using LineFrame = std::array<LineOp, FrameOperations>;
// What the frame's reads found, in order: true is CTS asserted.
using FrameReadout = std::array<bool, FrameReads>;

// Runs a frame one operation at a time on anything with the three line operations.
template <class Lines>
FrameReadout runEachOperation(Lines& lines, const LineFrame& frame)
{
    FrameReadout readout{};
    int reads = 0;
    for (const LineOp op : frame) {
        switch (op) {
        case LineOp::RtsAsserted: lines.setRts(true); break;
        case LineOp::RtsReleased: lines.setRts(false); break;
        case LineOp::DtrAsserted: lines.setDtr(true); break;
        case LineOp::DtrReleased: lines.setDtr(false); break;
        case LineOp::ReadCts: readout[reads++] = lines.readCts(); break;
        }
    }
    return readout;
}

// The three modem-control line operations of the serial port, one call per line operation,
// in the line sense of the converter frame: true asserts RTS/DTR, true means CTS asserted.
class ControlLines {
public:
    virtual ~ControlLines() = default;
    virtual void setRts(bool asserted) = 0;
    virtual void setDtr(bool asserted) = 0;
    virtual bool readCts() = 0;

    // Runs a whole frame. `ahead` more runs of the same frame are expected next, so a driver
    // that batches may run them now and answer them from what it kept; by default each
    // operation is one call.
    virtual FrameReadout runFrame(const LineFrame& frame, int ahead)
    {
        Q_UNUSED(ahead);
        return runEachOperation(*this, frame);
    }
    // Forgets frames run ahead: the run they were meant for has ended.
    virtual void dropAhead() {}
};
