#include "platform/QtSerialDevice.h"

void QtSerialDevice::open(const QString& device, const LineSettings& settings)
{
    if (port_.isOpen())
        close();
    port_.setPortName(device);
    if (!port_.open(QIODevice::ReadWrite))
        throw PortError(port_.errorString());

    const auto parity = [&] {
        switch (settings.parity) {
        case 'e': return QSerialPort::EvenParity;
        case 'o': return QSerialPort::OddParity;
        case 'm': return QSerialPort::MarkParity;
        case 's': return QSerialPort::SpaceParity;
        default: return QSerialPort::NoParity;
        }
    }();
    const bool configured = port_.setBaudRate(settings.baudRate) && port_.setParity(parity)
        && port_.setDataBits(QSerialPort::DataBits(settings.dataBits))
        && port_.setStopBits(settings.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop)
        && port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!configured) {
        const QString reason = port_.errorString();
        port_.close();
        throw PortError(reason);
    }
    lines_ = makeNativeLineDriver(port_.handle());
}

void QtSerialDevice::close()
{
    lines_.reset();
    port_.close();
}
