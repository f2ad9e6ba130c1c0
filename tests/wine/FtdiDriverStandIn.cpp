// ftd2xx.dll for the Windows build under Wine: the D2XX functions the program loads, over the
// emulated FT232R of tests/devices with the ramp on its pins (serial number Q390EMU1). As FTDI's
// driver does, it keeps reads of its own under way while answers are due (two of 4 KiB), takes
// the packets' status bytes off and completes a read once all its bytes are in. The model runs
// when the program asks for a transfer's result.
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

constexpr ULONG FT_OK = 0, FT_IO_ERROR = 4;

struct Chip {
    SimulatedConverter converter{Ramp{}};
    EmulatedUsbChip model{{}, {[this](bool a) { converter.setRts(a); }, [this](bool a) { converter.setDtr(a); },
                               [this] { return converter.readCts(); }}};
    unsigned timeoutMs = 1000;
    long unanswered = 0; // bytes written whose answers have not come in
    std::deque<unsigned char> answers;
    std::map<OVERLAPPED*, libusb_transfer*> writes;
    struct Read { OVERLAPPED* overlapped; unsigned char* buffer; DWORD size; };
    std::deque<Read> reads; // in the order asked for
    std::deque<libusb_transfer*> driverReads; // the driver's own, two of 64 packets at most
    std::string driverBuffers = std::string(2 * 64 * 64, '\0');
    int nextBuffer = 0;
    DWORD lastError = 0;

    void writeState() const
    {
        const char* path = std::getenv("Q390_FTDI_STATE");
        // Binary: the lines are read on the Linux side, which takes no CR.
        if (FILE* file = path ? std::fopen(path, "wb") : nullptr) {
            std::fprintf(file, "open %d\nbitmode %d\nlatency %d\nbytes %ld\nmodelled_ns %.0f\n", model.open, model.bitmode,
                         model.latencyTimerMs, model.bytes, model.modelledNanoseconds);
            std::fclose(file);
        }
    }
} chip;

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

// Reads whose bytes are all in are done; the driver's own reads go on while answers are due.
void serveReads()
{
    while (!chip.reads.empty() && chip.answers.size() >= chip.reads.front().size) {
        const Chip::Read read = chip.reads.front();
        chip.reads.pop_front();
        std::copy_n(chip.answers.begin(), read.size, read.buffer);
        chip.answers.erase(chip.answers.begin(), chip.answers.begin() + read.size);
        complete(read.overlapped, read.size, ERROR_SUCCESS);
    }
    while (chip.driverReads.size() < 2 && chip.unanswered > long(chip.driverReads.size()) * 64 * 62 && !chip.model.pulledOut()) {
        chip.driverReads.push_back(newTransfer(0x81, chip.driverBuffers.data() + chip.nextBuffer * 64 * 64, 64 * 64));
        chip.nextBuffer ^= 1;
        chip.model.submit(chip.driverReads.back());
    }
}

// Runs the bus and the chip until one of the program's transfers is done or nothing moves.
void run()
{
    serveReads();
    for (bool moved = true; moved;) {
        const std::size_t before = chip.writes.size() + chip.reads.size();
        chip.model.serve();
        const std::vector<libusb_transfer*> done = chip.model.takeDone();
        moved = !done.empty();
        for (libusb_transfer* t : done) {
            const DWORD error = t->status == LIBUSB_TRANSFER_COMPLETED ? ERROR_SUCCESS : ERROR_DEVICE_NOT_CONNECTED;
            if (!chip.driverReads.empty() && t == chip.driverReads.front()) {
                for (int at = 0; at < t->actual_length; at += 64)
                    for (int n = at + 2; n < std::min(at + 64, t->actual_length); ++n, --chip.unanswered)
                        chip.answers.push_back(t->buffer[n]);
                chip.driverReads.pop_front();
                for (const Chip::Read& read : error ? std::exchange(chip.reads, {}) : std::deque<Chip::Read>{})
                    complete(read.overlapped, 0, error);
            }
            if (const auto write = std::find_if(chip.writes.begin(), chip.writes.end(), [t](auto& w) { return w.second == t; });
                write != chip.writes.end()) {
                complete(write->first, DWORD(t->actual_length), error);
                chip.writes.erase(write);
            }
            libusb_free_transfer(t);
        }
        serveReads();
        if (chip.writes.size() + chip.reads.size() < before)
            break;
    }
}

// A vendor request; `in` reads one byte back.
ULONG request(uint8_t request, uint16_t value, unsigned char* in = nullptr)
{
    return chip.model.control(in ? 0xC0 : 0x40, request, value, 0, in, in ? 1 : 0, chip.timeoutMs) < 0 ? FT_IO_ERROR : FT_OK;
}

} // namespace

// There is one chip, so a handle is always its own.
#define D2XX extern "C" __declspec(dllexport)

D2XX ULONG WINAPI FT_CreateDeviceInfoList(DWORD* count)
{
    *count = chip.model.pulledOut() ? 0 : 1;
    return FT_OK;
}

D2XX ULONG WINAPI FT_GetDeviceInfoDetail(DWORD index, DWORD* flags, DWORD* type, DWORD* id, DWORD* location, char* serial,
                                         char* description, void** handle)
{
    const EmulatedUsbChip& m = chip.model;
    *flags = m.open;
    *type = 5; // FT232R
    *id = DWORD(m.identity.vendor << 16 | m.identity.product);
    *location = 0x15;
    std::strcpy(serial, m.identity.serial.c_str());
    std::strcpy(description, "FT232R USB UART");
    *handle = m.open ? &chip : nullptr;
    return index != 0 || m.pulledOut() ? FT_IO_ERROR : FT_OK;
}

