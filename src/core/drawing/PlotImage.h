#pragma once

#include "core/drawing/PlotSpace.h"

#include <QImage>
#include <QPainter>

// The plot as the window draws it, in a picture of its own: a black background, drawn as
// the window's plot draws on a screen of the given scale (device pixels to a logical pixel), nothing
// around it.
class PlotImage final : public PlotSurface {
public:
    explicit PlotImage(int scale = 1);

    void clear() override;
    void drawLine(float x1, float y1, float x2, float y2, QRgb colour) override;
    // The notes on simulated data and on a port where nothing answered are the window's, not
    // part of the plot's pixels.
    void markSimulated() override {}
    void markUnanswered(bool) override {}

    const QImage& image() const { return image_; }

private:
    QImage image_;
    QPainter painter_;
    QRgb colour_ = 0;
};
