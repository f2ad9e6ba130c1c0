#include "devices/PortMap.h"

#include <QFile>
#include <QSerialPortInfo>

#include <sys/stat.h>

QList<PortDevice> PortMap::systemDevices()
{
    const QHash<QString, QString> links = stableLinks(QStringLiteral("/dev/serial/by-id"));
    QList<PortDevice> devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        quint64 node = 0;
        if (struct stat status {}; ::stat(QFile::encodeName(info.systemLocation()).constData(), &status) == 0)
            node = status.st_rdev;
        devices.append({info.systemLocation(), links.value(info.systemLocation(), info.systemLocation()), node,
                        info.description()});
    }
    return devices;
}

// The system gives its serial devices no numbers: the map gives them.
std::optional<int> PortMap::systemNumber(const PortDevice&)
{
    return std::nullopt;
}
