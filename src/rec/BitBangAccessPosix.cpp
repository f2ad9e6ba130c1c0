#include "rec/BitBangAccess.h"

#include "devices/FtdiTransport.h"

#include <QFile>

#include <unistd.h>

QString linkFor(const QString& device, const QString& /*description*/)
{
    const std::optional<FtdiLocation> chip = findFtdiChip(device, QStringLiteral("/sys"));
    if (!chip)
        return QStringLiteral("modem-lines");
    // libusb opens the chip through its node under /dev/bus/usb, which the udev rule opens to
    // the user at the seat.
    const QString node = QString::asprintf("/dev/bus/usb/%03d/%03d", chip->bus, chip->address);
    if (::access(QFile::encodeName(node).constData(), R_OK | W_OK) != 0)
        return QStringLiteral("modem-lines (an FTDI chip, but %1 is not open to this user)").arg(node);
    return QStringLiteral("ftdi-bitbang");
}
