#pragma once

#include "platform/LineDriver.h"
#include "platform/SerialDevice.h"

#include <QSerialPort>

#include <memory>

// Opens, configures and closes the port through QSerialPort (exclusive, no flow control);
// the line operations of the frame go to the native driver, not QSerialPort's setters,
// which cost several system calls each.
class QtSerialDevice final : public SerialDevice {
public:
    void open(const QString& device, const LineSettings& settings) override;
    void close() override;
    bool isOpen() const override { return port_.isOpen(); }
    void setRts(bool asserted) override { lines_->setRts(asserted); }
    void setDtr(bool asserted) override { lines_->setDtr(asserted); }
    bool readCts() override { return lines_->readCts(); }

private:
    QSerialPort port_;
    std::unique_ptr<LineDriver> lines_;
};
