// ftd2xx.dll for the Windows build under Wine: FTDI's D2XX functions that the program loads,
// over the emulated FT232R of tests/devices (the same model, built for Windows) with the
// simulated converter answering the ramp of converter codes on its pins. One chip, serial
// number Q390EMU1, "FT232R USB UART". Like FTDI's driver it keeps an IN transfer of its own
// under way while answers are due, takes the packets' status bytes off and completes a read
// when all its bytes are in. The model runs when the program looks for a transfer's result.
//   Q390_FTDI_COM    the COM port number the chip has (1 when unset)
//   Q390_FTDI_FAIL   "pull:N" or "silent:N": pulled out, or no longer answering, at the N-th
//                    write after the chip is opened
//   Q390_FTDI_STATE  a file that holds the chip's state after each open, bit-mode change and close

#include "EmulatedUsbChip.h"
#include "core/converter/SimulatedConverter.h"
#include "support/Ramp.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <string>

#include <windows.h>

namespace {

using FT_HANDLE = void*;
using FT_STATUS = ULONG;
constexpr FT_STATUS FT_OK = 0, FT_INVALID_HANDLE = 1, FT_IO_ERROR = 4;
constexpr DWORD ByLocation = 4;
constexpr int DeviceType232R = 5;
constexpr uint8_t VendorOut = 0x40, VendorIn = 0xC0;
constexpr int DriverReadPackets = 64;

struct Chip {
    SimulatedConverter converter{Ramp{}};
    EmulatedUsbChip model{{}, {[this](bool a) { converter.setRts(a); }, [this](bool a) { converter.setDtr(a); },
                               [this] { return converter.readCts(); }}};
    unsigned timeoutMs = 1000;
    long unanswered = 0; // bytes written whose answers have not come in
    std::deque<unsigned char> answers;
    std::map<OVERLAPPED*, libusb_transfer*> writes;
    struct Read {
        OVERLAPPED* overlapped;
        unsigned char* buffer;
        DWORD size;
    };
    std::deque<Read> reads; // in the order asked for
    libusb_transfer* driverRead = nullptr;
    std::string driverBuffer = std::string(DriverReadPackets * 64, '\0');
    DWORD lastError = 0;
};

Chip& chip()
{
    static Chip chip;
    return chip;
}

FT_HANDLE handleOf(Chip& c) { return &c; }

int env(const char* name, int otherwise)
{
    const char* value = std::getenv(name);
    return value && *value ? std::atoi(value) : otherwise;
}

void writeState(Chip& c)
{
    const char* path = std::getenv("Q390_FTDI_STATE");
    if (!path || !*path)
        return;
    if (FILE* file = std::fopen(path, "w")) {
        const EmulatedUsbChip& m = c.model;
        std::fprintf(file, "open %d\nbitmode %d\nlatency %d\nbytes %ld\nmodelled_ns %.0f\nround_trips %ld\n", m.open,
                     m.bitmode, m.latencyTimerMs, m.bytes, m.modelledNanoseconds, m.roundTrips);
        std::fclose(file);
    }
}

void complete(OVERLAPPED* overlapped, DWORD moved, DWORD error)
{
    overlapped->Internal = error;
    overlapped->InternalHigh = moved;
    SetEvent(overlapped->hEvent);
}

libusb_transfer* newTransfer(unsigned char endpoint, unsigned char* buffer, int length)
{
    libusb_transfer* t = libusb_alloc_transfer(0);
    t->type = LIBUSB_TRANSFER_TYPE_BULK;
    t->endpoint = endpoint;
    t->buffer = buffer;
    t->length = length;
    return t;
}

// Reads whose bytes are all in are done; the driver's own read goes on while answers are due.
void serveReads(Chip& c)
{
    while (!c.reads.empty() && c.answers.size() >= c.reads.front().size) {
        const Chip::Read read = c.reads.front();
        c.reads.pop_front();
        std::copy_n(c.answers.begin(), read.size, read.buffer);
        c.answers.erase(c.answers.begin(), c.answers.begin() + read.size);
        complete(read.overlapped, read.size, ERROR_SUCCESS);
    }
    if (!c.driverRead && c.unanswered > 0 && !c.model.pulledOut()) {
        c.driverRead = newTransfer(0x81, reinterpret_cast<unsigned char*>(c.driverBuffer.data()), int(c.driverBuffer.size()));
        c.model.submit(c.driverRead);
    }
}

// Runs the bus and the chip until one of the program's transfers is done or nothing moves.
void run(Chip& c)
{
    serveReads(c);
    for (bool moved = true; moved;) {
        const std::size_t before = c.writes.size() + c.reads.size();
        c.model.serve();
        const std::vector<libusb_transfer*> done = c.model.takeDone();
        moved = !done.empty();
        for (libusb_transfer* t : done) {
            const DWORD error = t->status == LIBUSB_TRANSFER_COMPLETED ? ERROR_SUCCESS
                : t->status == LIBUSB_TRANSFER_CANCELLED                ? ERROR_OPERATION_ABORTED
                                                                        : ERROR_DEVICE_NOT_CONNECTED;
            if (t == c.driverRead) {
                for (int at = 0; at < t->actual_length; at += 64)
                    for (int n = at + 2; n < std::min(at + 64, t->actual_length); ++n, --c.unanswered)
                        c.answers.push_back(t->buffer[n]);
                c.driverRead = nullptr;
                if (error != ERROR_SUCCESS)
                    for (const Chip::Read& read : std::exchange(c.reads, {}))
                        complete(read.overlapped, 0, error);
            } else {
                for (auto at = c.writes.begin(); at != c.writes.end(); ++at)
                    if (at->second == t) {
                        complete(at->first, DWORD(t->actual_length), error);
                        c.writes.erase(at);
                        break;
                    }
            }
            libusb_free_transfer(t);
        }
        serveReads(c);
        if (c.writes.size() + c.reads.size() < before)
            break;
    }
}

FT_STATUS control(FT_HANDLE handle, uint8_t type, uint8_t request, uint16_t value, unsigned char* data = nullptr)
{
    if (handle != handleOf(chip()))
        return FT_INVALID_HANDLE;
    Chip& c = chip();
    return c.model.control(type, request, value, 0, data, data ? 1 : 0, c.timeoutMs) < 0 ? FT_IO_ERROR : FT_OK;
}

} // namespace

