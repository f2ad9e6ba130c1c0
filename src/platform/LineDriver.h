#pragma once

#include <QSerialPort>

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

// The driver for this system, on the open port's native handle (a file descriptor on Unix,
// a HANDLE on Windows).
std::unique_ptr<LineDriver> makeNativeLineDriver(QSerialPort::Handle handle);
