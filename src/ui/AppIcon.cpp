#include "ui/AppIcon.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <cmath>

namespace {

// The sixteen colours of the classic palette.
QList<QRgb> sixteenColours()
{
    return {qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
            qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
            qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
            qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
}

void drawScope(QPainter& p, int size, bool mono)
{
    const QColor body = mono ? Qt::white : QColor(192, 192, 192);
    const QColor screen = mono ? Qt::white : Qt::black;
    const QColor ink = Qt::black;
    p.fillRect(0, 0, size, size, body);
    p.setPen(ink);
    p.drawRect(0, 0, size - 1, size - 1);
    const int m = size / 8;
    const QRect view(m, m, size - 2 * m, size - 3 * m);
    p.fillRect(view, screen);
    p.setPen(mono ? ink : QColor(0, 128, 128));
    p.drawLine(view.left(), view.center().y(), view.right(), view.center().y());
    p.drawLine(view.center().x(), view.top(), view.center().x(), view.bottom());
    QPainterPath wave;
    for (int x = 0; x < view.width(); ++x) {
        const double y = view.center().y() - (view.height() / 2.5) * std::sin(x * 6.283 / (view.width() * 0.55));
        x == 0 ? wave.moveTo(view.left() + x, y) : wave.lineTo(view.left() + x, y);
    }
    p.setPen(mono ? ink : QColor(0, 255, 0));
    p.drawPath(wave);
    // The port lamp below the screen.
    p.setBrush(mono ? QColor(Qt::black) : QColor(255, 0, 0));
    p.setPen(Qt::NoPen);
    const int lamp = std::max(2, size / 10);
    p.drawEllipse(size - m - lamp, size - m - lamp + 1, lamp, lamp);
}

QImage image(int size, bool mono)
{
    QImage art(size, size, QImage::Format_RGB32);
    QPainter p(&art);
    drawScope(p, size, mono);
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
