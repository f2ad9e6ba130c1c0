// ftd2xx.dll for the Windows build under Wine: the D2XX functions the program loads, over the
// emulated FT232R of tests/devices with the ramp on its pins (serial number Q390EMU1). As FTDI's
// driver does, it keeps reads of its own under way while answers are due (two of 4 KiB), takes
// the packets' status bytes off and completes a read once all its bytes are in. The model runs when the
// program asks for a transfer's result.
//   Q390_FTDI_COM    the chip's COM port number (1 when unset)
//   Q390_FTDI_FAIL   "pull:N" or "silent:N": pulled out, or silent, at the N-th write after opening
//   Q390_FTDI_STATE  a file that holds the chip's state after each open, bit mode and close

#include "EmulatedUsbChip.h"
#include "core/converter/SimulatedConverter.h"
#include "support/Ramp.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <utility>

#include <windows.h>

namespace {

using FT_STATUS = ULONG;
constexpr FT_STATUS FT_OK = 0, FT_INVALID_HANDLE = 1, FT_IO_ERROR = 4;

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
    std::deque<libusb_transfer*> driverReads; // the driver's own, two of 64 packets at most
    std::string driverBuffers = std::string(2 * 64 * 64, '\0');
    int nextBuffer = 0;
    DWORD lastError = 0;

    void writeState() const
    {
        const char* path = std::getenv("Q390_FTDI_STATE");
        if (FILE* file = path ? std::fopen(path, "w") : nullptr) {
            std::fprintf(file, "open %d\nbitmode %d\nlatency %d\nbytes %ld\nmodelled_ns %.0f\n", model.open, model.bitmode,
                         model.latencyTimerMs, model.bytes, model.modelledNanoseconds);
            std::fclose(file);
        }
    }
};

Chip& chip()
{
    static Chip chip;
    return chip;
}

bool ours(void* handle) { return handle == &chip(); }

void complete(OVERLAPPED* overlapped, DWORD moved, DWORD error)
{
    overlapped->Internal = error;
    overlapped->InternalHigh = moved;
    SetEvent(overlapped->hEvent);
}

libusb_transfer* newTransfer(unsigned char endpoint, void* buffer, DWORD length)
{
    libusb_transfer* t = libusb_alloc_transfer(0);
    t->type = LIBUSB_TRANSFER_TYPE_BULK;
    t->endpoint = endpoint;
    t->buffer = static_cast<unsigned char*>(buffer);
    t->length = int(length);
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
    while (c.driverReads.size() < 2 && c.unanswered > long(c.driverReads.size()) * 64 * 62 && !c.model.pulledOut()) {
        c.driverReads.push_back(newTransfer(0x81, c.driverBuffers.data() + c.nextBuffer * 64 * 64, 64 * 64));
        c.nextBuffer ^= 1;
        c.model.submit(c.driverReads.back());
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
            const DWORD error = t->status == LIBUSB_TRANSFER_COMPLETED ? ERROR_SUCCESS : ERROR_DEVICE_NOT_CONNECTED;
            if (!c.driverReads.empty() && t == c.driverReads.front()) {
                for (int at = 0; at < t->actual_length; at += 64)
                    for (int n = at + 2; n < std::min(at + 64, t->actual_length); ++n, --c.unanswered)
                        c.answers.push_back(t->buffer[n]);
                c.driverReads.pop_front();
                for (const Chip::Read& read : error ? std::exchange(c.reads, {}) : std::deque<Chip::Read>{})
                    complete(read.overlapped, 0, error);
            }
            for (auto at = c.writes.begin(); at != c.writes.end(); ++at)
                if (at->second == t) {
                    complete(at->first, DWORD(t->actual_length), error);
                    c.writes.erase(at);
                    break;
                }
            libusb_free_transfer(t);
        }
        serveReads(c);
        if (c.writes.size() + c.reads.size() < before)
            break;
    }
}

// A vendor request; `in` reads one byte back.
FT_STATUS request(void* handle, uint8_t request, uint16_t value, unsigned char* in = nullptr)
{
    if (!ours(handle))
        return FT_INVALID_HANDLE;
    const int done = chip().model.control(in ? 0xC0 : 0x40, request, value, 0, in, in ? 1 : 0, chip().timeoutMs);
    return done < 0 ? FT_IO_ERROR : FT_OK;
}

} // namespace

#define D2XX extern "C" __declspec(dllexport)

D2XX FT_STATUS WINAPI FT_CreateDeviceInfoList(DWORD* count)
{
    *count = chip().model.pulledOut() ? 0 : 1;
    return FT_OK;
}

D2XX FT_STATUS WINAPI FT_GetDeviceInfoDetail(DWORD index, DWORD* flags, DWORD* type, DWORD* id, DWORD* location,
                                             char* serial, char* description, void** handle)
{
    const EmulatedUsbChip& m = chip().model;
    *flags = m.open;
    *type = 5; // FT232R
    *id = DWORD(m.identity.vendor << 16 | m.identity.product);
    *location = 0x15;
    std::strcpy(serial, m.identity.serial.c_str());
    std::strcpy(description, "FT232R USB UART");
    *handle = m.open ? &chip() : nullptr;
    return index != 0 || m.pulledOut() ? FT_IO_ERROR : FT_OK;
}

