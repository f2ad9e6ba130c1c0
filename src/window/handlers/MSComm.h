#pragma once

#include "devices/PortSwitch.h"

// The window's serial component as its handlers use it: port number, line settings and open
// state, over the unit's port.
class MSComm {
public:
    explicit MSComm(PortSwitch& port) : port_(port) {}

    // A number outside 1 to 16 throws PortError and leaves the port number as it was.
    void setCommPort(int portNumber) { port_.setPortNumber(portNumber); }
    int commPort() const { return port_.portNumber(); }
    void setSettings(const QString& settings) { port_.setSettings(settings); }
    const QString& settings() const { return port_.settings(); }
    // Writing true opens the port (PortError when it cannot be), false closes it.
    void setPortOpen(bool open) { open ? port_.open() : port_.close(); }
    bool portOpen() const { return port_.isOpen(); }

    PortSwitch& port() { return port_; }

private:
    PortSwitch& port_;
};
