#pragma once

#include <QByteArray>
#include <QColor>
#include <QPainter>
#include <QPolygonF>
#include <QRect>

// The program's picture: a small scope screen with a green trace and the port lamp below it.
// One description, painted for the window icon and the desktop's bitmaps, and written out as
// SVG for the scalable icon.
struct ScopeArt {
    int size = 0;
    QColor body, ink, screen, axes, trace, lamp;
    QRect view;      // the screen
    QPolygonF wave;  // through pixel corners, as the painter draws without smoothing
    QRect lampRect;

    ScopeArt(int size, bool mono);

    void paint(QPainter& p) const;
    QByteArray svg() const;
};