#define D2XX extern "C" __declspec(dllexport)

D2XX FT_STATUS WINAPI FT_CreateDeviceInfoList(DWORD* count)
{
    *count = chip().model.pulledOut() ? 0 : 1;
    return FT_OK;
}

D2XX FT_STATUS WINAPI FT_GetDeviceInfoDetail(DWORD index, DWORD* flags, DWORD* type, DWORD* id, DWORD* location,
                                             char* serial, char* description, FT_HANDLE* handle)
{
    const EmulatedUsbChip& m = chip().model;
    if (index != 0 || m.pulledOut())
        return FT_IO_ERROR;
    *flags = m.open ? 1 : 0;
    *type = DeviceType232R;
    *id = DWORD(m.identity.vendor) << 16 | DWORD(m.identity.product);
    *location = DWORD(m.identity.bus) << 4 | DWORD(m.identity.address);
    std::strcpy(serial, m.identity.serial.c_str());
    std::strcpy(description, "FT232R USB UART");
    *handle = m.open ? handleOf(chip()) : nullptr;
    return FT_OK;
}

D2XX FT_STATUS WINAPI FT_GetDeviceInfo(FT_HANDLE handle, DWORD* type, DWORD* id, char* serial, char* description, void*)
{
    DWORD flags = 0, location = 0;
    FT_HANDLE listed = nullptr;
    return handle == handleOf(chip()) ? FT_GetDeviceInfoDetail(0, &flags, type, id, &location, serial, description, &listed)
                                      : FT_INVALID_HANDLE;
}

D2XX FT_HANDLE WINAPI FT_W32_CreateFile(const char* name, DWORD, DWORD, SECURITY_ATTRIBUTES*, DWORD, DWORD flags, HANDLE)
{
    Chip& c = chip();
    const EmulatedUsbChip::Identity& id = c.model.identity;
    const bool named = (flags & ByLocation) ? DWORD(reinterpret_cast<std::uintptr_t>(name)) == DWORD(id.bus << 4 | id.address)
                                            : name == id.serial || name == std::string("FT232R USB UART");
    if (!named || c.model.open || c.model.pulledOut())
        return INVALID_HANDLE_VALUE;
    c.model.open = true;
    if (const char* fail = std::getenv("Q390_FTDI_FAIL"); fail && std::strchr(fail, ':'))
        c.model.failAtWrite(std::atol(std::strchr(fail, ':') + 1), std::strncmp(fail, "pull", 4) == 0
                                                                     ? EmulatedUsbChip::Failure::PulledOut
                                                                     : EmulatedUsbChip::Failure::StopsAnswering);
    writeState(c);
    return handleOf(c);
}

D2XX BOOL WINAPI FT_W32_CloseHandle(FT_HANDLE handle)
{
    if (handle != handleOf(chip()))
        return FALSE;
    chip().model.open = false;
    writeState(chip());
    return TRUE;
}

