#pragma once

#include <libusb.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

// An FT232R behind libusb's interface. A program linked with this library ahead of libusb-1.0
// (which then comes in only as libftdi1's own dependency) runs the system's libftdi1 against
// this model: the libusb functions libftdi1 calls are defined here, the device as the chip's
// datasheet and FTDI's application notes describe it.
//
// - Descriptors: vendor, product and bcdDevice (from which libftdi tells the chip type), the
//   manufacturer, product and serial strings, one interface with bulk endpoints 0x81 and 0x02
//   of 64 bytes.
// - Vendor requests: reset and purge, modem control, baud rate (the FT232R's divisor of its
//   3 MHz clock, 3 fractional bits), bit mode and output mask, latency timer; others stall.
// - Synchronous bit-bang: the bytes the host sends wait in the receive buffer of 128; the chip
//   takes them one per period of the byte clock (16 times the baud rate), applies each to the pins
//   selected as outputs, and returns for each the pins as they were read just before it took
//   effect. Those wait in the transmit buffer of 256; while it is full the clock stops. RTS# (D2)
//   and DTR# (D4) drive the converter and CTS# (D3) is its output, all active low.
// - The full-speed bus: 1 ms frames of 19 slots of one bulk packet (64 bytes at most), taken in
//   turn by the endpoints with a transfer, which joins at the frame after its submission. The
//   chip refuses, the slot spent, an OUT packet with no room for it, and an IN packet until it
//   has 62 bytes or the latency timer has run out since its last one. An IN packet starts with
//   the two modem-status bytes; a read ends on a short packet or when its buffer is full.
// - Transfers are asynchronous: they complete, and their callbacks run, in
//   libusb_handle_events_timeout_completed, which runs the model until a transfer completes;
//   libusb_cancel_transfer completes them as cancelled.
//
// Nothing waits: the model keeps its own time, which passes only while transfers are under way.
// Only a chip that stops answering makes the caller wait, as a real one does, for event
// handling's and control requests' time-outs. libusb's own time-outs of asynchronous transfers
// are not modelled: libftdi submits a read or write that timed out again.
//
// The chip keeps its bit mode when the device is closed, as a real one does. The kernel's
// serial driver lets go of the chip when libftdi detaches it (for good, or until the interface
// is released when libusb was told to detach it automatically).
class EmulatedUsbChip {
public:
    struct Identity {
        int vendor = 0x0403, product = 0x6001;
        int bcdDevice = 0x0600; // FT232R; 0x0400 is a BM chip, which has no synchronous bit-bang
        std::string serial = "Q390EMU1";
        int bus = 1, address = 5;
    };
    // The converter on the pins, in the line sense: true is asserted.
    struct Lines {
        std::function<void(bool)> setRts, setDtr;
        std::function<bool()> readCts;
    };
    enum class Failure {
        PulledOut,     // everything fails as with no device
        StopsAnswering // plugged in, but nothing is taken or answered, nor ever completes
    };

    EmulatedUsbChip(Identity identity, Lines lines);
    ~EmulatedUsbChip();
    EmulatedUsbChip(const EmulatedUsbChip&) = delete;
    EmulatedUsbChip& operator=(const EmulatedUsbChip&) = delete;

    const Identity identity;
    static constexpr int PacketsPerFrame = 19; // 64-byte bulk packets a 1 ms full-speed frame holds

    // The chip fails so when the n-th bulk write from now (n >= 1) is submitted.
    void failAtWrite(long n, Failure how);
    bool pulledOut() const { return pulledOut_; }
    bool answering() const { return answering_; }
    // libusb cannot open the device (no permission).
    bool accessDenied = false;
    // Told when the kernel's serial driver lets go of the chip (false) or takes it again.
    std::function<void(bool attached)> onKernelDriver;
    // Every byte written in synchronous bit-bang mode, in order.
    bool recording = false;
    std::vector<unsigned char> written;

    bool open = false; // a handle holds the interface
    bool kernelDriverAttached = true;
    unsigned char bitmode = 0; // BITMODE_RESET: UART
    unsigned char outputMask = 0;
    int latencyTimerMs = 16; // the chip's default
    double byteNanoseconds = 0;

    // Callbacks run several at a time, in the reverse order of completion.
    bool completeOutOfStep = false;

    // What the model counts.
    double modelledNanoseconds = 0; // the time of the bus and the chip
    long roundTrips = 0;   // transfers submitted with none under way: the chip waits for the host
    long reads = 0;        // bulk IN transfers submitted
    long packets = 0;      // bulk IN packets
    long outPackets = 0;   // bulk OUT packets taken
    long latencyWaits = 0; // short packets sent when the latency timer ran out
    long bytes = 0;        // bytes clocked through the pins
    long bytesAnswered = 0; // pin bytes in the reads completed

    // The model, for the libusb functions.
    libusb_device* device() const { return device_; }
    int submit(libusb_transfer* transfer);
    int cancel(libusb_transfer* transfer);
    // Runs the bus and the chip until a transfer completes (several out of step) or nothing moves.
    void serve();
    // The transfers completed since the last call, for their callbacks.
    std::vector<libusb_transfer*> takeDone();
    int control(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index, unsigned char* data,
                uint16_t length, unsigned timeoutMs);
    void setKernelDriver(bool attached);

private:
    struct Queued { libusb_transfer* transfer; double from; }; // from: when it joins the bus schedule
    unsigned char pins() const;
    void apply(unsigned char byte);
    void clock(unsigned char byte);
    void clockUntil(double until);
    // One slot of the bus: a packet to or from the chip, or a refusal.
    void transact();
    void takeOutPacket();
    void setBaudDivisor(unsigned encoded);
    // Sends a packet of `size` bytes from the transmit buffer to the read under way.
    void sendPacket(std::size_t size);
    void finish(libusb_transfer* transfer, libusb_transfer_status status);

    Lines lines_;
    libusb_device* const device_;
    long writesToFailure_ = -1;
    Failure failure_ = Failure::PulledOut;
    bool pulledOut_ = false, answering_ = true;
    unsigned char latch_ = 0xFF;
    std::deque<unsigned char> received_, fifo_; // the receive and transmit buffers
    double clockFreeAt_ = 0, lastInPacketAt_ = 0, slot_ = 0;
    bool inTurn_ = false;
    std::deque<Queued> writes_, reads_;
    std::vector<libusb_transfer*> done_;
};
