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
// - Synchronous bit-bang: every byte written is applied to the pins selected as outputs for one
//   period of the byte clock (16 times the baud rate), and for every byte the chip returns the
//   pins as they were read just before that byte took effect. RTS# (D2) and DTR# (D4) drive the
//   converter and CTS# (D3) is its output, all active low. The bytes read back wait in a FIFO of
//   256; when it is full and no read is under way, the chip stops taking bytes.
// - Every bulk IN packet is 64 bytes at most and starts with the two modem-status bytes. A full
//   packet goes as soon as the chip has 62 bytes; a short one only when the latency timer runs
//   out with nothing more coming, with what the chip has, which may be nothing. A read ends on
//   a short packet or when its buffer is full.
// - Transfers are asynchronous: they complete, and their callbacks run, in
//   libusb_handle_events_timeout_completed; libusb_cancel_transfer completes them as cancelled.
//
// Nothing waits: the time a real chip and bus would take is counted. Only a chip that stops
// answering makes the caller wait, as a real one does, for event handling's and control
// requests' time-outs. libusb's own time-outs of asynchronous transfers are not modelled:
// libftdi submits a read or write that timed out again.
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

    // What the time of a real chip and bus follows from.
    long roundTrips = 0;   // bulk reads completed: each a wait of the host for the chip's answer
    long packets = 0;      // bulk IN packets
    long latencyWaits = 0; // short packets sent when the latency timer ran out
    double latencyNanoseconds = 0;
    long bytes = 0;        // bytes clocked through the pins
    double chipNanoseconds = 0;

    // The model, for the libusb functions.
    libusb_device* device() const { return device_; }
    int submit(libusb_transfer* transfer);
    int cancel(libusb_transfer* transfer);
    // Runs the chip until nothing more moves without time passing, then lets the latency timer
    // run out once if a read waits.
    void serve();
    // The transfers completed since the last call, for their callbacks.
    std::vector<libusb_transfer*> takeDone();
    int control(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index, unsigned char* data,
                uint16_t length, unsigned timeoutMs);
    void setKernelDriver(bool attached);

private:
    unsigned char pins() const;
    void apply(unsigned char byte);
    void clock(unsigned char byte);
    void setBaudDivisor(unsigned encoded);
    // Sends a packet of `size` bytes from the FIFO to the read under way.
    void sendPacket(std::size_t size);
    void finish(libusb_transfer* transfer, libusb_transfer_status status);

    Lines lines_;
    libusb_device* const device_;
    long writesToFailure_ = -1;
    Failure failure_ = Failure::PulledOut;
    bool pulledOut_ = false, answering_ = true;
    unsigned char latch_ = 0xFF;
    std::deque<unsigned char> fifo_;
    std::deque<libusb_transfer*> writes_, reads_;
    std::vector<libusb_transfer*> done_;
};
