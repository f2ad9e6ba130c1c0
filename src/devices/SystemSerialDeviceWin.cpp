#include "devices/SystemSerialDevice.h"

#include "core/system/WindowsError.h"
#include "devices/FtdiTransport.h"

#include <cerrno>

#include <windows.h>

namespace {

[[noreturn]] void refused(DWORD error)
{
    throw PortError(FailureKind::System, errnoFromWindows(error), windowsErrorText(error));
}

BYTE parityOf(char parity)
{
    switch (parity) {
    case 'e': return EVENPARITY;
    case 'o': return ODDPARITY;
    case 'm': return MARKPARITY;
    case 's': return SPACEPARITY;
    default: return NOPARITY;
    }
}

} // namespace

void SystemSerialDevice::open(const QString& device, const LineSettings& settings)
{
    if (isOpen())
        close();
    if ((lines_ = openBitBang(device))) {
        link_ = Link::FtdiBitBang;
        return;
    }
    link_ = Link::ModemLines;
    // The device namespace reaches COM10 and above too, which the plain name does not.
    static const QString deviceNamespace = QStringLiteral("\\\\.\\");
    const QString path = device.startsWith(deviceNamespace) ? device : deviceNamespace + device;
    // No sharing: another program's open handle refuses this one, and this one refuses theirs.
    const HANDLE port = CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()), GENERIC_READ | GENERIC_WRITE, 0,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE)
        refused(GetLastError());

    DCB control{};
    control.DCBlength = sizeof control;
    if (!GetCommState(port, &control)) {
        const DWORD error = GetLastError();
        CloseHandle(port);
        // A file or another device that is not a port.
        throw PortError(FailureKind::System, ENOTTY, windowsErrorText(error));
    }
    control.BaudRate = DWORD(settings.baudRate);
    control.ByteSize = BYTE(settings.dataBits);
    control.Parity = parityOf(settings.parity);
    control.StopBits = settings.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    control.fBinary = TRUE;
    control.fParity = settings.parity != 'n';
    control.fOutxCtsFlow = FALSE;
    control.fOutxDsrFlow = FALSE;
    control.fDsrSensitivity = FALSE;
    control.fOutX = FALSE;
    control.fInX = FALSE;
    control.fNull = FALSE;
    control.fAbortOnError = FALSE;
    // Both lines up on open, as a POSIX system's open of a tty leaves them; the frame then
    // drives them by hand.
    control.fDtrControl = DTR_CONTROL_ENABLE;
    control.fRtsControl = RTS_CONTROL_ENABLE;
    if (!SetCommState(port, &control)) {
        const DWORD error = GetLastError();
        CloseHandle(port);
        refused(error);
    }
    handle_ = port;
    lines_ = makeNativeLineDriver(handle_);
}

std::unique_ptr<LineDriver> SystemSerialDevice::openBitBang(const QString& device)
{
    if (const std::optional<QString> chipName = ftdiChipName(device))
        return openFtdiChip(*chipName, FtdiBitBang::Deadline);
    const std::optional<FtdiLocation> chip = findFtdiChip(device, {});
    if (!chip)
        return nullptr;
    try {
        return openFtdiChip(*chip, FtdiBitBang::Deadline);
    } catch (const PortError&) {
        return nullptr; // the port's modem lines serve
    }
}

void SystemSerialDevice::close()
{
    lines_.reset();
    if (handle_) {
        CloseHandle(handle_);
        handle_ = nullptr;
    }
}
