#include "devices/FtdiTransport.h"

#include "devices/SerialDevice.h"

#include <QRegularExpression>

#include <cerrno>
#include <cstdint>
#include <vector>

#include <windows.h>

namespace {

// The types, values and functions of FTDI's D2XX driver used here, as its programmer's guide
// gives them.
using FT_HANDLE = void*;
using FT_STATUS = ULONG;
constexpr FT_STATUS FT_OK = 0;
constexpr DWORD FT_OPEN_BY_SERIAL_NUMBER = 1, FT_OPEN_BY_LOCATION = 4;
constexpr DWORD FT_FLAGS_OPENED = 1;
constexpr UCHAR FT_BITMODE_RESET = 0x00, FT_BITMODE_SYNC_BITBANG = 0x04;
constexpr ULONG FT_PURGE_RX = 1, FT_PURGE_TX = 2;
// FT_DEVICE: the BM, AM, 100AX and unknown chips (0 to 3) have no synchronous bit-bang mode.
constexpr DWORD FT_DEVICE_2232C = 4;

// ftd2xx.dll, loaded for as long as a chip of it is open.
class D2xx {
public:
    FT_STATUS(WINAPI* CreateDeviceInfoList)(DWORD* count) = nullptr;
    FT_STATUS(WINAPI* GetDeviceInfoDetail)(DWORD index, DWORD* flags, DWORD* type, DWORD* id, DWORD* location,
                                           char* serial, char* description, FT_HANDLE* handle) = nullptr;
    FT_HANDLE(WINAPI* W32_CreateFile)(const char* name, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                                      DWORD create, DWORD attributesAndFlags, HANDLE model) = nullptr;
    BOOL(WINAPI* W32_CloseHandle)(FT_HANDLE handle) = nullptr;
    BOOL(WINAPI* W32_WriteFile)(FT_HANDLE handle, void* buffer, DWORD size, DWORD* written, OVERLAPPED* overlapped) = nullptr;
    BOOL(WINAPI* W32_ReadFile)(FT_HANDLE handle, void* buffer, DWORD size, DWORD* read, OVERLAPPED* overlapped) = nullptr;
    BOOL(WINAPI* W32_GetOverlappedResult)(FT_HANDLE handle, OVERLAPPED* overlapped, DWORD* moved, BOOL wait) = nullptr;
    DWORD(WINAPI* W32_GetLastError)(FT_HANDLE handle) = nullptr;
    BOOL(WINAPI* W32_CancelIo)(FT_HANDLE handle) = nullptr;
    FT_STATUS(WINAPI* GetComPortNumber)(FT_HANDLE handle, LONG* portNumber) = nullptr;
    FT_STATUS(WINAPI* SetBitMode)(FT_HANDLE handle, UCHAR mask, UCHAR mode) = nullptr;
    FT_STATUS(WINAPI* SetBaudRate)(FT_HANDLE handle, ULONG rate) = nullptr;
    FT_STATUS(WINAPI* GetLatencyTimer)(FT_HANDLE handle, UCHAR* ms) = nullptr;
    FT_STATUS(WINAPI* SetLatencyTimer)(FT_HANDLE handle, UCHAR ms) = nullptr;
    FT_STATUS(WINAPI* SetTimeouts)(FT_HANDLE handle, ULONG readMs, ULONG writeMs) = nullptr;
    FT_STATUS(WINAPI* Purge)(FT_HANDLE handle, ULONG mask) = nullptr;

