#include "platform/MSComm.h"

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

PortMap::PortMap(DeviceList list) : list_(std::move(list)) {}

QStringList PortMap::sortedDevices() const
{
#ifdef Q_OS_WIN
    return {};
#else
    QStringList devices = list_();
    std::sort(devices.begin(), devices.end(), naturalLess);
    return devices;
#endif
}

QString PortMap::deviceFor(int portNumber, const QStringList& sorted) const
{
#ifdef Q_OS_WIN
    Q_UNUSED(sorted);
    return QStringLiteral("COM%1").arg(portNumber);
#else
    return portNumber >= 1 && portNumber <= sorted.size() ? sorted[portNumber - 1] : QString();
#endif
}

QStringList PortMap::systemDevices()
{
    QStringList devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        devices << info.systemLocation();
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

QString MSComm::device() const
{
    return devicePath_.isEmpty() ? map_.deviceFor(commPort_) : devicePath_;
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
