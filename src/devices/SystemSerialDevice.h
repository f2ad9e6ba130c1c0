#pragma once

#include <QtGlobal>

// The serial device of this system: the system's own calls on Windows (no QtSerialPort there),
// QSerialPort and the FTDI bit-bang path elsewhere. Each system's class, with its own members
// and constructor, is declared in its own header beside this one.
#ifdef Q_OS_WIN
#include "devices/SystemSerialDeviceWin.h"
#else
#include "devices/SystemSerialDevicePosix.h"
#endif
