#include "rec/BitBangAccess.h"

#include <windows.h>

QString sweepPathFor(const QString& /*device*/, const QString& description)
{
    // FTDI's own serial driver names its devices \Device\VCPn; its D2XX library drives the chip.
    if (!description.startsWith(u"\\Device\\VCP", Qt::CaseInsensitive))
        return QStringLiteral("modem-lines");
    HMODULE library = LoadLibraryW(L"ftd2xx.dll");
    if (!library)
        return QStringLiteral("modem-lines (an FTDI chip, but ftd2xx.dll is not there)");
    FreeLibrary(library);
    return QStringLiteral("ftdi-bitbang");
}
