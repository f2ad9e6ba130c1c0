#pragma once

#include "devices/LineDriver.h"
#include "devices/SerialDevice.h"

#include <memory>

// A port opened with Windows' own calls (there is no QtSerialPort here): "COMn" or "\\.\COMn",
// opened exclusively, its line settings through the device control block, no flow control;
// the line operations of the frame go to the native driver on the same handle.
class WinSerialDevice final : public SerialDevice {
public:
    WinSerialDevice() = default;
    ~WinSerialDevice() override { close(); }
    WinSerialDevice(const WinSerialDevice&) = delete;
    WinSerialDevice& operator=(const WinSerialDevice&) = delete;

    void open(const QString& device, const LineSettings& settings) override;
    void close() override;
    bool isOpen() const override { return lines_ != nullptr; }
    void setRts(bool asserted) override { lines_->setRts(asserted); }
    void setDtr(bool asserted) override { lines_->setDtr(asserted); }
    bool readCts() override { return lines_->readCts(); }
    FrameReadout runFrame(const LineFrame& frame, int ahead) override { return lines_->runFrame(frame, ahead); }
    void dropAhead() override { lines_->dropAhead(); }

private:
    NativePortHandle handle_ = nullptr;
    std::unique_ptr<LineDriver> lines_;
};
