#include "devices/MSComm.h"

#include <QRegularExpression>

MSComm::MSComm(SerialDevice& device, ControlLines& simulator, PortMap map)
    : device_(device), simulator_(simulator), map_(std::move(map)), active_(&simulator)
{
}

void MSComm::setSettings(const QString& settings)
{
    LineSettings::parse(settings);
    settings_ = settings;
}

void MSComm::setCommPort(int portNumber)
{
    if (portNumber < 1 || portNumber > PortMap::Ports)
        throw PortError(QStringLiteral("COM%1: port numbers run from 1 to %2").arg(portNumber).arg(PortMap::Ports));
    commPort_ = portNumber;
}

QString MSComm::device()
{
    if (!devicePath_.isEmpty())
        return devicePath_;
    map_.refresh();
    return map_.deviceFor(commPort_);
}

void MSComm::setPortOpen(bool open)
{
    if (!open) {
        if (device_.isOpen())
            device_.close();
        if (active_ != &simulator_)
            ++source_;
        active_ = &simulator_;
        return;
    }
    if (device_.isOpen())
        return;
    const QString name = device();
    if (name.isEmpty())
        throw PortError(QStringLiteral("COM%1: no such serial port").arg(commPort_));
    device_.open(name, LineSettings::parse(settings_));
    active_ = &device_;
    ++source_;
}

void MSComm::choose(const QString& name)
{
    static const QRegularExpression portName(QStringLiteral("^COM([0-9]+)$"), QRegularExpression::CaseInsensitiveOption);
    if (const auto match = portName.match(name); match.hasMatch()) {
        bool ok = false;
        const int number = match.captured(1).toInt(&ok);
        setCommPort(ok ? number : 0);
        devicePath_.clear();
    } else {
        devicePath_ = name;
    }
}

QString MSComm::sourceName() const
{
    if (simulated())
        return QStringLiteral("simulator");
    return path() == SerialDevice::Path::FtdiBitBang ? QStringLiteral("ftdi-bitbang") : QStringLiteral("modem-lines");
}
