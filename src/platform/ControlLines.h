#pragma once

#include <QString>
#include <stdexcept>

// A control-line operation on an open port failed (an adapter pulled out, for example).
// The sweep turns this into a routine failure; any other exception is a programming fault.
class LineError : public std::runtime_error {
public:
    explicit LineError(const QString& reason) : std::runtime_error(reason.toStdString()) {}
    QString reason() const { return QString::fromStdString(what()); }
};

// The three modem-control line operations of the serial port, one call per line operation,
// in the line sense of the converter frame: true asserts RTS/DTR, true means CTS asserted.
class ControlLines {
public:
    virtual ~ControlLines() = default;
    virtual void setRts(bool asserted) = 0;
    virtual void setDtr(bool asserted) = 0;
    virtual bool readCts() = 0;
};
