#pragma once

#include "core/converter/ControlLines.h"

#include <memory>

// The control lines of an open port as its driver reaches them: the modem-control lines
// through the native handle with exactly one system call per line operation, or the pins of a
// chip in bit-bang mode. Failures throw LineError with the reason to show.
class LineDriver : public ControlLines {};

// What QSerialPort::handle() gives: a file descriptor on Unix, a HANDLE on Windows.
#ifdef Q_OS_WIN
using NativePortHandle = void*;
#else
using NativePortHandle = int;
#endif

// The driver for this system, on the open port's native handle.
std::unique_ptr<LineDriver> makeNativeLineDriver(NativePortHandle handle);
