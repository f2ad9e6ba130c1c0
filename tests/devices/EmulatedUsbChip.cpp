#include "EmulatedUsbChip.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <utility>

struct libusb_context {};
struct libusb_device {
    EmulatedUsbChip* chip;
};
struct libusb_device_handle {
    EmulatedUsbChip* chip;
    bool autoDetach = false;
    bool claimed = false;
    bool detachedOnClaim = false; // the kernel's driver comes back when the interface is released
};

namespace {

constexpr unsigned char RtsPin = 0x04, CtsPin = 0x08, DtrPin = 0x10;
constexpr unsigned char Uart = 0x00, SyncBitBang = 0x04;
constexpr unsigned char InEndpoint = 0x81, OutEndpoint = 0x02;
constexpr int PacketSize = 64;
constexpr std::size_t PacketData = PacketSize - 2;
constexpr std::size_t ReceiveSize = 128, FifoSize = 256;
constexpr double FrameNs = 1e6;
constexpr int SlotsPerFrame = EmulatedUsbChip::PacketsPerFrame;
constexpr double SlotNs = FrameNs / SlotsPerFrame;
// Modem status (the low nibble reads 1, no modem line asserted) and line status (transmitter
// empty), at the start of every IN packet.
constexpr unsigned char ModemStatus = 0x01, LineStatus = 0x60;
constexpr uint8_t VendorOut = 0x40; // vendor request to the device, host to device
constexpr uint8_t VendorIn = VendorOut | LIBUSB_ENDPOINT_IN;
enum Request : uint8_t {
    Reset = 0x00, // wValue 0: reset; 1: purge what the host sent; 2: purge what waits for the host
    ModemControl = 0x01,
    FlowControl = 0x02,
    BaudRate = 0x03,
    DataCharacteristics = 0x04,
    SetLatencyTimer = 0x09,
    GetLatencyTimer = 0x0A,
    SetBitMode = 0x0B, // wValue: mode << 8 | output mask
};

EmulatedUsbChip* plugged = nullptr;

// The chip behind a handle, while it is the one plugged in.
EmulatedUsbChip* chipOf(libusb_device_handle* handle)
{
    return handle && handle->chip == plugged ? plugged : nullptr;
}

struct Configuration {
    libusb_config_descriptor config{};
    libusb_interface interface{};
    libusb_interface_descriptor setting{};
    libusb_endpoint_descriptor endpoints[2]{};
};

int errorOf(libusb_transfer_status status)
{
    switch (status) {
    case LIBUSB_TRANSFER_COMPLETED: return 0;
    case LIBUSB_TRANSFER_CANCELLED: return LIBUSB_ERROR_TIMEOUT;
    case LIBUSB_TRANSFER_NO_DEVICE: return LIBUSB_ERROR_NO_DEVICE;
    case LIBUSB_TRANSFER_OVERFLOW: return LIBUSB_ERROR_OVERFLOW;
    default: return LIBUSB_ERROR_IO;
    }
}

} // namespace

EmulatedUsbChip::EmulatedUsbChip(Identity id, Lines lines)
    : identity(std::move(id)), lines_(std::move(lines)), device_(new libusb_device{this})
{
    plugged = this;
}

EmulatedUsbChip::~EmulatedUsbChip()
{
    plugged = nullptr;
    delete device_;
}

void EmulatedUsbChip::failAtWrite(long n, Failure how)
{
    writesToFailure_ = std::max(n, 1L);
    failure_ = how;
}

void EmulatedUsbChip::setKernelDriver(bool attached)
{
    kernelDriverAttached = attached;
    if (onKernelDriver)
        onKernelDriver(attached);
}

unsigned char EmulatedUsbChip::pins() const
{
    // Inputs other than CTS# float high.
    const unsigned char inputs = static_cast<unsigned char>(lines_.readCts() ? ~CtsPin : 0xFF);
    return static_cast<unsigned char>((latch_ & outputMask) | (inputs & ~outputMask));
}

