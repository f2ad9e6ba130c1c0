#include "core/drawing/PlotImage.h"

#include "core/drawing/ScreenDrawing.h"

#include <cmath>

namespace {

// Pixels enough for a line on the far edge of PlotSpace.
int pixels(int twips, int scale)
{
    return int(std::ceil(twips * scale / ScreenDrawing::TwipsPerPixel)) + 1;
}

} // namespace

PlotImage::PlotImage(int scale)
    : image_(pixels(PlotSpace::Width, scale), pixels(PlotSpace::Height, scale), QImage::Format_RGB32)
{
    image_.setDevicePixelRatio(scale);
    image_.fill(Qt::black);
    painter_.begin(&image_);
    ScreenDrawing::prepare(painter_, scale);
}

void PlotImage::clear()
{
    painter_.save();
    painter_.resetTransform();
    painter_.fillRect(QRect(QPoint(0, 0), image_.deviceIndependentSize().toSize() + QSize(1, 1)), Qt::black);
    painter_.restore();
}

void PlotImage::drawLine(float x1, float y1, float x2, float y2, QRgb colour)
{
    if (colour != colour_) {
        colour_ = colour;
        painter_.setPen(ScreenDrawing::pen(colour, image_.devicePixelRatio()));
    }
    painter_.drawLine(QLineF(x1, y1, x2, y2));
}