    // None when the driver is not installed or lacks a function.
    static std::shared_ptr<const D2xx> load()
    {
        // Beside the program or where FTDI's installer puts it, never from the current folder.
        const HMODULE module = LoadLibraryExW(L"ftd2xx.dll", nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
        if (!module)
            return {};
        auto d2xx = std::shared_ptr<D2xx>(new D2xx(module));
        const bool complete = d2xx->resolve(d2xx->CreateDeviceInfoList, "FT_CreateDeviceInfoList")
            && d2xx->resolve(d2xx->GetDeviceInfoDetail, "FT_GetDeviceInfoDetail")
            && d2xx->resolve(d2xx->W32_CreateFile, "FT_W32_CreateFile")
            && d2xx->resolve(d2xx->W32_CloseHandle, "FT_W32_CloseHandle")
            && d2xx->resolve(d2xx->W32_WriteFile, "FT_W32_WriteFile")
            && d2xx->resolve(d2xx->W32_ReadFile, "FT_W32_ReadFile")
            && d2xx->resolve(d2xx->W32_GetOverlappedResult, "FT_W32_GetOverlappedResult")
            && d2xx->resolve(d2xx->W32_GetLastError, "FT_W32_GetLastError")
            && d2xx->resolve(d2xx->W32_CancelIo, "FT_W32_CancelIo")
            && d2xx->resolve(d2xx->GetComPortNumber, "FT_GetComPortNumber")
            && d2xx->resolve(d2xx->SetBitMode, "FT_SetBitMode") && d2xx->resolve(d2xx->SetBaudRate, "FT_SetBaudRate")
            && d2xx->resolve(d2xx->GetLatencyTimer, "FT_GetLatencyTimer")
            && d2xx->resolve(d2xx->SetLatencyTimer, "FT_SetLatencyTimer")
            && d2xx->resolve(d2xx->SetTimeouts, "FT_SetTimeouts") && d2xx->resolve(d2xx->Purge, "FT_Purge");
        return complete ? d2xx : nullptr;
    }
    ~D2xx() { FreeLibrary(module_); }
    D2xx(const D2xx&) = delete;
    D2xx& operator=(const D2xx&) = delete;

    // A chip opened for overlapped transfers, by its serial number, description or location;
    // none when it cannot be.
    FT_HANDLE open(const void* name, DWORD by) const
    {
        const FT_HANDLE handle = W32_CreateFile(static_cast<const char*>(name), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED | by, nullptr);
        return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
    }

private:
    explicit D2xx(HMODULE module) : module_(module) {}
    template <class Function>
    bool resolve(Function& function, const char* name)
    {
        function = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module_, name)));
        return function != nullptr;
    }

    HMODULE module_;
};

struct OverlappedTransfer final : BitBangStream::Transfer {
    OverlappedTransfer() { overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr); }
    ~OverlappedTransfer() override { CloseHandle(overlapped.hEvent); }
    OVERLAPPED overlapped{};
};

// The chip's channel through D2XX: overlapped writes and reads, which the driver queues. The
// driver takes the packets' status bytes off, and a read ends when all its bytes are in, so a
// read asks for exactly the bytes written. Destroying it gives the latency timer its old value
// back, resets the chip to UART mode and closes it, which gives it back to FTDI's serial driver.
class D2xxTransport final : public BitBangStream::Transport {
public:
    D2xxTransport(std::shared_ptr<const D2xx> d2xx, FT_HANDLE handle) : d2xx_(std::move(d2xx)), handle_(handle) {}
    ~D2xxTransport() override
    {
        if (latencyTimer_)
            d2xx_->SetLatencyTimer(handle_, latencyTimer_);
        d2xx_->SetBitMode(handle_, 0, FT_BITMODE_RESET);
        d2xx_->W32_CloseHandle(handle_);
    }

    void start(std::chrono::milliseconds deadline)
    {
        // The driver's own time-outs lie beyond the stream's deadline, which cancels first.
        const ULONG timeout = ULONG(2 * deadline.count());
        if (d2xx_->GetLatencyTimer(handle_, &latencyTimer_) != FT_OK || d2xx_->SetLatencyTimer(handle_, 1) != FT_OK
            || d2xx_->SetBitMode(handle_, FtdiBitBang::RtsPin | FtdiBitBang::DtrPin, FT_BITMODE_SYNC_BITBANG) != FT_OK
            || d2xx_->SetBaudRate(handle_, FtdiBitBang::BaudGeneratorHz) != FT_OK
            || d2xx_->SetTimeouts(handle_, timeout, timeout) != FT_OK || d2xx_->Purge(handle_, FT_PURGE_RX | FT_PURGE_TX) != FT_OK)
            throw PortError(FailureKind::System, EIO);
    }

