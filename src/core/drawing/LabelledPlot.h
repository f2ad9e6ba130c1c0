#pragma once

#include "core/drawing/PdfPage.h"
#include "core/drawing/PlotAxes.h"

#include <QImage>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QRgb>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// The plot with what it takes to read it around it: a title line, volts on the left, time or
// sample numbers below, the size of a division and, for several traces, a legend. The grid and
// the traces inside are drawn as they always are; only the words and marks are added.
struct LegendEntry {
    QRgb colour = 0;
    QString text;
};

struct PlotLabels {
    QStringList title; // its parts, joined by ", ", the line broken between parts where it is full
    PlotAxes axes;
    std::vector<LegendEntry> legend; // none for a single trace
};

// The window's picture (a PlotImage's, at its scale) with the labels around it on white; the
// plot's pixels are the picture's, unchanged.
QImage labelledImage(const QImage& plot, const PlotLabels& labels);

// A landscape page with the plot filling it and the labels as text. Between begin and end,
// lines in PlotSpace units go into the plot, cut at its edge, one screen pixel (15 twips) wide
// on paper whatever the plot's size; without a colour a line is black, as on the printed page.
class LabelledPage {
public:
    // False when the device will not start a page.
    bool begin(QPagedPaintDevice& device, const PlotLabels& labels);
    void drawLine(float x1, float y1, float x2, float y2, std::optional<QRgb> colour = std::nullopt)
    {
        page_.drawLine(x1, y1, x2, y2, colour);
    }
    // False when the device could not finish the document.
    bool end() { return page_.end(); }

private:
    PagePainter page_;
};
