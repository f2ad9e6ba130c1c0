#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include <array>
#include <functional>
#include <optional>

// A serial device as the system reports it: its path, a name that stays the same when it is
// unplugged and plugged in again (its /dev/serial/by-id link where it has one), its device
// node's major and minor numbers (0 where there are none), which stay the same while it is
// plugged in whatever name it is listed by, and what it is.
struct PortDevice {
    QString path;
    QString stableName;
    quint64 node = 0;
    QString description; // "FT232R USB UART", for one; may be empty
};

// Port `number` as the port list and the tools name it: "COM3".
QString portName(int number);

// A port number and the device under it; the device is empty while no device has the number.
struct PortEntry {
    int number = 0;
    QString device;
    QString description; // as PortDevice's
};

// Gives port numbers 1 to 16 to devices the way Windows does. On Windows COMn is the device
// "COMn". Elsewhere the devices present when the map is made take COM1, COM2, ... in path
// order; a device that appears later takes the lowest free number; a number stays with its
// device (known by its stable name) for the whole run, also while it is unplugged, so that a
// number never moves to a device the user did not choose.
class PortMap {
public:
    static constexpr int Ports = 16;
    using DeviceList = std::function<QList<PortDevice>()>;

    explicit PortMap(DeviceList list);
    // Looks at the system's devices again; a new one takes the lowest free number.
    void refresh();
    // The path of the device under the port number as of the last refresh; empty when none.
    QString deviceFor(int portNumber) const;
    // As of the last refresh: the stable name of the device at a path (the path itself when
    // the system lists no device there), and the path where the device of a stable name is
    // now (empty while it is not there).
    QString stableName(const QString& path) const;
    QString pathOf(const QString& stableName) const { return present_.value(stableName).path; }
    // Every port number in order, 1 to Ports, with its device as of the last refresh.
    QList<PortEntry> entries() const;

    // The system's serial devices as QSerialPortInfo reports them.
    static QList<PortDevice> systemDevices();
    // The links in a folder such as /dev/serial/by-id, by the device each one points at.
    static QHash<QString, QString> stableLinks(const QString& folder);

private:
    // The number the system itself gives a device, where it numbers its ports (0 for one it
    // gives none of 1 to Ports); none where the map numbers them.
    static std::optional<int> systemNumber(const PortDevice& device);

    DeviceList list_;
    std::array<QString, Ports> numbered_; // stable name by port number - 1; empty while free
    QHash<QString, PortDevice> present_;  // by stable name, the devices present now
};
