#pragma once

#include "devices/FtdiBitBang.h"

#include <QString>

#include <chrono>
#include <memory>
#include <optional>

// An FTDI chip opened in synchronous bit-bang mode through the system's FTDI library: libftdi
// on libusb (FtdiTransportPosix.cpp), or on Windows FTDI's D2XX driver (ftd2xx.dll, loaded when
// first needed; FtdiTransportWin.cpp). Each transfer and request is allowed `deadline`. Where
// the library finds a chip, FtdiLocation, is each library's own.
#ifdef Q_OS_WIN
#include "devices/FtdiTransportWin.h"
#else
#include "devices/FtdiTransportPosix.h"
#endif

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

// The FTDI chip behind a serial device ("/dev/ttyUSB0", "COM3"), as the system finds it: in
// its device tree on Linux (sysfs, under `systemRoot`), through FTDI's driver on Windows, by
// the COM port number that the driver gives the chip's channel (`systemRoot` has no part
// there). None for any other device, and on Windows for a chip without synchronous bit-bang
// or where the driver is not installed.
std::optional<FtdiLocation> findFtdiChip(const QString& device, const QString& systemRoot);

// The chip's channel at that place. Throws PortError as openFtdiChip does.
std::unique_ptr<FtdiBitBang> openFtdiChip(const FtdiLocation& location, std::chrono::milliseconds deadline);

// For a device as the system lists it: none when it is no FTDI chip, as far as can be told
// without opening anything; otherwise what stands in the way of driving the chip in bit-bang
// mode ("ftd2xx.dll is not there"), empty when nothing does.
std::optional<QString> ftdiBarrier(const QString& device, const QString& description);
