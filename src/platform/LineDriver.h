#pragma once

#include <QtGlobal>

#include <memory>

// The modem-control lines of an open port, reached through its native handle with exactly
// one system call per line operation. Failures throw LineError with the system's reason.
class LineDriver {
public:
    virtual ~LineDriver() = default;
    virtual void setRts(bool asserted) = 0;
    virtual void setDtr(bool asserted) = 0;
    virtual bool readCts() = 0;
};

// What QSerialPort::handle() gives: a file descriptor on Unix, a HANDLE on Windows.
#ifdef Q_OS_WIN
using NativePortHandle = void*;
#else
using NativePortHandle = int;
#endif

// The driver for this system, on the open port's native handle.
std::unique_ptr<LineDriver> makeNativeLineDriver(NativePortHandle handle);
