#pragma once

#include <QString>

// How a sweep would reach the converter through a serial device, as the recorder names it:
// "ftdi-bitbang" where the device is an FTDI chip that can be driven in synchronous bit-bang
// mode, "modem-lines" otherwise, with the reason when it is an FTDI chip that cannot be.
// `description` is the system's; on Windows it names the driver's device. POSIX implementation
// in BitBangAccessPosix.cpp, Windows' in BitBangAccessWin.cpp.
QString linkFor(const QString& device, const QString& description);
