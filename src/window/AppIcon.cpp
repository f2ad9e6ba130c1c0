#include "window/AppIcon.h"

#include "core/drawing/ScopeArt.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>

namespace {

// The sixteen colours of the classic palette.
QList<QRgb> sixteenColours()
{
    return {qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
            qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
            qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
            qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
}

QImage image(int size, bool mono)
{
    QImage art(size, size, QImage::Format_RGB32);
    QPainter p(&art);
    ScopeArt(size, mono).paint(p);
    p.end();
    return mono ? art.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither)
                : art.convertToFormat(QImage::Format_Indexed8, sixteenColours(), Qt::ThresholdDither);
}

} // namespace

QList<QImage> appIconImages()
{
    return {image(32, true), image(32, false), image(16, false)};
}

QIcon appIcon()
{
    QIcon icon;
    for (const QImage& picture : appIconImages())
        icon.addPixmap(QPixmap::fromImage(picture));
    return icon;
}
