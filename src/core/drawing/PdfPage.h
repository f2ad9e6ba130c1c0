#pragma once

#include <QBuffer>
#include <QPainter>
#include <QPdfWriter>

#include <optional>

// How a page is drawn on any paged device, printer or PDF: one PlotSpace unit is one twip
// from the top-left of the printable area, lines one screen pixel (15 twips) wide.
class PagePainter {
public:
    // False when the device will not start a page.
    bool begin(QPagedPaintDevice& device);
    // Without a colour the line is black, the printer's default.
    void drawLine(float x1, float y1, float x2, float y2, std::optional<QRgb> colour = std::nullopt);
    // False when the device could not finish the document.
    bool end() { return painter_.end(); }
    bool isActive() const { return painter_.isActive(); }
    // For what else goes on the page; lines drawn after keep its pen's width.
    QPainter& painter() { return painter_; }

private:
    QPainter painter_;
    QRgb colour_ = 0;
};

// A one-document PDF made in memory, so that it reaches its file whole or not at all.
class PdfPage {
public:
    explicit PdfPage(const QString& title);

    QPagedPaintDevice& device() { return writer_; }
    // The document once the painter on it has ended.
    const QByteArray& bytes() const { return buffer_.data(); }

private:
    QBuffer buffer_;
    QPdfWriter writer_;
};