    int packetSize() const override { return 1; }
    int statusBytes() const override { return 0; }
    std::unique_ptr<BitBangStream::Transfer> newTransfer() override { return std::make_unique<OverlappedTransfer>(); }

    bool submit(BitBangStream::Transfer& transfer, bool write) override
    {
        auto& t = static_cast<OverlappedTransfer&>(transfer);
        ResetEvent(t.overlapped.hEvent);
        DWORD moved = 0;
        const auto call = write ? d2xx_->W32_WriteFile : d2xx_->W32_ReadFile;
        if (call(handle_, t.buffer.data(), DWORD(t.buffer.size()), &moved, &t.overlapped)) {
            settle(t, moved == t.buffer.size(), moved);
            return true;
        }
        if (d2xx_->W32_GetLastError(handle_) != ERROR_IO_PENDING)
            return false;
        pending_.push_back(&t);
        return true;
    }

    bool awaitAny(std::chrono::steady_clock::time_point deadline) override
    {
        using namespace std::chrono;
        // The oldest transfer is asked after, then every one whose event is set is taken.
        if (!pending_.empty())
            takeIfDone(pending_.front());
        takeSignalled();
        while (!settled_) {
            std::vector<HANDLE> events;
            for (const OverlappedTransfer* t : pending_)
                events.push_back(t->overlapped.hEvent);
            const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
            if (events.empty() || left <= 0
                || WaitForMultipleObjects(DWORD(events.size()), events.data(), FALSE, DWORD(left)) == WAIT_TIMEOUT)
                return false;
            takeSignalled();
        }
        settled_ = false;
        return true;
    }

    // Ends every transfer under way: the stream cancels them all at once.
    void cancel(BitBangStream::Transfer&) override { d2xx_->W32_CancelIo(handle_); }

private:
    // Marks the transfer done, and no longer under way, when it is. One that ended short ran
    // into the driver's time-out.
    void takeIfDone(OverlappedTransfer* t)
    {
        DWORD moved = 0;
        if (d2xx_->W32_GetOverlappedResult(handle_, &t->overlapped, &moved, FALSE))
            settle(*t, moved == t->buffer.size(), moved);
        else if (d2xx_->W32_GetLastError(handle_) != ERROR_IO_INCOMPLETE)
            settle(*t, false, moved);
        else
            return;
        std::erase(pending_, t);
    }

    void takeSignalled()
    {
        for (OverlappedTransfer* t : std::vector(pending_))
            if (WaitForSingleObject(t->overlapped.hEvent, 0) == WAIT_OBJECT_0)
                takeIfDone(t);
    }

    void settle(OverlappedTransfer& t, bool ok, DWORD moved)
    {
        t.done = true;
        t.ok = ok;
        t.length = int(moved);
        settled_ = true;
    }

    std::shared_ptr<const D2xx> d2xx_;
    FT_HANDLE handle_;
    UCHAR latencyTimer_ = 0; // the chip's own, in ms, to give back on close
    std::vector<OverlappedTransfer*> pending_;
    bool settled_ = false; // a transfer was done since the last wait
};

std::unique_ptr<FtdiBitBang> startChip(std::shared_ptr<const D2xx> d2xx, FT_HANDLE handle, std::chrono::milliseconds deadline)
{
    auto transport = std::make_unique<D2xxTransport>(std::move(d2xx), handle);
    transport->start(deadline);
    return std::make_unique<FtdiBitBang>(std::move(transport), deadline);
}

// A chip of the driver's list as it describes it.
struct Listed {
    DWORD type = 0;
    DWORD location = 0;
    char serial[16] = {};
    char description[64] = {};
};

