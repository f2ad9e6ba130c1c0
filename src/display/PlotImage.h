#pragma once

#include "display/PlotSpace.h"

#include <QImage>
#include <QPainter>

// The plot as the window draws it, in a picture of its own: a black background, 15 twips to
// a pixel times the scale, one-pixel lines without smoothing, nothing around it.
class PlotImage final : public PlotSurface {
public:
    static constexpr double TwipsPerPixel = 15.0;

    explicit PlotImage(int scale = 1);

    void clear() override;
    void drawLine(float x1, float y1, float x2, float y2, QRgb colour) override;

    // The picture so far.
    const QImage& image() const { return image_; }

private:
    QImage image_;
    QPainter painter_;
    QRgb colour_ = 0;
};