D2XX void* WINAPI FT_W32_CreateFile(const char* name, DWORD, DWORD, SECURITY_ATTRIBUTES*, DWORD, DWORD flags, HANDLE)
{
    Chip& c = chip();
    const bool named = (flags & 4) ? reinterpret_cast<std::uintptr_t>(name) == 0x15 : name == c.model.identity.serial;
    if (!named || c.model.open || c.model.pulledOut())
        return INVALID_HANDLE_VALUE;
    c.model.open = true;
    if (const char* fail = std::getenv("Q390_FTDI_FAIL"); fail && std::strchr(fail, ':'))
        c.model.failAtWrite(std::atol(std::strchr(fail, ':') + 1), std::strncmp(fail, "pull", 4) == 0
                                                                     ? EmulatedUsbChip::Failure::PulledOut
                                                                     : EmulatedUsbChip::Failure::StopsAnswering);
    c.writeState();
    return &c;
}

D2XX BOOL WINAPI FT_W32_CloseHandle(void* handle)
{
    chip().model.open = chip().model.open && !ours(handle);
    chip().writeState();
    return ours(handle);
}

D2XX FT_STATUS WINAPI FT_GetComPortNumber(void* handle, LONG* number)
{
    const char* port = std::getenv("Q390_FTDI_COM");
    *number = port && *port ? std::atol(port) : 1;
    return ours(handle) ? FT_OK : FT_INVALID_HANDLE;
}

D2XX BOOL WINAPI FT_W32_WriteFile(void* handle, void* buffer, DWORD size, DWORD*, OVERLAPPED* overlapped)
{
    Chip& c = chip();
    libusb_transfer* t = newTransfer(0x02, buffer, size);
    c.lastError = ERROR_IO_PENDING;
    if (!ours(handle) || c.model.submit(t) != 0) {
        libusb_free_transfer(t);
        c.lastError = ERROR_DEVICE_NOT_CONNECTED;
        return FALSE;
    }
    c.unanswered += c.model.bitmode ? long(size) : 0;
    c.writes[overlapped] = t;
    overlapped->Internal = STATUS_PENDING;
    return FALSE;
}

D2XX BOOL WINAPI FT_W32_ReadFile(void* handle, void* buffer, DWORD size, DWORD*, OVERLAPPED* overlapped)
{
    Chip& c = chip();
    c.lastError = ours(handle) && !c.model.pulledOut() ? ERROR_IO_PENDING : ERROR_DEVICE_NOT_CONNECTED;
    if (c.lastError == ERROR_IO_PENDING) {
        c.reads.push_back({overlapped, static_cast<unsigned char*>(buffer), size});
        overlapped->Internal = STATUS_PENDING;
    }
    return FALSE;
}

D2XX BOOL WINAPI FT_W32_GetOverlappedResult(void*, OVERLAPPED* overlapped, DWORD* moved, BOOL)
{
    Chip& c = chip();
    if (overlapped->Internal == STATUS_PENDING)
        run(c);
    *moved = DWORD(overlapped->InternalHigh);
    c.lastError = overlapped->Internal == STATUS_PENDING ? ERROR_IO_INCOMPLETE : DWORD(overlapped->Internal);
    return c.lastError == ERROR_SUCCESS;
}

D2XX DWORD WINAPI FT_W32_GetLastError(void*) { return chip().lastError; }

D2XX BOOL WINAPI FT_W32_CancelIo(void*)
{
    Chip& c = chip();
    for (auto& [overlapped, t] : std::exchange(c.writes, {})) {
        c.model.cancel(t);
        complete(overlapped, DWORD(t->actual_length), ERROR_OPERATION_ABORTED);
    }
    for (const Chip::Read& read : std::exchange(c.reads, {}))
        complete(read.overlapped, 0, ERROR_OPERATION_ABORTED);
    for (libusb_transfer* t : std::exchange(c.driverReads, {}))
        c.model.cancel(t);
    for (libusb_transfer* t : c.model.takeDone())
        libusb_free_transfer(t);
    c.unanswered = 0;
    c.answers.clear();
    return TRUE;
}

D2XX FT_STATUS WINAPI FT_SetBitMode(void* handle, UCHAR mask, UCHAR mode)
{
    const FT_STATUS status = request(handle, 0x0B, uint16_t(mode << 8 | mask));
    chip().writeState();
    return status;
}

// The FT232R's divisor of its 3 MHz clock, whole.
D2XX FT_STATUS WINAPI FT_SetBaudRate(void* handle, ULONG rate) { return request(handle, 0x03, uint16_t(3'000'000 / rate)); }
D2XX FT_STATUS WINAPI FT_GetLatencyTimer(void* handle, UCHAR* ms) { return request(handle, 0x0A, 0, ms); }
D2XX FT_STATUS WINAPI FT_SetLatencyTimer(void* handle, UCHAR ms) { return request(handle, 0x09, ms); }

// Only the start of a run purges, when nothing is on its way.
D2XX FT_STATUS WINAPI FT_Purge(void* handle, ULONG mask)
{
    return (mask & 1) && request(handle, 0x00, 2) ? FT_IO_ERROR : (mask & 2) ? request(handle, 0x00, 1) : FT_OK;
}

D2XX FT_STATUS WINAPI FT_SetTimeouts(void* handle, ULONG readMs, ULONG)
{
    chip().timeoutMs = unsigned(readMs);
    return ours(handle) ? FT_OK : FT_INVALID_HANDLE;
}
