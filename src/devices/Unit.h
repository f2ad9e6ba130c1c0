#pragma once

#include "core/converter/ConverterLink.h"
#include "core/converter/SimulatedConverter.h"
#include "core/converter/Sweep.h"
#include "devices/PortSwitch.h"

// The acquisition unit, as the window, the recorder and the Python module all reach it: the
// simulated converter, the port switch over the shared port map, the converter link and the
// sweep. A port is named as its users name it: "sim" for the simulated converter, "COMn"
// numbered as the window numbers ports, a device path, or "ftdi:" and a libftdi device string.
class Unit {
public:
    struct Seams {
        SerialDevice& serial;
        PortMap& ports;
        CodeSource simulator = SignalGenerator{};
    };
    explicit Unit(Seams seams);
    ~Unit() { close(); }
    Unit(const Unit&) = delete;
    Unit& operator=(const Unit&) = delete;

    // Opens the port named; "sim" keeps the simulated converter. Throws PortError.
    void open(const QString& name);
    // Opens the same device again after it failed: the same port number, the same device path
    // (found by its stable name, so an adapter plugged back under another path is found too),
    // the same FTDI device string. Throws PortError while it cannot be opened.
    void reopen();
    // Gives the port back (an FTDI chip to its UART mode and driver); the simulator answers again.
    void close();

    // One sweep; see Sweep::run. A port that fails throws LineError and stays open: close it.
    bool sweep(const ConversionRequest& request, const Sweep::Each& each) { return sweep_.run(request, each); }
    const SampleArray& samples() const { return sweep_.samples(); }
    // Whether CTS changed level in the last sweep; see Sweep::lineMoved.
    bool lineMoved() const { return sweep_.lineMoved(); }

    PortSwitch& port() { return port_; }
    const PortSwitch& port() const { return port_; }
    ConverterLink& link() { return link_; }

private:
    SimulatedConverter simulator_;
    PortSwitch port_;
    ConverterLink link_{port_};
    Sweep sweep_{link_};
    bool simulated_ = true;
    QString stableName_; // of the device path opened; empty for a port number or an FTDI string
};
