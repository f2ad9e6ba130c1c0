#include "display/PlotImage.h"

#include <cmath>

PlotImage::PlotImage(int scale)
    : image_(int(std::ceil(PlotSpace::Width * scale / TwipsPerPixel)) + 1,
             int(std::ceil(PlotSpace::Height * scale / TwipsPerPixel)) + 1, QImage::Format_RGB32)
{
    image_.fill(Qt::black);
    painter_.begin(&image_);
    painter_.setRenderHint(QPainter::Antialiasing, false);
    painter_.scale(scale / TwipsPerPixel, scale / TwipsPerPixel);
    painter_.setPen(QPen(QColor::fromRgb(colour_), 0));
}

void PlotImage::clear()
{
    painter_.save();
    painter_.resetTransform();
    painter_.fillRect(image_.rect(), Qt::black);
    painter_.restore();
}

void PlotImage::drawLine(float x1, float y1, float x2, float y2, QRgb colour)
{
    if (colour != colour_) {
        colour_ = colour;
        painter_.setPen(QPen(QColor::fromRgb(colour), 0));
    }
    painter_.drawLine(QLineF(x1, y1, x2, y2));
}
