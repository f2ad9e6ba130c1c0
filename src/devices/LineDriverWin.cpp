#include "core/converter/ControlLines.h"
#include "core/system/WindowsError.h"
#include "devices/LineDriver.h"

#include <windows.h>

namespace {

[[noreturn]] void fail()
{
    wchar_t* text = nullptr;
    const DWORD code = GetLastError();
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    const QString reason = text ? QString::fromWCharArray(text).trimmed() : QString::number(code);
    LocalFree(text);
    throw LineError(FailureKind::System, errnoFromWindows(code), reason);
}

class WinLineDriver final : public LineDriver {
public:
    explicit WinLineDriver(HANDLE handle) : handle_(handle) {}

    void setRts(bool asserted) override { escape(asserted ? SETRTS : CLRRTS); }
    void setDtr(bool asserted) override { escape(asserted ? SETDTR : CLRDTR); }
    bool readCts() override
    {
        DWORD status = 0;
        if (!GetCommModemStatus(handle_, &status))
            fail();
        return status & MS_CTS_ON;
    }

private:
    void escape(DWORD function)
    {
        if (!EscapeCommFunction(handle_, function))
            fail();
    }

    HANDLE handle_;
};

} // namespace

std::unique_ptr<LineDriver> makeNativeLineDriver(NativePortHandle handle)
{
    return std::make_unique<WinLineDriver>(handle);
}
