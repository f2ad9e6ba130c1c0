#pragma once

#include "devices/LineDriver.h"

#include <QString>

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

struct ftdi_context;
struct ftdi_transfer_control;

// Where the system sees an FTDI chip's UART channel: its USB bus and address and the
// channel's interface number.
struct FtdiLocation {
    int bus = 0;
    int address = 0;
    int interface = 0;
    bool operator==(const FtdiLocation&) const = default;
};

// The FTDI chip (USB vendor 0x0403) behind a serial device such as /dev/ttyUSB0, found
// through the system's device tree (sysfs, under `sysfsRoot`); none for any other device.
std::optional<FtdiLocation> findFtdiChip(const QString& device, const QString& sysfsRoot);

// An FTDI chip driven in synchronous bit-bang mode through libftdi: the UART pins become
// D0..D7, RTS# = D2 and DTR# = D4 outputs, CTS# = D3 input, all active low as in UART mode.
// Each byte written sets the outputs for one period of the chip's clock and reads back the
// pins as they were just before it took effect, so a CTS read is a repeated byte whose read-back
// shows the pins after the operation before it. A frame is 65 bytes; up to FramesPerTransfer
// frames go in one USB transfer, those run ahead kept for the calls that ask for them.
//
// Every USB transfer has a deadline, past which it is cancelled and the chip counts as not
// answering (LineError). While open, the kernel's serial driver is detached from the channel
// and the chip's latency timer is 1 ms; closing gives the timer its old value back, resets the
// chip to UART mode and attaches the driver again.
class FtdiBitBang final : public LineDriver {
public:
    static constexpr int FramesPerTransfer = 64;
    // The rate given to libftdi. In bit-bang mode it programs the baud generator to four times
    // this, and the chip clocks a byte at sixteen times the generator: 1 MHz, 1 µs a line
    // operation, as short as the converter is known to take.
    static constexpr int BaudRate = 15625;

    // Opens the chip named by a libftdi device string ("i:0x0403:0x6001", "s:…", "d:…"), or
    // the channel found in the device tree, each transfer and control request allowed
    // `deadline`. Throws PortError when the chip cannot be opened or has no synchronous
    // bit-bang mode.
    static std::unique_ptr<FtdiBitBang> open(const QString& description, std::chrono::milliseconds deadline);
    static std::unique_ptr<FtdiBitBang> open(const FtdiLocation& location, std::chrono::milliseconds deadline);
    ~FtdiBitBang() override;

    void setRts(bool asserted) override;
    void setDtr(bool asserted) override;
    bool readCts() override;
    FrameReadout runFrame(const LineFrame& frame, int ahead) override;
    void dropAhead() override { aheadCount_ = aheadNext_ = 0; }

private:
    FtdiBitBang(ftdi_context* context, std::chrono::milliseconds deadline);
    void start();
    // Writes the bytes and reads as many back in one USB exchange; throws LineError when it
    // failed or ran past the deadline.
    void exchange();
    // Handles USB events until the transfer is done; false when the deadline came first.
    bool await(ftdi_transfer_control* transfer, std::chrono::steady_clock::time_point deadline);
    void put(LineOp op);
    // One operation in a transfer of its own; the byte read back.
    unsigned char runAlone(LineOp op);

    ftdi_context* context_;
    std::chrono::milliseconds deadline_;
    unsigned char latencyTimer_ = 0; // the chip's own, in ms, to give back on close
    unsigned char outputs_ = 0; // RTS and DTR asserted: the lines' rest state
    std::vector<unsigned char> out_, in_;
    std::vector<int> reads_;     // indexes of the repeated bytes whose read-back is a CTS read
    LineFrame aheadFrame_{};
    std::vector<FrameReadout> ahead_;
    std::size_t aheadCount_ = 0, aheadNext_ = 0;
};
