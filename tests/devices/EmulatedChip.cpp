#include "EmulatedChip.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr unsigned char RtsPin = 0x04, CtsPin = 0x08, DtrPin = 0x10;
EmulatedChip* plugged = nullptr;

int fail(ftdi_context* ftdi, int code, const char* reason)
{
    ftdi->error_str = reason;
    return code;
}

bool reachable(ftdi_context* ftdi)
{
    return ftdi && ftdi->usb_dev && plugged && !plugged->pulledOut();
}

// Which device a libftdi device string names; -11 for a string of no known form.
int matches(const char* description, const EmulatedChip::Identity& chip)
{
    char kind = 0;
    unsigned vendor = 0, product = 0, bus = 0, address = 0;
    char serial[128] = {};
    if (std::sscanf(description, "d:%u/%u", &bus, &address) == 2)
        return int(bus) == chip.bus && int(address) == chip.address;
    if (std::sscanf(description, "%c:%x:%x", &kind, &vendor, &product) != 3)
        return -11;
    const bool device = int(vendor) == chip.vendor && int(product) == chip.product;
    if (kind == 'i')
        return device;
    if (kind == 's' && std::sscanf(description, "s:%*x:%*x:%127s", serial) == 1)
        return device && chip.serial == serial;
    return -11;
}

int openChip(ftdi_context* ftdi, bool found)
{
    if (!found || !plugged || plugged->pulledOut())
        return fail(ftdi, -3, "device not found");
    if (ftdi->interface > 0)
        return fail(ftdi, -3, "device not found");
    if (plugged->accessDenied)
        return fail(ftdi, -4, "libusb_open() failed");
    if (plugged->open)
        return fail(ftdi, -5, "unable to claim usb device. Make sure the default FTDI driver is not in use");
    if (plugged->kernelDriverAttached) {
        if (ftdi->module_detach_mode == DONT_DETACH_SIO_MODULE)
            return fail(ftdi, -5, "unable to claim usb device. Make sure the default FTDI driver is not in use");
        plugged->kernelDriverAttached = false;
    }
    plugged->open = true;
    ftdi->usb_dev = reinterpret_cast<libusb_device_handle*>(plugged);
    ftdi->type = plugged->identity.type;
    return 0;
}

struct Transfer {
    bool reading;
    unsigned char* buf;
    int size;
};

ftdi_transfer_control* submitted(ftdi_context* ftdi, bool reading, unsigned char* buf, int size)
{
    auto* tc = new ftdi_transfer_control{};
    tc->ftdi = ftdi;
    tc->buf = buf;
    tc->size = size;
    tc->transfer = reinterpret_cast<libusb_transfer*>(new Transfer{reading, buf, size});
    return tc;
}

} // namespace

EmulatedChip::EmulatedChip(Identity id, Lines lines) : identity(std::move(id)), lines_(std::move(lines))
{
    plugged = this;
}

EmulatedChip::~EmulatedChip()
{
    plugged = nullptr;
}

unsigned char EmulatedChip::pins() const
{
    // Inputs other than CTS# float high.
    const unsigned char inputs = static_cast<unsigned char>(lines_.readCts() ? ~CtsPin : 0xFF);
    return static_cast<unsigned char>((latch_ & outputMask) | (inputs & ~outputMask));
}

void EmulatedChip::apply(unsigned char byte)
{
    latch_ = byte;
    const unsigned char level = pins();
    lines_.setRts(!(level & RtsPin));
    lines_.setDtr(!(level & DtrPin));
}

bool EmulatedChip::write(const unsigned char* data, int size)
{
    if (writesToPullOut_ > 0 && --writesToPullOut_ == 0) {
        open = false;
        kernelDriverAttached = false;
    }
    if (pulledOut())
        return false;
    if (bitmode != BITMODE_SYNCBB)
        return true; // out on TXD; nothing comes back
    for (int n = 0; n < size; ++n) {
        received_.push_back(pins());
        apply(data[n]);
        if (recording)
            written.push_back(data[n]);
    }
    bytes += size;
    chipNanoseconds += size * byteNanoseconds;
    return true;
}

bool EmulatedChip::read(unsigned char* data, int size)
{
    // More than was clocked never comes: the read times out.
    if (pulledOut() || std::size_t(size) > received_.size())
        return false;
    std::memcpy(data, received_.data(), std::size_t(size));
    received_.erase(received_.begin(), received_.begin() + size);
    ++roundTrips;
    return true;
}