D2XX void* WINAPI FT_W32_CreateFile(const char* name, DWORD, DWORD, SECURITY_ATTRIBUTES*, DWORD, DWORD flags, HANDLE)
{
    const bool named = (flags & 4) ? reinterpret_cast<std::uintptr_t>(name) == 0x15 : name == chip.model.identity.serial;
    if (!named || chip.model.open || chip.model.pulledOut())
        return INVALID_HANDLE_VALUE;
    chip.model.open = true;
    if (const char* fail = std::getenv("Q390_FTDI_FAIL"); fail && std::strchr(fail, ':'))
        chip.model.failAtWrite(std::atol(std::strchr(fail, ':') + 1), std::strncmp(fail, "pull", 4) == 0
                                                                        ? EmulatedUsbChip::Failure::PulledOut
                                                                        : EmulatedUsbChip::Failure::StopsAnswering);
    chip.writeState();
    return &chip;
}

D2XX BOOL WINAPI FT_W32_CloseHandle(void*)
{
    chip.model.open = false;
    chip.writeState();
    return TRUE;
}

D2XX ULONG WINAPI FT_GetComPortNumber(void*, LONG* number)
{
    const char* port = std::getenv("Q390_FTDI_COM");
    *number = port && *port ? std::atol(port) : 1;
    return FT_OK;
}

D2XX BOOL WINAPI FT_W32_WriteFile(void*, void* buffer, DWORD size, DWORD*, OVERLAPPED* overlapped)
{
    libusb_transfer* t = newTransfer(0x02, buffer, size);
    chip.lastError = chip.model.submit(t) == 0 ? ERROR_IO_PENDING : ERROR_DEVICE_NOT_CONNECTED;
    if (chip.lastError != ERROR_IO_PENDING) {
        libusb_free_transfer(t);
        return FALSE;
    }
    chip.unanswered += chip.model.bitmode ? long(size) : 0;
    chip.writes[overlapped] = t;
    overlapped->Internal = STATUS_PENDING;
    return FALSE;
}

D2XX BOOL WINAPI FT_W32_ReadFile(void*, void* buffer, DWORD size, DWORD*, OVERLAPPED* overlapped)
{
    chip.lastError = chip.model.pulledOut() ? ERROR_DEVICE_NOT_CONNECTED : ERROR_IO_PENDING;
    if (chip.lastError == ERROR_IO_PENDING) {
        chip.reads.push_back({overlapped, static_cast<unsigned char*>(buffer), size});
        overlapped->Internal = STATUS_PENDING;
    }
    return FALSE;
}

D2XX BOOL WINAPI FT_W32_GetOverlappedResult(void*, OVERLAPPED* overlapped, DWORD* moved, BOOL)
{
    if (overlapped->Internal == STATUS_PENDING)
        run();
    *moved = DWORD(overlapped->InternalHigh);
    chip.lastError = overlapped->Internal == STATUS_PENDING ? ERROR_IO_INCOMPLETE : DWORD(overlapped->Internal);
    return chip.lastError == ERROR_SUCCESS;
}

D2XX DWORD WINAPI FT_W32_GetLastError(void*) { return chip.lastError; }

D2XX BOOL WINAPI FT_W32_CancelIo(void*)
{
    for (auto& [overlapped, t] : std::exchange(chip.writes, {})) {
        chip.model.cancel(t);
        complete(overlapped, DWORD(t->actual_length), ERROR_OPERATION_ABORTED);
    }
    for (const Chip::Read& read : std::exchange(chip.reads, {}))
        complete(read.overlapped, 0, ERROR_OPERATION_ABORTED);
    for (libusb_transfer* t : std::exchange(chip.driverReads, {}))
        chip.model.cancel(t);
    for (libusb_transfer* t : chip.model.takeDone())
        libusb_free_transfer(t);
    chip.unanswered = 0;
    chip.answers.clear();
    return TRUE;
}

D2XX ULONG WINAPI FT_SetBitMode(void*, UCHAR mask, UCHAR mode)
{
    const ULONG status = request(0x0B, uint16_t(mode << 8 | mask));
    chip.writeState();
    return status;
}

// The FT232R's divisor of its 3 MHz clock, whole. Only the start of a run purges, with nothing
// on its way.
D2XX ULONG WINAPI FT_SetBaudRate(void*, ULONG rate) { return request(0x03, uint16_t(3'000'000 / rate)); }
D2XX ULONG WINAPI FT_GetLatencyTimer(void*, UCHAR* ms) { return request(0x0A, 0, ms); }
D2XX ULONG WINAPI FT_SetLatencyTimer(void*, UCHAR ms) { return request(0x09, ms); }
D2XX ULONG WINAPI FT_Purge(void*, ULONG mask) { return (mask & 1) && request(0x00, 2) ? FT_IO_ERROR : (mask & 2) ? request(0x00, 1) : FT_OK; }
D2XX ULONG WINAPI FT_SetTimeouts(void*, ULONG readMs, ULONG) { return chip.timeoutMs = unsigned(readMs), FT_OK; }
