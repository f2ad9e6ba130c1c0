#pragma once

#include <ftdi.h>

#include <functional>
#include <string>
#include <vector>

// An FTDI chip behind libftdi's interface. A program linked with this library ahead of
// libftdi1 reaches this model instead of USB; the functions the bit-bang driver uses are
// defined here. The model follows the chips' datasheets for synchronous bit-bang: every byte
// written is applied to the pins selected as outputs by the bit mask for one period of the
// byte clock, and for every byte the chip returns the pins as they were read just before that
// byte took effect. RTS# (D2) and DTR# (D4) drive the converter and CTS# (D3) is its output, all
// active low. The byte clock is 16 times the baud generator, which libftdi programs to 4 times
// the rate given in bit-bang mode. Nothing waits: the time the chip would take is counted.
//
// The chip stays in the mode it was set to when the device is closed, as a real one does, and
// the kernel's serial driver comes back on close only when libftdi was told to attach it again.
class EmulatedChip {
public:
    struct Identity {
        int vendor = 0x0403, product = 0x6001;
        std::string serial = "Q390EMU1";
        int bus = 1, address = 5;
        ftdi_chip_type type = TYPE_R;
    };
    // The converter on the pins, in the line sense: true is asserted.
    struct Lines {
        std::function<void(bool)> setRts, setDtr;
        std::function<bool()> readCts;
    };

    EmulatedChip(Identity identity, Lines lines);
    ~EmulatedChip();
    EmulatedChip(const EmulatedChip&) = delete;
    EmulatedChip& operator=(const EmulatedChip&) = delete;

    const Identity identity;

    // The chip is pulled out when the n-th write from now (n >= 1) is submitted.
    void pullOutAtWrite(long n) { writesToPullOut_ = n; }
    bool pulledOut() const { return writesToPullOut_ == 0; }
    // libusb cannot open the device (no permission).
    bool accessDenied = false;
    // Every byte written in synchronous bit-bang mode, in order.
    bool recording = false;
    std::vector<unsigned char> written;

    bool open = false;
    bool kernelDriverAttached = true;
    unsigned char bitmode = BITMODE_RESET;
    unsigned char outputMask = 0;
    double byteNanoseconds = 0;  // the byte clock's period in bit-bang mode
    long roundTrips = 0;         // completed reads, each the answer to one write
    long bytes = 0;              // bytes clocked through the pins
    double chipNanoseconds = 0;  // their time at the byte clock

    // The model, for the stand-in functions.
    bool write(const unsigned char* data, int size);
    bool read(unsigned char* data, int size);
    void setBaudRate(int baudRate);
    void flush(); // drops what was read back and not yet collected

private:
    unsigned char pins() const;
    void apply(unsigned char byte);

    Lines lines_;
    long writesToPullOut_ = -1;
    unsigned char latch_ = 0xFF;
    std::vector<unsigned char> received_;
};
