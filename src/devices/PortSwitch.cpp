#include "devices/PortSwitch.h"

#include <QRegularExpression>

#include <cerrno>

PortSwitch::PortSwitch(SerialDevice& device, ControlLines& simulator, PortMap& map)
    : device_(device), simulator_(simulator), map_(map), active_(&simulator)
{
}

void PortSwitch::setSettings(const QString& settings)
{
    LineSettings::parse(settings);
    settings_ = settings;
}

void PortSwitch::setPortNumber(int portNumber)
{
    if (portNumber < 1 || portNumber > PortMap::Ports)
        throw PortError(FailureKind::PortNumber, 0, portName(portNumber));
    portNumber_ = portNumber;
}

QString PortSwitch::device()
{
    if (!devicePath_.isEmpty())
        return devicePath_;
    map_.refresh();
    return map_.deviceFor(portNumber_);
}

void PortSwitch::close()
{
    if (device_.isOpen())
        device_.close();
    if (active_ != &simulator_)
        ++source_;
    active_ = &simulator_;
}

void PortSwitch::open()
{
    if (device_.isOpen())
        return;
    const QString name = device();
    if (name.isEmpty())
        throw PortError(FailureKind::NoSuchPort, ENODEV, portName(portNumber_));
    device_.open(name, LineSettings::parse(settings_));
    active_ = &device_;
    ++source_;
}

void PortSwitch::choose(const QString& name)
{
    static const QRegularExpression comName(QStringLiteral("^COM([0-9]+)$"), QRegularExpression::CaseInsensitiveOption);
    if (const auto match = comName.match(name); match.hasMatch()) {
        bool ok = false;
        const int number = match.captured(1).toInt(&ok);
        setPortNumber(ok ? number : 0);
        devicePath_.clear();
    } else {
        devicePath_ = name;
    }
}

QString PortSwitch::linkName() const
{
    if (simulated())
        return QStringLiteral("simulator");
    return link() == SerialDevice::Link::FtdiBitBang ? QStringLiteral("ftdi-bitbang") : QStringLiteral("modem-lines");
}