void EmulatedUsbChip::apply(unsigned char byte)
{
    latch_ = byte;
    const unsigned char level = pins();
    lines_.setRts(!(level & RtsPin));
    lines_.setDtr(!(level & DtrPin));
}

void EmulatedUsbChip::clock(unsigned char byte)
{
    fifo_.push_back(pins());
    apply(byte);
    if (recording)
        written.push_back(byte);
    ++bytes;
}

void EmulatedUsbChip::clockUntil(double until)
{
    while (!received_.empty() && fifo_.size() < FifoSize && clockFreeAt_ + byteNanoseconds <= until) {
        clock(received_.front());
        received_.pop_front();
        clockFreeAt_ += byteNanoseconds;
    }
    if (received_.empty() || fifo_.size() >= FifoSize)
        clockFreeAt_ = std::max(clockFreeAt_, until);
}

void EmulatedUsbChip::setBaudDivisor(unsigned encoded)
{
    // The divisor of the 3 MHz clock: whole in bits 0-13, eighths in bits 14-16 coded as
    // 0, 1/2, 1/4, 1/8, 3/8, 5/8, 3/4, 7/8; 0 and 1 stand for 1 and 1.5.
    static constexpr int eighths[8] = {0, 4, 2, 1, 3, 5, 6, 7};
    double divisor = (encoded & 0x3FFF) + eighths[(encoded >> 14) & 7] / 8.0;
    if (encoded <= 1)
        divisor = encoded == 0 ? 1.0 : 1.5;
    byteNanoseconds = 1e9 / (16.0 * 3e6 / divisor);
}

int EmulatedUsbChip::submit(libusb_transfer* transfer)
{
    if (pulledOut_)
        return LIBUSB_ERROR_NO_DEVICE;
    if (transfer->type != LIBUSB_TRANSFER_TYPE_BULK
        || (transfer->endpoint != InEndpoint && transfer->endpoint != OutEndpoint))
        return LIBUSB_ERROR_NOT_SUPPORTED;
    transfer->actual_length = 0;
    const bool writing = transfer->endpoint == OutEndpoint;
    if (writing && writesToFailure_ > 0 && --writesToFailure_ == 0) {
        if (failure_ == Failure::PulledOut) {
            pulledOut_ = true;
            open = kernelDriverAttached = false;
            return LIBUSB_ERROR_NO_DEVICE;
        }
        answering_ = false;
    }
    if (writes_.empty() && reads_.empty())
        ++roundTrips;
    reads += !writing;
    const double nextFrame = (std::floor(modelledNanoseconds / FrameNs) + 1) * FrameNs;
    (writing ? writes_ : reads_).push_back({transfer, nextFrame});
    return 0;
}

int EmulatedUsbChip::cancel(libusb_transfer* transfer)
{
    for (auto* queue : {&writes_, &reads_}) {
        const auto at = std::find_if(queue->begin(), queue->end(), [&](const Queued& q) { return q.transfer == transfer; });
        if (at != queue->end()) {
            queue->erase(at);
            finish(transfer, LIBUSB_TRANSFER_CANCELLED);
            return 0;
        }
    }
    return LIBUSB_ERROR_NOT_FOUND;
}

void EmulatedUsbChip::finish(libusb_transfer* transfer, libusb_transfer_status status)
{
    transfer->status = status;
    done_.push_back(transfer);
}

std::vector<libusb_transfer*> EmulatedUsbChip::takeDone()
{
    return std::exchange(done_, {});
}

