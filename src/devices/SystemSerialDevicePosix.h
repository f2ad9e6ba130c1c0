#pragma once

#include "devices/FtdiBitBang.h"
#include "devices/LineDriver.h"
#include "devices/SerialDevice.h"

#include <QSerialPort>

#include <chrono>
#include <memory>

// The serial device outside Windows (through SystemSerialDevice.h). Opens, configures and closes
// the port through QSerialPort (exclusive, no flow control); the line operations of the frame
// go to the native driver, not QSerialPort's setters, which cost several system calls each.
// A device that is an FTDI chip (found in the system's device tree under `sysfsRoot`), or
// "ftdi:" and a libftdi device string, opens the chip in synchronous bit-bang mode instead,
// when it can be had.
class SystemSerialDevice final : public SerialDevice {
public:
    static constexpr std::chrono::milliseconds FtdiDeadline = FtdiBitBang::Deadline;

    explicit SystemSerialDevice(QString sysfsRoot = QStringLiteral("/sys"), std::chrono::milliseconds ftdiDeadline = FtdiDeadline)
        : sysfsRoot_(std::move(sysfsRoot)), ftdiDeadline_(ftdiDeadline)
    {
    }

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
    enum class BitBang { Open, NotAChip, Failed };
    // How long the modem-line path waits for the tty after a failed bit-bang start, and how
    // often it tries it meanwhile.
    static constexpr int TtyReturnMs = 3000, TtyPollMs = 50;

    BitBang openBitBang(const QString& device);

    QString sysfsRoot_;
    std::chrono::milliseconds ftdiDeadline_;
    QSerialPort port_;
    std::unique_ptr<LineDriver> lines_;
    Link link_ = Link::ModemLines;
};
