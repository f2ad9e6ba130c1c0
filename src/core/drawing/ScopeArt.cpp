#include "core/drawing/ScopeArt.h"

#include <algorithm>
#include <cmath>

ScopeArt::ScopeArt(int size, bool mono)
    : size(size),
      body(mono ? Qt::white : QColor(192, 192, 192)),
      ink(Qt::black),
      screen(mono ? Qt::white : Qt::black),
      axes(mono ? ink : QColor(0, 128, 128)),
      trace(mono ? ink : QColor(0, 255, 0)),
      lamp(mono ? ink : QColor(255, 0, 0))
{
    const int m = size / 8;
    view = QRect(m, m, size - 2 * m, size - 3 * m);
    for (int x = 0; x < view.width(); ++x)
        wave << QPointF(view.left() + x,
                        view.center().y() - (view.height() / 2.5) * std::sin(x * 6.283 / (view.width() * 0.55)));
    const int side = std::max(2, size / 10);
    lampRect = QRect(size - m - side, size - m - side + 1, side, side);
}

void ScopeArt::paint(QPainter& p) const
{
    p.fillRect(0, 0, size, size, body);
    p.setPen(ink);
    p.drawRect(0, 0, size - 1, size - 1);
    p.fillRect(view, screen);
    p.setPen(axes);
    p.drawLine(view.left(), view.center().y(), view.right(), view.center().y());
    p.drawLine(view.center().x(), view.top(), view.center().x(), view.bottom());
    p.setPen(trace);
    p.drawPolyline(wave);
    p.setBrush(lamp);
    p.setPen(Qt::NoPen);
    p.drawEllipse(lampRect);
}

QByteArray ScopeArt::svg() const
{
    // A one-pixel line the painter draws through pixel corners covers the pixel to their
    // right and below: in SVG it runs through the pixel centres, half a unit on.
    const auto n = [](double v) { return QByteArray::number(v, 'g', 6); };
    const auto c = [](const QColor& colour) { return colour.name().toLatin1(); };
    QByteArray points;
    for (const QPointF& point : wave)
        points += n(point.x() + 0.5) + ',' + n(point.y() + 0.5) + ' ';
    const QByteArray s = n(size);
    return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + s + "\" height=\"" + s + "\" viewBox=\"0 0 " + s
        + ' ' + s + "\">\n"
        + "<rect width=\"" + s + "\" height=\"" + s + "\" fill=\"" + c(body) + "\"/>\n"
        + "<rect x=\"0.5\" y=\"0.5\" width=\"" + n(size - 1) + "\" height=\"" + n(size - 1)
        + "\" fill=\"none\" stroke=\"" + c(ink) + "\"/>\n"
        + "<rect x=\"" + n(view.x()) + "\" y=\"" + n(view.y()) + "\" width=\"" + n(view.width()) + "\" height=\""
        + n(view.height()) + "\" fill=\"" + c(screen) + "\"/>\n"
        + "<path d=\"M" + n(view.left()) + ',' + n(view.center().y() + 0.5) + " H" + n(view.right() + 1) + " M"
        + n(view.center().x() + 0.5) + ',' + n(view.top()) + " V" + n(view.bottom() + 1) + "\" stroke=\"" + c(axes)
        + "\"/>\n"
        + "<polyline points=\"" + points.trimmed() + "\" fill=\"none\" stroke=\"" + c(trace) + "\"/>\n"
        + "<ellipse cx=\"" + n(lampRect.x() + lampRect.width() / 2.0) + "\" cy=\"" + n(lampRect.y() + lampRect.height() / 2.0)
        + "\" rx=\"" + n(lampRect.width() / 2.0) + "\" ry=\"" + n(lampRect.height() / 2.0) + "\" fill=\"" + c(lamp)
        + "\"/>\n</svg>\n";
}
