#include "core/drawing/PdfPage.h"

#include "core/drawing/ScreenDrawing.h"

namespace {

// One screen pixel, so the page shows the plot as the window does, at the same size.
constexpr qreal PenWidth = ScreenDrawing::TwipsPerPixel;

} // namespace

bool PagePainter::begin(QPagedPaintDevice& device)
{
    if (!painter_.begin(&device))
        return false;
    painter_.scale(device.logicalDpiX() / 1440.0, device.logicalDpiY() / 1440.0);
    colour_ = qRgb(0, 0, 0);
    painter_.setPen(QPen(QColor::fromRgb(colour_), PenWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    return true;
}

void PagePainter::drawLine(float x1, float y1, float x2, float y2, std::optional<QRgb> colour)
{
    if (const QRgb wanted = colour.value_or(qRgb(0, 0, 0)); wanted != colour_) {
        colour_ = wanted;
        QPen pen = painter_.pen();
        pen.setColor(QColor::fromRgb(wanted));
        painter_.setPen(pen);
    }
    painter_.drawLine(QLineF(x1, y1, x2, y2));
}

PdfPage::PdfPage(const QString& title) : writer_(&buffer_)
{
    buffer_.open(QIODevice::WriteOnly);
    writer_.setTitle(title);
    writer_.setCreator(QStringLiteral("Q390"));
}