// The chip at that place, opened for overlapped transfers; none when it cannot be.
FT_HANDLE openAt(const D2xx& d2xx, const FtdiLocation& place)
{
    return !place.serial.isEmpty() ? d2xx.open(place.serial.constData(), FT_OPEN_BY_SERIAL_NUMBER)
                                   : d2xx.open(reinterpret_cast<const void*>(std::uintptr_t(place.location)), FT_OPEN_BY_LOCATION);
}

// The first chip listed, not held by another program, that `wanted` takes once it is open;
// none when there is none.
template <class Wanted>
std::optional<std::pair<FT_HANDLE, Listed>> openListed(const D2xx& d2xx, Wanted wanted)
{
    DWORD count = 0;
    if (d2xx.CreateDeviceInfoList(&count) != FT_OK)
        return {};
    for (DWORD index = 0; index < count; ++index) {
        Listed chip;
        DWORD flags = 0, id = 0;
        FT_HANDLE listed = nullptr;
        if (d2xx.GetDeviceInfoDetail(index, &flags, &chip.type, &id, &chip.location, chip.serial, chip.description, &listed) != FT_OK
            || (flags & FT_FLAGS_OPENED))
            continue;
        const FT_HANDLE handle = openAt(d2xx, {QByteArray(chip.serial), chip.location});
        if (handle && wanted(chip, handle))
            return std::pair(handle, chip);
        if (handle)
            d2xx.W32_CloseHandle(handle);
    }
    return {};
}

} // namespace

std::unique_ptr<FtdiBitBang> openFtdiChip(const QString& name, std::chrono::milliseconds deadline)
{
    const std::shared_ptr<const D2xx> d2xx = D2xx::load();
    if (!d2xx)
        throw PortError(FailureKind::NoFtdiDriver, ENOENT);
    const QByteArray text = name.toLocal8Bit();
    const auto chip = openListed(*d2xx, [&](const Listed& listed, FT_HANDLE) {
        return text == listed.serial || text == listed.description;
    });
    if (!chip)
        throw PortError(FailureKind::System, ENODEV);
    if (chip->second.type < FT_DEVICE_2232C) {
        d2xx->W32_CloseHandle(chip->first);
        throw PortError(FailureKind::NoBitBang, ENOTSUP);
    }
    return startChip(d2xx, chip->first, deadline);
}

std::optional<FtdiLocation> findFtdiChip(const QString& device, const QString&)
{
    static const QRegularExpression port(QStringLiteral(R"(^(?:\\\\\.\\)?COM([0-9]+)$)"), QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = port.match(device);
    const std::shared_ptr<const D2xx> d2xx = match.hasMatch() ? D2xx::load() : nullptr;
    const auto chip = !d2xx ? std::nullopt : openListed(*d2xx, [&](const Listed& listed, FT_HANDLE handle) {
        LONG number = -1;
        return listed.type >= FT_DEVICE_2232C && d2xx->GetComPortNumber(handle, &number) == FT_OK
            && number == match.captured(1).toInt();
    });
    if (!chip)
        return std::nullopt;
    d2xx->W32_CloseHandle(chip->first);
    return FtdiLocation{QByteArray(chip->second.serial), chip->second.location};
}

std::unique_ptr<FtdiBitBang> openFtdiChip(const FtdiLocation& location, std::chrono::milliseconds deadline)
{
    const std::shared_ptr<const D2xx> d2xx = D2xx::load();
    if (!d2xx)
        throw PortError(FailureKind::NoFtdiDriver, ENOENT);
    const FT_HANDLE handle = openAt(*d2xx, location);
    if (!handle)
        throw PortError(FailureKind::System, ENODEV);
    return startChip(d2xx, handle, deadline);
}

std::optional<QString> ftdiBarrier(const QString&, const QString& description)
{
    // FTDI's own serial driver names its devices \Device\VCPn; its D2XX library drives the chip.
    if (!description.startsWith(u"\\Device\\VCP", Qt::CaseInsensitive))
        return std::nullopt;
    if (!D2xx::load())
        return QStringLiteral("ftd2xx.dll is not there");
    return QString();
}
