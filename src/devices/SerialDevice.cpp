#include "devices/SerialDevice.h"

#include <QByteArrayView>
#include <QStringList>

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
        throw PortError(FailureKind::LineSettings, 0, text);
    return settings;
}
