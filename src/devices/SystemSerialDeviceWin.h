#pragma once

#include "devices/LineDriver.h"
#include "devices/SerialDevice.h"

#include <memory>

// The serial device on Windows (through SystemSerialDevice.h): a port opened with Windows' own
// calls (there is no QtSerialPort here): "COMn" or "\\.\COMn", opened exclusively, its line
// settings through the device control block, no flow control; the line operations of the frame
// go to the native driver on the same handle. A COM port that FTDI's D2XX driver gives to a chip
// with synchronous bit-bang, or "ftdi:" and a chip's serial number or description, opens the
// chip in that mode instead, when it can be had.
class SystemSerialDevice final : public SerialDevice {
public:
    SystemSerialDevice() = default;
    ~SystemSerialDevice() override { close(); }
    SystemSerialDevice(const SystemSerialDevice&) = delete;
    SystemSerialDevice& operator=(const SystemSerialDevice&) = delete;

    void open(const QString& device, const LineSettings& settings) override;
    void close() override;
    bool isOpen() const override { return lines_ != nullptr; }
    void setRts(bool asserted) override { lines_->setRts(asserted); }
    void setDtr(bool asserted) override { lines_->setDtr(asserted); }
    bool readCts() override { return lines_->readCts(); }
    FrameReadout runFrame(const LineFrame& frame, int ahead) override { return lines_->runFrame(frame, ahead); }
    void dropAhead() override { lines_->dropAhead(); }
    Link link() const override { return link_; }

private:
    // The chip in bit-bang mode, or none for the modem lines.
    static std::unique_ptr<LineDriver> openBitBang(const QString& device);

    NativePortHandle handle_ = nullptr;
    std::unique_ptr<LineDriver> lines_;
    Link link_ = Link::ModemLines;
};