void EmulatedUsbChip::sendPacket(std::size_t size)
{
    libusb_transfer* read = reads_.front().transfer;
    lastInPacketAt_ = modelledNanoseconds;
    if (read->length - read->actual_length < int(2 + size)) {
        reads_.pop_front();
        finish(read, LIBUSB_TRANSFER_OVERFLOW);
        return;
    }
    unsigned char* at = read->buffer + read->actual_length;
    at[0] = ModemStatus;
    at[1] = LineStatus;
    std::copy_n(fifo_.begin(), size, at + 2);
    fifo_.erase(fifo_.begin(), fifo_.begin() + std::ptrdiff_t(size));
    read->actual_length += int(2 + size);
    ++packets;
    if (2 + size < PacketSize || read->actual_length == read->length) {
        reads_.pop_front();
        bytesAnswered += read->actual_length - 2 * ((read->actual_length + PacketSize - 1) / PacketSize); // all full but the last
        finish(read, LIBUSB_TRANSFER_COMPLETED);
    }
}

void EmulatedUsbChip::takeOutPacket()
{
    libusb_transfer* transfer = writes_.front().transfer;
    const int size = std::min(PacketSize, transfer->length - transfer->actual_length);
    // In other modes the bytes go out on TXD and nothing comes back.
    if (bitmode == SyncBitBang) {
        if (received_.size() + std::size_t(size) > ReceiveSize)
            return;
        received_.insert(received_.end(), transfer->buffer + transfer->actual_length,
                         transfer->buffer + transfer->actual_length + size);
    }
    transfer->actual_length += size;
    ++outPackets;
    if (transfer->actual_length == transfer->length) {
        writes_.pop_front();
        finish(transfer, LIBUSB_TRANSFER_COMPLETED);
    }
}

void EmulatedUsbChip::transact()
{
    const bool out = !writes_.empty() && writes_.front().from <= modelledNanoseconds,
               in = !reads_.empty() && reads_.front().from <= modelledNanoseconds;
    if (!out && !in)
        return;
    inTurn_ = in && (inTurn_ || !out);
    if (!inTurn_)
        takeOutPacket();
    else if (fifo_.size() >= PacketData)
        sendPacket(PacketData);
    else if (modelledNanoseconds - lastInPacketAt_ >= latencyTimerMs * 1e6) {
        sendPacket(fifo_.size());
        ++latencyWaits;
    }
    inTurn_ = !inTurn_;
}

void EmulatedUsbChip::serve()
{
    if (pulledOut_) {
        for (auto* queue : {&writes_, &reads_}) {
            for (const Queued& queued : *queue)
                finish(queued.transfer, LIBUSB_TRANSFER_NO_DEVICE);
            queue->clear();
        }
        return;
    }
    if (!answering_)
        return;
    const std::size_t before = done_.size(), wanted = completeOutOfStep ? 3 : 1;
    while (done_.size() - before < wanted && (!writes_.empty() || !reads_.empty())) {
        // With no read to empty the transmit buffer, the clock and then the writes stop for good.
        const libusb_transfer* write = writes_.empty() ? nullptr : writes_.front().transfer;
        if (reads_.empty() && fifo_.size() >= FifoSize && bitmode == SyncBitBang
            && received_.size() + std::size_t(std::min(PacketSize, write->length - write->actual_length)) > ReceiveSize)
            break;
        modelledNanoseconds = ++slot_ * SlotNs;
        clockUntil(modelledNanoseconds);
        transact();
    }
    if (completeOutOfStep)
        std::reverse(done_.begin() + std::ptrdiff_t(before), done_.end());
}

int EmulatedUsbChip::control(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index,
                             unsigned char* data, uint16_t length, unsigned timeoutMs)
{
    if (pulledOut_)
        return LIBUSB_ERROR_NO_DEVICE;
    if (!answering_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
        return LIBUSB_ERROR_TIMEOUT;
    }
    if (requestType == VendorIn && request == GetLatencyTimer && length >= 1) {
        data[0] = static_cast<unsigned char>(latencyTimerMs);
        return 1;
    }
    if (requestType != VendorOut)
        return LIBUSB_ERROR_PIPE;
    switch (request) {
    case Reset:
        if (value != 2)
            received_.clear();
        if (value != 1)
            fifo_.clear();
        return 0;
    case ModemControl:
        // RTS# and DTR# follow the modem control register in UART mode: bits 0 and 1, written
        // where bits 8 and 9 say so.
        if (bitmode == Uart && (value & 0x0100))
            lines_.setDtr(value & 0x01);
        if (bitmode == Uart && (value & 0x0200))
            lines_.setRts(value & 0x02);
        return 0;
    case FlowControl:
    case DataCharacteristics: return 0;
    case BaudRate: setBaudDivisor(value | unsigned(index & 1) << 16); return 0;
    case SetLatencyTimer: latencyTimerMs = value & 0xFF; return 0;
    case SetBitMode:
        bitmode = static_cast<unsigned char>(value >> 8);
        outputMask = bitmode == Uart ? 0 : static_cast<unsigned char>(value);
        return 0;
    default: return LIBUSB_ERROR_PIPE;
    }
}

