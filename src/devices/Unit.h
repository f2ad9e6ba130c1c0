#pragma once

#include "core/converter/ConverterLink.h"
#include "core/converter/SimulatedConverter.h"
#include "core/converter/Sweep.h"
#include "devices/MSComm.h"

// The acquisition unit as a program without a window reaches it: the port named as its users
// name it ("sim" for the simulated converter, "COMn" numbered as the window numbers ports, a
// device path, or "ftdi:" and a libftdi device string), the window's line settings, and
// sweeps through the same converter link and sweep as the window's.
class Unit {
public:
    struct Seams {
        SerialDevice& serial;
        PortMap::DeviceList devices = PortMap::systemDevices;
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
    bool sweep(int channel, Range range, const Sweep::Each& each) { return sweep_.run(channel, range, each); }
    const SampleArray& samples() const { return sweep_.samples(); }

    MSComm& comm() { return comm_; }

private:
    SimulatedConverter simulator_;
    MSComm comm_;
    ConverterLink link_{comm_};
    Sweep sweep_{link_};
    bool simulated_ = true;
    QString stableName_; // of the device path opened; empty for a port number or an FTDI string
};
