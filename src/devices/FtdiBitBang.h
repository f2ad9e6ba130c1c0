#pragma once

#include "devices/LineDriver.h"

#include <QString>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

struct ftdi_context;
struct libusb_transfer;

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

// Bytes through an FTDI chip in synchronous bit-bang mode, where every byte written comes back
// as one byte read. A few write transfers are kept under way, and reads for every byte written,
// so that the chip always has the next bytes and room for its answers and never waits for a
// round trip or its latency timer between transfers; what comes back is taken in order as it
// arrives, whatever the order in which the transfers are reported done. At most `Depth`
// transfers each way, of a few packets each: the memory is bounded however long the run.
//
// Every wait has a deadline from the last transfer done, past which the chip counts as not
// answering (LineError).
class BitBangStream {
public:
    static constexpr int Depth = 4;
    // Bytes produced on demand, in order.
    using Fill = std::function<void(unsigned char* bytes, int count)>;

    // A transfer of the pool, with its buffer.
    struct Transfer;

    BitBangStream(ftdi_context* context, std::chrono::milliseconds deadline);
    ~BitBangStream();
    BitBangStream(const BitBangStream&) = delete;
    BitBangStream& operator=(const BitBangStream&) = delete;

    // Sends `total` bytes, `perWrite` at most a transfer; what an earlier run left under way is
    // waited for first.
    void start(long total, int perWrite, Fill fill);
    // The next `count` bytes read back, once they are in; throws LineError when the chip failed
    // or stopped answering before.
    const unsigned char* take(int count);
    // Sends nothing more and waits for what is under way to come back; cancels it when it
    // fails or does not come in time.
    void finish() noexcept;

private:
    bool submit(Transfer& transfer, int endpoint);
    void refill();
    // Waits for a transfer to be done and takes what it brought; false past the deadline.
    bool awaitAny();
    void collect();
    void cancelAll() noexcept;

    ftdi_context* context_;
    std::chrono::milliseconds deadline_;
    std::vector<std::unique_ptr<Transfer>> pool_;
    std::deque<Transfer*> writing_, reading_; // under way, in the order submitted
    Fill fill_;
    int perWrite_ = 0;
    long toWrite_ = 0; // bytes not yet submitted
    long written_ = 0, read_ = 0;
    std::vector<unsigned char> in_;
    std::size_t taken_ = 0;
    int completed_ = 0;
    std::optional<LineError> failure_;
};

// An FTDI chip driven in synchronous bit-bang mode through libftdi: the UART pins become
// D0..D7, RTS# = D2 and DTR# = D4 outputs, CTS# = D3 input, all active low as in UART mode.
// Each byte written sets the outputs for one period of the chip's clock and reads back the
// pins as they were just before it took effect, so a CTS read is a repeated byte whose read-back
// shows the pins after the operation before it. A frame is 65 bytes. The frames a run announces
// ahead stream through the chip back to back (BitBangStream) and are answered as their bytes
// come back; a run that ends early lets the frames under way finish.
//
// Every USB transfer has a deadline, past which it is cancelled and the chip counts as not
// answering (LineError). While open, the kernel's serial driver is detached from the channel
// and the chip's latency timer is 1 ms; closing gives the timer its old value back, resets the
// chip to UART mode and attaches the driver again.
class FtdiBitBang final : public LineDriver {
public:
    // Frames a write transfer: 65 full packets, no slot of the bus spent on a short one.
    static constexpr int FramesPerWrite = 64;
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
    void dropAhead() override;

private:
    FtdiBitBang(ftdi_context* context, std::chrono::milliseconds deadline);
    void start();
    // The byte that sets the outputs as the operation leaves them.
    unsigned char put(LineOp op);
    // One operation in a transfer of its own; the byte read back.
    unsigned char runAlone(LineOp op);

    ftdi_context* context_;
    unsigned char latencyTimer_ = 0; // the chip's own, in ms, to give back on close
    unsigned char outputs_ = 0; // RTS and DTR asserted: the lines' rest state
    std::unique_ptr<BitBangStream> stream_;
    LineFrame frame_{};   // the frame of the run under way
    long framesLeft_ = 0; // its frames sent and not yet answered
    int nextOperation_ = 0; // where the bytes sent are in the frame
};