D2XX FT_STATUS WINAPI FT_GetComPortNumber(FT_HANDLE handle, LONG* number)
{
    *number = env("Q390_FTDI_COM", 1);
    return handle == handleOf(chip()) ? FT_OK : FT_INVALID_HANDLE;
}

D2XX BOOL WINAPI FT_W32_WriteFile(FT_HANDLE handle, void* buffer, DWORD size, DWORD*, OVERLAPPED* overlapped)
{
    Chip& c = chip();
    libusb_transfer* t = newTransfer(0x02, static_cast<unsigned char*>(buffer), int(size));
    if (handle != handleOf(c) || c.model.submit(t) != 0) {
        libusb_free_transfer(t);
        c.lastError = ERROR_DEVICE_NOT_CONNECTED;
        return FALSE;
    }
    if (c.model.bitmode)
        c.unanswered += long(size);
    c.writes[overlapped] = t;
    overlapped->Internal = STATUS_PENDING;
    c.lastError = ERROR_IO_PENDING;
    return FALSE;
}

D2XX BOOL WINAPI FT_W32_ReadFile(FT_HANDLE handle, void* buffer, DWORD size, DWORD*, OVERLAPPED* overlapped)
{
    Chip& c = chip();
    if (handle != handleOf(c) || c.model.pulledOut()) {
        c.lastError = ERROR_DEVICE_NOT_CONNECTED;
        return FALSE;
    }
    c.reads.push_back({overlapped, static_cast<unsigned char*>(buffer), size});
    overlapped->Internal = STATUS_PENDING;
    c.lastError = ERROR_IO_PENDING;
    return FALSE;
}

D2XX BOOL WINAPI FT_W32_GetOverlappedResult(FT_HANDLE, OVERLAPPED* overlapped, DWORD* moved, BOOL)
{
    Chip& c = chip();
    if (overlapped->Internal == STATUS_PENDING)
        run(c);
    *moved = DWORD(overlapped->InternalHigh);
    c.lastError = overlapped->Internal == STATUS_PENDING ? ERROR_IO_INCOMPLETE : DWORD(overlapped->Internal);
    return c.lastError == ERROR_SUCCESS;
}

D2XX DWORD WINAPI FT_W32_GetLastError(FT_HANDLE) { return chip().lastError; }

D2XX BOOL WINAPI FT_W32_CancelIo(FT_HANDLE)
{
    Chip& c = chip();
    for (auto& [overlapped, t] : std::exchange(c.writes, {})) {
        c.model.cancel(t);
        complete(overlapped, DWORD(t->actual_length), ERROR_OPERATION_ABORTED);
    }
    for (const Chip::Read& read : std::exchange(c.reads, {}))
        complete(read.overlapped, 0, ERROR_OPERATION_ABORTED);
    if (c.driverRead)
        c.model.cancel(c.driverRead);
    for (libusb_transfer* t : c.model.takeDone())
        libusb_free_transfer(t);
    c.driverRead = nullptr;
    c.unanswered = 0;
    c.answers.clear();
    return TRUE;
}

D2XX FT_STATUS WINAPI FT_SetBitMode(FT_HANDLE handle, UCHAR mask, UCHAR mode)
{
    const FT_STATUS status = control(handle, VendorOut, 0x0B, uint16_t(mode << 8 | mask));
    writeState(chip());
    return status;
}

// The FT232R's divisor of its 3 MHz clock, whole.
D2XX FT_STATUS WINAPI FT_SetBaudRate(FT_HANDLE handle, ULONG rate)
{
    return rate ? control(handle, VendorOut, 0x03, uint16_t(3'000'000 / rate)) : FT_IO_ERROR;
}

D2XX FT_STATUS WINAPI FT_GetLatencyTimer(FT_HANDLE handle, UCHAR* ms) { return control(handle, VendorIn, 0x0A, 0, ms); }
D2XX FT_STATUS WINAPI FT_SetLatencyTimer(FT_HANDLE handle, UCHAR ms) { return control(handle, VendorOut, 0x09, ms); }

D2XX FT_STATUS WINAPI FT_Purge(FT_HANDLE handle, ULONG mask)
{
    if (mask & 1) {
        chip().answers.clear();
        chip().unanswered = 0;
    }
    const FT_STATUS rx = (mask & 1) ? control(handle, VendorOut, 0x00, 2) : FT_OK;
    return rx != FT_OK ? rx : (mask & 2) ? control(handle, VendorOut, 0x00, 1) : FT_OK;
}

D2XX FT_STATUS WINAPI FT_SetTimeouts(FT_HANDLE handle, ULONG readMs, ULONG)
{
    chip().timeoutMs = unsigned(readMs);
    return handle == handleOf(chip()) ? FT_OK : FT_INVALID_HANDLE;
}
