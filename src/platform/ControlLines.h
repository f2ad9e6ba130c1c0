#pragma once

#include "platform/Failure.h"

#include <QString>

// A control-line operation on an open port failed (an adapter pulled out, for example).
// The sweep turns this into a routine failure; any other exception is a programming fault.
class LineError : public Failure {
public:
    using Failure::Failure;
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
