#include "devices/PortMap.h"

#include <QDir>

#include <algorithm>
#include <utility>

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
    const QHash<QString, PortDevice> before = std::exchange(present_, {});
    for (const PortDevice& device : devices)
        present_.insert(device.stableName, device);
    for (const PortDevice& device : devices) {
        if (std::find(numbered_.begin(), numbered_.end(), device.stableName) != numbered_.end())
            continue;
        // Listed before udev had made its stable link, the same device, still plugged in, was
        // known by another name: it keeps its number under the new one.
        const auto renamed = std::find_if(numbered_.begin(), numbered_.end(), [&](const QString& name) {
            return device.node && !name.isEmpty() && !present_.contains(name) && before.value(name).node == device.node;
        });
        if (renamed != numbered_.end()) {
            *renamed = device.stableName;
            continue;
        }
        const std::optional<int> own = systemNumber(device);
        const auto free = !own                 ? std::find(numbered_.begin(), numbered_.end(), QString())
            : *own >= 1 && *own <= Ports ? numbered_.begin() + *own - 1
                                         : numbered_.end();
        if (free != numbered_.end())
            *free = device.stableName;
    }
}

QString PortMap::deviceFor(int portNumber) const
{
    if (portNumber < 1 || portNumber > Ports || numbered_[portNumber - 1].isEmpty())
        return {};
    return present_.value(numbered_[portNumber - 1]).path;
}

QList<PortEntry> PortMap::entries() const
{
    QList<PortEntry> entries;
    for (int n = 1; n <= Ports; ++n) {
        const PortDevice device = numbered_[n - 1].isEmpty() ? PortDevice() : present_.value(numbered_[n - 1]);
        entries.append({n, device.path, device.description});
    }
    return entries;
}

QString portName(int number)
{
    return QStringLiteral("COM%1").arg(number);
}

QString PortMap::stableName(const QString& path) const
{
    for (auto device = present_.cbegin(); device != present_.cend(); ++device)
        if (device.value().path == path)
            return device.key();
    return path;
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
