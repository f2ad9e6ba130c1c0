#pragma once

#include "core/converter/ControlLines.h"
#include "devices/PortMap.h"
#include "devices/SerialDevice.h"

// The converter's port: which port to open (a number of the shared port map or a device path),
// its line settings and open state, and the three control lines. While the port is closed the
// line operations reach the simulated converter, so sweeps run through the same frame code
// with or without hardware.
class PortSwitch final : public ControlLines {
public:
    PortSwitch(SerialDevice& device, ControlLines& simulator, PortMap& map);

    // A number outside 1 to 16 throws PortError and leaves the port number as it was.
    void setPortNumber(int portNumber);
    int portNumber() const { return portNumber_; }
    void setSettings(const QString& settings);
    const QString& settings() const { return settings_; }
    // A device path that the next open uses instead of the port number; empty for none.
    void setDevicePath(const QString& path) { devicePath_ = path; }
    const QString& devicePath() const { return devicePath_; }
    // The port the next open reaches, as a user names it: a port name ("COM3") chooses a port
    // number (PortError outside 1 to 16); anything else is a device path, opened as it stands
    // ("ftdi:" and a libftdi device string for an FTDI chip).
    void choose(const QString& name);
    // The device the next open reaches: the typed path, or the port number's device now.
    QString device();
    PortMap& portMap() { return map_; }

    // Opens the port (PortError when it cannot be); open already, it stays as it is.
    void open();
    void close();
    bool isOpen() const { return device_.isOpen(); }
    // Where the line operations go: the open port or the simulated converter. source() changes
    // at every open and every close, so a sweep can tell that its samples would mix two sources.
    bool simulated() const { return active_ == &simulator_; }
    unsigned source() const { return source_; }

    void setRts(bool asserted) override { active_->setRts(asserted); }
    void setDtr(bool asserted) override { active_->setDtr(asserted); }
    bool readCts() override { return active_->readCts(); }
    FrameReadout runFrame(const LineFrame& frame, int ahead) override { return active_->runFrame(frame, ahead); }
    void dropAhead() override { active_->dropAhead(); }
    // How the open port reaches the lines.
    SerialDevice::Link link() const { return device_.link(); }
    // The link the sweeps take now, as the tools and the index name it: "simulator",
    // "modem-lines" or "ftdi-bitbang".
    QString linkName() const;

private:
    SerialDevice& device_;
    ControlLines& simulator_;
    PortMap& map_;
    int portNumber_ = 1;
    QString settings_ = LineSettings::Standard;
    QString devicePath_;
    ControlLines* active_; // the open device's lines, or the simulator
    unsigned source_ = 0;
};