void EmulatedChip::flush()
{
    received_.clear();
}

void EmulatedChip::setBaudRate(int baudRate)
{
    byteNanoseconds = 1e9 / (16.0 * 4.0 * baudRate);
}

extern "C" {

ftdi_context* ftdi_new(void)
{
    auto* ftdi = static_cast<ftdi_context*>(std::calloc(1, sizeof(ftdi_context)));
    if (ftdi)
        ftdi->module_detach_mode = AUTO_DETACH_SIO_MODULE;
    return ftdi;
}

void ftdi_free(ftdi_context* ftdi)
{
    if (ftdi && ftdi->usb_dev)
        ftdi_usb_close(ftdi);
    std::free(ftdi);
}

int ftdi_set_interface(ftdi_context* ftdi, ftdi_interface interface)
{
    ftdi->interface = interface == INTERFACE_ANY ? 0 : int(interface) - 1;
    return 0;
}

int ftdi_usb_open_string(ftdi_context* ftdi, const char* description)
{
    const int found = plugged ? matches(description, plugged->identity) : 0;
    if (found < 0)
        return fail(ftdi, -11, "illegal description format");
    return openChip(ftdi, found == 1);
}

int ftdi_usb_open_bus_addr(ftdi_context* ftdi, uint8_t bus, uint8_t addr)
{
    return openChip(ftdi, plugged && plugged->identity.bus == bus && plugged->identity.address == addr);
}

int ftdi_usb_close(ftdi_context* ftdi)
{
    if (!ftdi->usb_dev)
        return 0;
    ftdi->usb_dev = nullptr;
    if (plugged && !plugged->pulledOut()) {
        plugged->open = false;
        if (ftdi->module_detach_mode == AUTO_DETACH_REATACH_SIO_MODULE)
            plugged->kernelDriverAttached = true;
    }
    return 0;
}

int ftdi_set_bitmode(ftdi_context* ftdi, unsigned char bitmask, unsigned char mode)
{
    if (!reachable(ftdi))
        return fail(ftdi, -1, "USB error");
    plugged->bitmode = mode;
    plugged->outputMask = mode == BITMODE_RESET ? 0 : bitmask;
    ftdi->bitbang_enabled = mode != BITMODE_RESET;
    ftdi->bitbang_mode = mode;
    return 0;
}

int ftdi_set_baudrate(ftdi_context* ftdi, int baudrate)
{
    if (!reachable(ftdi))
        return fail(ftdi, -2, "setting new baudrate failed");
    if (ftdi->bitbang_enabled)
        plugged->setBaudRate(baudrate);
    ftdi->baudrate = baudrate;
    return 0;
}

int ftdi_tcioflush(ftdi_context* ftdi)
{
    if (!reachable(ftdi))
        return fail(ftdi, -1, "FTDI purge of RX buffer failed");
    plugged->flush();
    return 0;
}

ftdi_transfer_control* ftdi_read_data_submit(ftdi_context* ftdi, unsigned char* buf, int size)
{
    return reachable(ftdi) ? submitted(ftdi, true, buf, size) : nullptr;
}

ftdi_transfer_control* ftdi_write_data_submit(ftdi_context* ftdi, unsigned char* buf, int size)
{
    return reachable(ftdi) && plugged->write(buf, size) ? submitted(ftdi, false, buf, size) : nullptr;
}

int ftdi_transfer_data_done(ftdi_transfer_control* tc)
{
    auto* transfer = reinterpret_cast<Transfer*>(tc->transfer);
    int result = transfer->size;
    if (!reachable(tc->ftdi) || (transfer->reading && !plugged->read(transfer->buf, transfer->size)))
        result = fail(tc->ftdi, -1, "LIBUSB_TRANSFER_ERROR");
    delete transfer;
    delete tc;
    return result;
}

void ftdi_transfer_data_cancel(ftdi_transfer_control* tc, struct timeval*)
{
    delete reinterpret_cast<Transfer*>(tc->transfer);
    delete tc;
}

const char* ftdi_get_error_string(ftdi_context* ftdi)
{
    return ftdi->error_str ? ftdi->error_str : "";
}

} // extern "C"
