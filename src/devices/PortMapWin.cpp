#include "devices/PortMap.h"

#include <iterator>

#include <windows.h>

// The ports the system has now, from the registry's device map: each value names the driver's
// device (\Device\Serial0, \Device\VCP0 ...) and holds the port's name, "COMn", which Windows
// gives a device for good; that name is also the stable one.
QList<PortDevice> PortMap::systemDevices()
{
    QList<PortDevice> devices;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return devices;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        wchar_t data[256];
        DWORD nameLength = std::size(name);
        DWORD dataSize = sizeof data - sizeof(wchar_t);
        DWORD type = 0;
        const LSTATUS status = RegEnumValueW(key, index, name, &nameLength, nullptr, &type,
                                             reinterpret_cast<BYTE*>(data), &dataSize);
        if (status == ERROR_MORE_DATA)
            continue;
        if (status != ERROR_SUCCESS)
            break;
        if (type != REG_SZ)
            continue;
        data[dataSize / sizeof(wchar_t)] = L'\0';
        const QString port = QString::fromWCharArray(data);
        devices.append({port, port, 0, QString::fromWCharArray(name, int(nameLength))});
    }
    RegCloseKey(key);
    return devices;
}

// Windows gives each port its number for good: COMn is port n, and a number outside the list's
// (COM17, or a name that is no COMn) is none.
std::optional<int> PortMap::systemNumber(const PortDevice& device)
{
    bool ok = false;
    const int number = device.path.startsWith(QStringLiteral("COM")) ? device.path.mid(3).toInt(&ok) : 0;
    return ok ? number : 0;
}
