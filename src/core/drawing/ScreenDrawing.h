#pragma once

#include <QPainter>
#include <QPen>
#include <QRgb>

// How PlotSpace lines are drawn into a picture of the screen at a density of dpr device pixels
// to a logical pixel: 15 twips to a logical pixel, no smoothing, lines one logical pixel wide
// and sharp at any density. The window's plot and q390-dat's PNG are drawn alike
// through it.
namespace ScreenDrawing {

constexpr double TwipsPerPixel = 15.0;

inline QPen pen(QRgb colour, qreal dpr)
{
    QPen pen(QColor::fromRgb(colour), dpr > 1 ? qRound(dpr) : 0);
    pen.setCosmetic(true);
    return pen;
}

// Readies a painter just begun on a picture of that density; its pen is black.
inline void prepare(QPainter& painter, qreal dpr)
{
    painter.setRenderHint(QPainter::Antialiasing, false);
    // As many device pixels wide, from the point down and to the right, as a one-pixel line
    // covers at 100 %.
    const qreal shift = (dpr - 1) / (2 * dpr);
    painter.translate(shift, shift);
    painter.scale(1.0 / TwipsPerPixel, 1.0 / TwipsPerPixel);
    painter.setPen(pen(0, dpr));
}

} // namespace ScreenDrawing
