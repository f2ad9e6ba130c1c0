#pragma once

#include <QtGlobal>

// The serial device of this system: the system's own calls on Windows (no QtSerialPort there),
// QSerialPort and the FTDI bit-bang path elsewhere.
#ifdef Q_OS_WIN
#include "devices/WinSerialDevice.h"
using SystemSerialDevice = WinSerialDevice;
#else
#include "devices/QtSerialDevice.h"
using SystemSerialDevice = QtSerialDevice;
#endif