extern "C" {

int libusb_init(libusb_context** context)
{
    if (context)
        *context = new libusb_context;
    return 0;
}

void libusb_exit(libusb_context* context)
{
    delete context;
}

ssize_t libusb_get_device_list(libusb_context*, libusb_device*** list)
{
    const bool present = plugged && !plugged->pulledOut();
    *list = new libusb_device*[2]{present ? plugged->device() : nullptr, nullptr};
    return present ? 1 : 0;
}

void libusb_free_device_list(libusb_device** list, int)
{
    delete[] list;
}

// The device lives as long as the chip.
libusb_device* libusb_ref_device(libusb_device* device)
{
    return device;
}

void libusb_unref_device(libusb_device*) {}

uint8_t libusb_get_bus_number(libusb_device* device)
{
    return uint8_t(device->chip->identity.bus);
}

uint8_t libusb_get_device_address(libusb_device* device)
{
    return uint8_t(device->chip->identity.address);
}

int libusb_get_device_descriptor(libusb_device* device, libusb_device_descriptor* descriptor)
{
    const EmulatedUsbChip::Identity& id = device->chip->identity;
    *descriptor = {};
    descriptor->bLength = LIBUSB_DT_DEVICE_SIZE;
    descriptor->bDescriptorType = LIBUSB_DT_DEVICE;
    descriptor->bcdUSB = 0x0200;
    descriptor->bMaxPacketSize0 = 8;
    descriptor->idVendor = uint16_t(id.vendor);
    descriptor->idProduct = uint16_t(id.product);
    descriptor->bcdDevice = uint16_t(id.bcdDevice);
    descriptor->iManufacturer = 1;
    descriptor->iProduct = 2;
    descriptor->iSerialNumber = id.serial.empty() ? 0 : 3;
    descriptor->bNumConfigurations = 1;
    return 0;
}

int libusb_get_config_descriptor(libusb_device*, uint8_t index, libusb_config_descriptor** config)
{
    if (index != 0)
        return LIBUSB_ERROR_NOT_FOUND;
    auto* c = new Configuration;
    for (const unsigned char address : {InEndpoint, OutEndpoint}) {
        libusb_endpoint_descriptor& endpoint = c->endpoints[address == InEndpoint ? 0 : 1];
        endpoint.bLength = LIBUSB_DT_ENDPOINT_SIZE;
        endpoint.bDescriptorType = LIBUSB_DT_ENDPOINT;
        endpoint.bEndpointAddress = address;
        endpoint.bmAttributes = LIBUSB_TRANSFER_TYPE_BULK;
        endpoint.wMaxPacketSize = PacketSize;
    }
    c->setting.bLength = LIBUSB_DT_INTERFACE_SIZE;
    c->setting.bDescriptorType = LIBUSB_DT_INTERFACE;
    c->setting.bNumEndpoints = 2;
    c->setting.bInterfaceClass = LIBUSB_CLASS_VENDOR_SPEC;
    c->setting.bInterfaceSubClass = 0xFF;
    c->setting.bInterfaceProtocol = 0xFF;
    c->setting.iInterface = 2;
    c->setting.endpoint = c->endpoints;
    c->interface.altsetting = &c->setting;
    c->interface.num_altsetting = 1;
    c->config.bLength = LIBUSB_DT_CONFIG_SIZE;
    c->config.bDescriptorType = LIBUSB_DT_CONFIG;
    c->config.wTotalLength = LIBUSB_DT_CONFIG_SIZE + LIBUSB_DT_INTERFACE_SIZE + 2 * LIBUSB_DT_ENDPOINT_SIZE;
    c->config.bNumInterfaces = 1;
    c->config.bConfigurationValue = 1;
    c->config.bmAttributes = 0xA0; // bus-powered, remote wake-up
    c->config.MaxPower = 45;       // 90 mA
    c->config.interface = &c->interface;
    *config = &c->config;
    return 0;
}

void libusb_free_config_descriptor(libusb_config_descriptor* config)
{
    delete reinterpret_cast<Configuration*>(config);
}

int libusb_open(libusb_device* device, libusb_device_handle** handle)
{
    if (device->chip != plugged || plugged->pulledOut())
        return LIBUSB_ERROR_NO_DEVICE;
    if (plugged->accessDenied)
        return LIBUSB_ERROR_ACCESS;
    *handle = new libusb_device_handle{plugged};
    return 0;
}

void libusb_close(libusb_device_handle* handle)
{
    // The interface is given up; a driver detached stays so.
    if (EmulatedUsbChip* chip = chipOf(handle); chip && handle->claimed)
        chip->open = false;
    delete handle;
}

int libusb_get_configuration(libusb_device_handle* handle, int* config)
{
    EmulatedUsbChip* chip = chipOf(handle);
    if (!chip || chip->pulledOut())
        return LIBUSB_ERROR_NO_DEVICE;
    *config = 1;
    return 0;
}

int libusb_set_configuration(libusb_device_handle* handle, int config)
{
    EmulatedUsbChip* chip = chipOf(handle);
    if (!chip || chip->pulledOut())
        return LIBUSB_ERROR_NO_DEVICE;
    return config == 1 ? 0 : LIBUSB_ERROR_NOT_FOUND;
}

int libusb_claim_interface(libusb_device_handle* handle, int interface)
{
    EmulatedUsbChip* chip = chipOf(handle);
    if (!chip || chip->pulledOut())
        return LIBUSB_ERROR_NO_DEVICE;
    if (interface != 0)
        return LIBUSB_ERROR_NOT_FOUND;
    if (handle->claimed)
        return 0;
    if (chip->open)
        return LIBUSB_ERROR_BUSY;
    if (chip->kernelDriverAttached) {
        if (!handle->autoDetach)
            return LIBUSB_ERROR_BUSY;
        chip->setKernelDriver(false);
        handle->detachedOnClaim = true;
    }
    handle->claimed = chip->open = true;
    return 0;
}

int libusb_release_interface(libusb_device_handle* handle, int interface)
{
    EmulatedUsbChip* chip = chipOf(handle);
    if (!chip)
        return LIBUSB_ERROR_NO_DEVICE;
    if (interface != 0 || !handle->claimed)
        return LIBUSB_ERROR_NOT_FOUND;
    handle->claimed = chip->open = false;
    if (chip->pulledOut())
        return LIBUSB_ERROR_NO_DEVICE;
    if (std::exchange(handle->detachedOnClaim, false))
        chip->setKernelDriver(true);
    return 0;
}

int libusb_detach_kernel_driver(libusb_device_handle* handle, int interface)
{
    EmulatedUsbChip* chip = chipOf(handle);
    if (!chip || chip->pulledOut())
        return LIBUSB_ERROR_NO_DEVICE;
    if (interface != 0 || !chip->kernelDriverAttached)
        return LIBUSB_ERROR_NOT_FOUND;
    chip->setKernelDriver(false);
    return 0;
}

int libusb_set_auto_detach_kernel_driver(libusb_device_handle* handle, int enable)
{
    handle->autoDetach = enable != 0;
    return 0;
}

int libusb_get_string_descriptor_ascii(libusb_device_handle* handle, uint8_t index, unsigned char* data, int length)
{
    EmulatedUsbChip* chip = chipOf(handle);
    if (!chip || chip->pulledOut())
        return LIBUSB_ERROR_NO_DEVICE;
    const std::string strings[] = {"FTDI", "FT232R USB UART", chip->identity.serial};
    if (index < 1 || index > 3 || strings[index - 1].empty() || length < 1)
        return LIBUSB_ERROR_PIPE;
    const std::string& text = strings[index - 1];
    const int size = std::min(int(text.size()), length - 1);
    std::memcpy(data, text.data(), std::size_t(size));
    data[size] = 0;
    return size;
}

int libusb_control_transfer(libusb_device_handle* handle, uint8_t requestType, uint8_t request, uint16_t value,
                            uint16_t index, unsigned char* data, uint16_t length, unsigned int timeout)
{
    EmulatedUsbChip* chip = chipOf(handle);
    return chip ? chip->control(requestType, request, value, index, data, length, timeout) : LIBUSB_ERROR_NO_DEVICE;
}

libusb_transfer* libusb_alloc_transfer(int isoPackets)
{
    const std::size_t size = sizeof(libusb_transfer) + std::size_t(isoPackets) * sizeof(libusb_iso_packet_descriptor);
    return static_cast<libusb_transfer*>(std::calloc(1, size));
}

void libusb_free_transfer(libusb_transfer* transfer)
{
    if (transfer && (transfer->flags & LIBUSB_TRANSFER_FREE_BUFFER))
        std::free(transfer->buffer);
    std::free(transfer);
}

int libusb_submit_transfer(libusb_transfer* transfer)
{
    EmulatedUsbChip* chip = chipOf(transfer->dev_handle);
    return chip ? chip->submit(transfer) : LIBUSB_ERROR_NO_DEVICE;
}

int libusb_cancel_transfer(libusb_transfer* transfer)
{
    EmulatedUsbChip* chip = chipOf(transfer->dev_handle);
    return chip ? chip->cancel(transfer) : LIBUSB_ERROR_NOT_FOUND;
}

int libusb_handle_events_timeout_completed(libusb_context*, timeval* tv, int* completed)
{
    if (!plugged || (completed && *completed))
        return 0;
    plugged->serve();
    const std::vector<libusb_transfer*> done = plugged->takeDone();
    // A chip that stopped answering sends nothing until the time-out.
    if (done.empty() && !plugged->answering() && tv)
        std::this_thread::sleep_for(std::chrono::seconds(tv->tv_sec) + std::chrono::microseconds(tv->tv_usec));
    for (libusb_transfer* transfer : done) {
        const bool free = transfer->flags & LIBUSB_TRANSFER_FREE_TRANSFER;
        transfer->callback(transfer);
        if (free)
            libusb_free_transfer(transfer);
    }
    return 0;
}

int libusb_handle_events_timeout(libusb_context* context, timeval* tv)
{
    return libusb_handle_events_timeout_completed(context, tv, nullptr);
}

int libusb_bulk_transfer(libusb_device_handle* handle, unsigned char endpoint, unsigned char* data, int length,
                         int* transferred, unsigned int timeout)
{
    libusb_transfer* transfer = libusb_alloc_transfer(0);
    int completed = 0;
    libusb_fill_bulk_transfer(
        transfer, handle, endpoint, data, length,
        [](libusb_transfer* t) { *static_cast<int*>(t->user_data) = 1; }, &completed, timeout);
    int result = libusb_submit_transfer(transfer);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout);
    while (result == 0 && !completed) {
        if (timeout && std::chrono::steady_clock::now() >= deadline)
            libusb_cancel_transfer(transfer);
        timeval tv{0, 1000};
        libusb_handle_events_timeout_completed(nullptr, &tv, &completed);
    }
    if (result == 0)
        result = errorOf(transfer->status);
    if (transferred)
        *transferred = transfer->actual_length;
    libusb_free_transfer(transfer);
    return result;
}

} // extern "C"
