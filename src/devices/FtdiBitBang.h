#pragma once

#include "devices/LineDriver.h"

#include <QString>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

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

    // A transfer of the pool, with its buffer; what the system's FTDI library keeps of it
    // lives in the transport's own kind of transfer.
    struct Transfer {
        virtual ~Transfer() = default;
        std::vector<unsigned char> buffer;
        bool done = false;
        bool ok = false; // done without failure
        int length = 0;  // the bytes it moved
    };

    // The system's FTDI library: transfers submitted, waited for and cancelled.
    class Transport {
    public:
        virtual ~Transport() = default;
        // What a read brings: packets of `packetSize` bytes, each led by `statusBytes` of the
        // chip's own; a read ends early only where the library ends it on a short packet.
        virtual int packetSize() const = 0;
        virtual int statusBytes() const = 0;
        virtual std::unique_ptr<Transfer> newTransfer() = 0;
        // Starts writing the buffer, or reading into it; false when it cannot be started.
        virtual bool submit(Transfer& transfer, bool write) = 0;
        // Waits until a transfer under way is done (marked so) or the deadline has passed;
        // false when none was done in time.
        virtual bool awaitAny(std::chrono::steady_clock::time_point deadline) = 0;
        virtual void cancel(Transfer& transfer) = 0;
    };

    BitBangStream(Transport& transport, std::chrono::milliseconds deadline);
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
    bool submit(Transfer& transfer, bool write);
    void refill();
    // Waits for a transfer to be done and takes what it brought; false past the deadline.
    bool awaitAny();
    void collect();
    void cancelAll() noexcept;

    Transport& transport_;
    std::chrono::milliseconds deadline_;
    std::vector<std::unique_ptr<Transfer>> pool_;
    std::deque<Transfer*> writing_, reading_; // under way, in the order submitted
    Fill fill_;
    int perWrite_ = 0;
    long toWrite_ = 0; // bytes not yet submitted
    long written_ = 0, read_ = 0;
    std::vector<unsigned char> in_;
    std::size_t taken_ = 0;
    std::optional<LineError> failure_;
};

// An FTDI chip driven in synchronous bit-bang mode: the UART pins become D0..D7, RTS# = D2 and
// DTR# = D4 outputs, CTS# = D3 input, all active low as in UART mode. Each byte written sets
// the outputs for one period of the chip's clock and reads back the pins as they were just
// before it took effect, so a CTS read is a repeated byte whose read-back shows the pins after
// the operation before it. A frame is 65 bytes. The frames a run announces ahead stream through
// the chip back to back (BitBangStream) and are answered as their bytes come back; a run that
// ends early lets the frames under way finish.
//
// The chip is reached through the system's FTDI library (libftdi on libusb, or FTDI's D2XX
// driver on Windows: FtdiTransport), which opens it in the mode, with the latency timer at
// 1 ms, and, when its transport is destroyed, gives the timer its old value back, resets the
// chip to UART mode and gives it back to the system's serial driver. Every transfer has a
// deadline, past which it is cancelled and the chip counts as not answering (LineError).
class FtdiBitBang final : public LineDriver {
public:
    // Frames a write transfer: 65 full packets, no slot of the bus spent on a short one.
    static constexpr int FramesPerWrite = 64;
    // The byte clock: 1 MHz, 1 µs a line operation, as short as the converter is known to take.
    // The chip clocks a byte at sixteen times its baud generator; libftdi programs the generator
    // to four times the rate it is given, D2XX to the rate itself.
    static constexpr int ByteClockHz = 1'000'000;
    static constexpr int BaudGeneratorHz = ByteClockHz / 16;
    // How long one transfer may take before the chip counts as not answering: far above the
    // few milliseconds of the largest.
    static constexpr std::chrono::milliseconds Deadline{1000};
    static constexpr unsigned char RtsPin = 0x04; // D2, RTS#
    static constexpr unsigned char CtsPin = 0x08; // D3, CTS#
    static constexpr unsigned char DtrPin = 0x10; // D4, DTR#

    // A chip opened in synchronous bit-bang mode by its transport; the lines are read once at
    // rest. Throws PortError when they cannot be.
    FtdiBitBang(std::unique_ptr<BitBangStream::Transport> transport, std::chrono::milliseconds deadline);
    ~FtdiBitBang() override;

    void setRts(bool asserted) override;
    void setDtr(bool asserted) override;
    bool readCts() override;
    FrameReadout runFrame(const LineFrame& frame, int ahead) override;
    void dropAhead() override;

private:
    // The byte that sets the outputs as the operation leaves them.
    unsigned char put(LineOp op);
    // One operation in a transfer of its own; the byte read back.
    unsigned char runAlone(LineOp op);

    std::unique_ptr<BitBangStream::Transport> transport_;
    std::unique_ptr<BitBangStream> stream_;
    unsigned char outputs_ = 0; // RTS and DTR asserted: the lines' rest state
    LineFrame frame_{};   // the frame of the run under way
    long framesLeft_ = 0; // its frames sent and not yet answered
    int nextOperation_ = 0; // where the bytes sent are in the frame
};
