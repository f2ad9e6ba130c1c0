#pragma once

#include <QPainter>
#include <QPen>
#include <QRgb>

// How PlotSpace lines are drawn into a picture of the screen: 15 twips to a logical pixel,
// no smoothing, lines one device pixel wide. Picture1's backing image and q390-dat's PNG are
// drawn alike through it.
namespace ScreenDrawing {

constexpr double TwipsPerPixel = 15.0;

inline QPen pen(QRgb colour)
{
    return QPen(QColor::fromRgb(colour), 0);
}

// Readies a painter just begun on a picture in logical pixels; its pen is black.
inline void prepare(QPainter& painter)
{
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.scale(1.0 / TwipsPerPixel, 1.0 / TwipsPerPixel);
    painter.setPen(pen(0));
}

} // namespace ScreenDrawing
