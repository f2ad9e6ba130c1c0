#pragma once

#include "EmulatedDevice.h"
#include "devices/QtSerialDevice.h"
#include "support/Ramp.h"
#include "support/WindowRig.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QPushButton>

// The serial device of a window on the real serial path, made before the window.
struct RealSerial {
    RealSerial(const QString& sysfs, std::chrono::milliseconds ftdiDeadline) : port(sysfs, ftdiDeadline) {}
    QtSerialDevice port;
};

// The main window on the real serial path: QtSerialDevice, whose COM1 is the given device,
// finding FTDI chips in the device tree under `sysfs`.
struct Window : RealSerial, WindowRig {
    explicit Window(const QString& device, const QString& sysfs = QStringLiteral("/sys"),
                    std::chrono::milliseconds ftdiDeadline = QtSerialDevice::FtdiDeadline)
        : RealSerial(sysfs, ftdiDeadline), WindowRig({.serial = &port, .devices = {{device, device}}})
    {
    }
    QString caption() const { return command(2)->text(); }
};

// Checks SampleBuffer against the ramp's codes for a sweep that began at conversion n.
inline void expectSweep(Window& w, int channel, bool unipolar, long n)
{
    const SampleCells& buffer = w.form.state().SampleBuffer;
    for (int i = 1; i <= SweepLength; ++i)
        ASSERT_EQ(buffer[i], storedSample(rampCode({channel, unipolar}, n + i - 1), unipolar))
            << "channel " << channel << (unipolar ? " +5V" : " ±2V") << ", sample " << i;
}

// Another process that opens the device through QSerialPort and holds it until this ends.
class OtherProcess {
public:
    explicit OtherProcess(const QString& device)
    {
        process_.start(QStringLiteral(Q390_PORT_HOLDER), {device});
        while (!process_.canReadLine() && process_.waitForReadyRead(-1)) {
        }
        answer_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
    }
    ~OtherProcess()
    {
        process_.closeWriteChannel();
        process_.waitForFinished(-1);
    }
    bool holding() const { return answer_ == u"open"; }
    // "open", or why the device could not be opened.
    const QString& answer() const { return answer_; }

private:
    QProcess process_;
    QString answer_;
};
