#pragma once

#include "EmulatedDevice.h"
#include "devices/SystemSerialDevice.h"
#include "devices/Unit.h"
#include "support/Ramp.h"

#include <gtest/gtest.h>

#include <QProcess>

// The acquisition unit on the real serial path: SystemSerialDevice, whose COM1 is the given device,
// finding FTDI chips in the device tree under `sysfs`.
struct Acquisition {
    explicit Acquisition(const QString& device, const QString& sysfs = QStringLiteral("/sys"),
                         std::chrono::milliseconds ftdiDeadline = SystemSerialDevice::FtdiDeadline)
        : serial(sysfs, ftdiDeadline), ports([device] { return QList<PortDevice>{{device, device}}; })
    {
    }
    // One sweep of the channel and range, every sample handed to `each`.
    bool sweep(int channel, bool unipolar, const Sweep::Each& each = [](const Sweep::Sample&) { return true; })
    {
        return unit.sweep({channel, unipolar ? Range::Unipolar : Range::Bipolar}, each);
    }
    SystemSerialDevice serial;
    PortMap ports;
    Unit unit{{serial, ports}};
};

// Checks a sweep's samples against the ramp's codes for a sweep that began at conversion n.
inline void expectSweep(const SampleArray& samples, int channel, bool unipolar, long n)
{
    for (int i = 1; i <= SweepLength; ++i)
        ASSERT_EQ(samples[i - 1], storedSample(rampCode({channel, unipolar}, n + i - 1), unipolar))
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
