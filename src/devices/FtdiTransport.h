#pragma once

#include "devices/FtdiBitBang.h"

#include <QString>

#include <chrono>
#include <memory>
#include <optional>

// An FTDI chip opened in synchronous bit-bang mode through the system's FTDI library: libftdi
// on libusb, or on Windows FTDI's D2XX driver (ftd2xx.dll, loaded when first needed). Each
// transfer and request is allowed `deadline`.

// The chip's name in a device named "ftdi:" and that name; none for any other device.
inline std::optional<QString> ftdiChipName(const QString& device)
{
    static const QString typed = QStringLiteral("ftdi:");
    return device.startsWith(typed) ? std::optional(device.mid(typed.size())) : std::nullopt;
}

// The chip of that name: a libftdi device string ("i:0x0403:0x6001", "s:…", "d:…"), or
// on Windows the chip's serial number or description. Throws PortError when the chip cannot be
// opened or has no synchronous bit-bang mode.
std::unique_ptr<FtdiBitBang> openFtdiChip(const QString& name, std::chrono::milliseconds deadline);

#ifdef Q_OS_WIN
// The chip to which FTDI's driver gives COM port `portNumber`, in bit-bang mode; none when the
// driver is not installed, no chip has that port, or the chip cannot be had in that mode.
std::unique_ptr<FtdiBitBang> openFtdiChipOfPort(int portNumber, std::chrono::milliseconds deadline);
// Whether FTDI's driver library is installed with every function the bit-bang path uses.
bool ftdiDriverPresent();
#else
// Where the system sees an FTDI chip's UART channel: its USB bus and address and the
// channel's interface number.
struct FtdiLocation {
    int bus = 0;
    int address = 0;
    int interface = 0;
    bool operator==(const FtdiLocation&) const = default;
};

// The FTDI chip (USB vendor 0x0403) behind a serial device such as /dev/ttyUSB0, found
// through the system's device tree (sysfs, under `sysfsRoot`); none for any other device.
std::optional<FtdiLocation> findFtdiChip(const QString& device, const QString& sysfsRoot);

// The chip's channel at that place. Throws PortError as openFtdiChip does.
std::unique_ptr<FtdiBitBang> openFtdiChip(const FtdiLocation& location, std::chrono::milliseconds deadline);
#endif
