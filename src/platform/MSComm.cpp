#include "platform/MSComm.h"

#include <QDir>
#include <QSerialPortInfo>

LineSettings LineSettings::parse(const QString& text)
{
    const QStringList fields = text.split(u',');
    bool baudOk = false, dataOk = false, stopOk = false;
    LineSettings settings;
    if (fields.size() == 4) {
        settings.baudRate = fields[0].trimmed().toInt(&baudOk);
        const QString parity = fields[1].trimmed().toLower();
        settings.parity = parity.size() == 1 ? char(parity[0].unicode()) : '?';
        settings.dataBits = fields[2].trimmed().toInt(&dataOk);
        settings.stopBits = fields[3].trimmed().toInt(&stopOk);
    }
    const bool valid = baudOk && settings.baudRate > 0 && QByteArrayView("neoms").contains(settings.parity)
        && dataOk && settings.dataBits >= 5 && settings.dataBits <= 8 && stopOk
        && (settings.stopBits == 1 || settings.stopBits == 2);
    if (!valid)
        throw PortError(QStringLiteral("invalid line settings \"%1\"").arg(text));
    return settings;
}

namespace {

// Device paths in natural order, so that /dev/ttyS2 comes before /dev/ttyS10.
bool naturalLess(const QString& a, const QString& b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            qsizetype iEnd = i, jEnd = j;
            while (iEnd < a.size() && a[iEnd].isDigit())
                ++iEnd;
            while (jEnd < b.size() && b[jEnd].isDigit())
                ++jEnd;
            const qulonglong na = a.mid(i, iEnd - i).toULongLong(), nb = b.mid(j, jEnd - j).toULongLong();
            if (na != nb)
                return na < nb;
            i = iEnd;
            j = jEnd;
        } else {
            if (a[i] != b[j])
                return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

} // namespace

PortMap::PortMap(DeviceList list) : list_(std::move(list))
{
    refresh();
}

void PortMap::refresh()
{
    QList<PortDevice> devices = list_();
    std::sort(devices.begin(), devices.end(),
              [](const PortDevice& a, const PortDevice& b) { return naturalLess(a.path, b.path); });
    present_.clear();
    for (const PortDevice& device : devices) {
        present_.insert(device.stableName, device.path);
        if (std::find(numbered_.begin(), numbered_.end(), device.stableName) != numbered_.end())
            continue;
#ifdef Q_OS_WIN
        bool ok = false;
        const int number = device.path.startsWith(QStringLiteral("COM")) ? device.path.mid(3).toInt(&ok) : 0;
        const auto free = ok && number >= 1 && number <= Ports ? numbered_.begin() + number - 1 : numbered_.end();
#else
        const auto free = std::find(numbered_.begin(), numbered_.end(), QString());
#endif
        if (free != numbered_.end())
            *free = device.stableName;
    }
}

QString PortMap::deviceFor(int portNumber) const
{
    if (portNumber < 1 || portNumber > Ports || numbered_[portNumber - 1].isEmpty())
        return {};
    return present_.value(numbered_[portNumber - 1]);
}

QHash<QString, QString> PortMap::stableLinks(const QString& folder)
{
    QHash<QString, QString> links;
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& link : entries) {
        if (link.isSymLink() && !link.canonicalFilePath().isEmpty())
            links.insert(link.canonicalFilePath(), link.absoluteFilePath());
    }
    return links;
}

QList<PortDevice> PortMap::systemDevices()
{
    const QHash<QString, QString> links = stableLinks(QStringLiteral("/dev/serial/by-id"));
    QList<PortDevice> devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        devices.append({info.systemLocation(), links.value(info.systemLocation(), info.systemLocation())});
    return devices;
}

MSComm::MSComm(SerialDevice& device, ControlLines& simulator, PortMap map)
    : device_(device), deviceLines_(device), simulator_(simulator), map_(std::move(map)), active_(&simulator)
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
    active_ = &deviceLines_;
    ++source_;
}
