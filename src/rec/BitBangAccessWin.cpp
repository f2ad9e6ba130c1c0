#include "rec/BitBangAccess.h"

#include "devices/FtdiTransport.h"

QString linkFor(const QString& /*device*/, const QString& description)
{
    // FTDI's own serial driver names its devices \Device\VCPn; its D2XX library drives the chip.
    if (!description.startsWith(u"\\Device\\VCP", Qt::CaseInsensitive))
        return QStringLiteral("modem-lines");
    if (!ftdiDriverPresent())
        return QStringLiteral("modem-lines (an FTDI chip, but ftd2xx.dll is not there)");
    return QStringLiteral("ftdi-bitbang");
}
