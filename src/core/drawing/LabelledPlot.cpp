#include "core/drawing/LabelledPlot.h"

#include "core/drawing/PlotSpace.h"
#include "core/drawing/ScreenDrawing.h"

#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>

#include <algorithm>
#include <cmath>

namespace {

constexpr qreal PlotWidth = PlotSpace::Width;
constexpr qreal PlotHeight = PlotSpace::Height;

// The words' fonts and the lengths laid out from them, in the units the painter draws in.
struct Style {
    QFont text;
    QFont title;
    qreal em, tick, gap, margin;

    explicit Style(int size)
    {
        text.setFamily(QStringLiteral("DejaVu Sans"));
        text.setStyleHint(QFont::SansSerif, QFont::PreferNoShaping);
        text.setPixelSize(size);
        title = text;
        title.setPixelSize(size * 6 / 5);
        title.setBold(true);
        em = QFontMetricsF(text).height();
        tick = 0.4 * em;
        gap = 0.3 * em;
        margin = 0.6 * em;
    }
    qreal width(const QString& words) const { return QFontMetricsF(text).horizontalAdvance(words); }
    qreal legendText() const { return 24 * em; } // a longer entry is cut short with an ellipsis
};

// The room the words take on each side of the plot, and the title's lines.
struct Margins {
    qreal left, top, right, bottom;
    QStringList title;
    qreal width = 0; // of the picture or page
};

// The title's parts on as few lines of that width as they fit on.
QStringList titleLines(const QFontMetricsF& metrics, const QStringList& parts, qreal width)
{
    QStringList lines;
    for (const QString& part : parts) {
        if (!lines.isEmpty()) {
            const QString longer = lines.last() + QStringLiteral(", ") + part;
            if (metrics.horizontalAdvance(longer) <= width) {
                lines.last() = longer;
                continue;
            }
            lines.last() += u',';
        }
        lines << part;
    }
    return lines;
}

Margins marginsFor(const Style& s, const PlotLabels& labels)
{
    qreal widest = s.width(labels.axes.voltsTitle);
    for (const AxisMark& mark : labels.axes.volts)
        widest = std::max(widest, s.width(mark.text));
    qreal right = labels.axes.time.empty() ? 0 : s.width(labels.axes.time.back().text) / 2;
    if (!labels.legend.empty()) {
        qreal longest = 0;
        for (const LegendEntry& entry : labels.legend)
            longest = std::max(longest, std::min(s.width(entry.text), s.legendText()));
        right = std::max(right, 2 * s.gap + 1.2 * s.em + s.gap + longest);
    }
    return {s.margin + widest + s.gap + s.tick, s.margin + s.gap + s.em + s.gap, s.margin + right,
            s.tick + s.gap + s.em + s.gap + s.em + s.margin, {}, 0};
}

// The title set in lines across the width, and the room above the plot made for them.
void addTitle(Margins& m, const Style& s, const PlotLabels& labels, qreal width)
{
    const QFontMetricsF metrics(s.title);
    m.width = width;
    m.title = titleLines(metrics, labels.title, width - 2 * s.margin);
    m.top += m.title.size() * metrics.height();
}

// `plot` is where PlotSpace lies; the marks stand outside `frame`, what the plot's drawing covers.
void paintLabels(QPainter& p, const QRectF& plot, const QRectF& frame, const PlotLabels& labels, const Margins& m, const Style& s)
{
    const auto yOf = [&](float at) { return plot.top() + at * plot.height() / PlotHeight; };
    const auto xOf = [&](float at) { return plot.left() + at * plot.width() / PlotWidth; };
    p.save();
    QPen pen(Qt::black, 0);
    p.setPen(pen);

    p.setFont(s.title);
    const QFontMetricsF titleMetrics(s.title);
    const qreal titleWidth = m.width - 2 * s.margin;
    for (qsizetype n = 0; n < m.title.size(); ++n)
        p.drawText(QPointF(s.margin, s.margin + n * titleMetrics.height() + titleMetrics.ascent()),
                   titleMetrics.elidedText(m.title[n], Qt::ElideRight, titleWidth));

    p.setFont(s.text);
    const qreal labelRight = frame.left() - s.tick - s.gap;
    p.drawText(QRectF(0, plot.top() - s.gap - s.em, labelRight, s.em), Qt::AlignRight | Qt::AlignBottom, labels.axes.voltsTitle);
    for (const AxisMark& mark : labels.axes.volts) {
        const qreal y = yOf(mark.at);
        p.drawLine(QLineF(frame.left() - s.tick, y, frame.left(), y));
        p.drawText(QRectF(0, y - s.em / 2, labelRight, s.em), Qt::AlignRight | Qt::AlignVCenter, mark.text);
    }
    const qreal marksTop = frame.bottom() + s.tick + s.gap;
    for (const AxisMark& mark : labels.axes.time) {
        const qreal x = xOf(mark.at);
        p.drawLine(QLineF(x, frame.bottom(), x, frame.bottom() + s.tick));
        p.drawText(QRectF(x - 5 * s.em, marksTop, 10 * s.em, s.em), Qt::AlignHCenter | Qt::AlignTop, mark.text);
    }
    const QRectF lastLine(plot.left(), marksTop + s.em + s.gap, plot.width(), s.em);
    p.drawText(lastLine, Qt::AlignHCenter | Qt::AlignTop, labels.axes.timeTitle);
    p.drawText(lastLine, Qt::AlignRight | Qt::AlignTop, labels.axes.perDivision);

    // The legend down the right of the plot, as many entries as there is room for.
    const QFontMetricsF metrics(s.text);
    const qreal row = 1.3 * s.em;
    const qreal swatch = 1.2 * s.em;
    const qreal left = frame.right() + 2 * s.gap;
    const std::size_t room = std::max<std::size_t>(1, std::size_t(plot.height() / row));
    for (std::size_t n = 0; n < labels.legend.size() && n < room; ++n) {
        const qreal y = plot.top() + n * row;
        QString words = labels.legend[n].text;
        if (n + 1 == room && labels.legend.size() > room)
            words = QStringLiteral("and %1 more").arg(labels.legend.size() - n);
        else
            p.fillRect(QRectF(left, y + 0.3 * s.em, swatch, 0.4 * s.em), QColor::fromRgb(labels.legend[n].colour));
        p.drawText(QRectF(left + swatch + s.gap, y, s.legendText(), s.em), Qt::AlignLeft | Qt::AlignVCenter,
                   metrics.elidedText(words, Qt::ElideMiddle, s.legendText()));
    }
    p.restore();
}

} // namespace

QImage labelledImage(const QImage& plot, const PlotLabels& labels)
{
    const Style style(12);
    const QSizeF inside = plot.deviceIndependentSize();
    Margins m = marginsFor(style, labels);
    addTitle(m, style, labels, m.left + inside.width() + m.right);
    const qreal left = std::ceil(m.left), top = std::ceil(m.top);
    const qreal dpr = plot.devicePixelRatio();
    const QSize logical(int(std::ceil(left + inside.width() + m.right)), int(std::ceil(top + inside.height() + m.bottom)));
    QImage image(logical * dpr, QImage::Format_RGB32);
    image.setDevicePixelRatio(dpr);
    image.fill(Qt::white);
    QPainter p(&image);
    p.drawImage(QPointF(left, top), plot);
    const qreal twips = ScreenDrawing::TwipsPerPixel;
    // The picture's last row and column of pixels lie beyond PlotSpace: the marks start past them.
    const qreal pixel = 1 / dpr;
    paintLabels(p, QRectF(left, top, PlotWidth / twips, PlotHeight / twips),
                QRectF(left - pixel, top, inside.width() + pixel, inside.height()), labels, m, style);
    return image;
}

bool LabelledPage::begin(QPagedPaintDevice& device, const PlotLabels& labels)
{
    device.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF(10, 10, 10, 10),
                                     QPageLayout::Millimeter));
    // Twips from the top-left of the printable area, as the printed page.
    if (!page_.begin(device))
        return false;
    QPainter& painter = page_.painter();
    const qreal width = device.width() * 1440.0 / device.logicalDpiX();
    const qreal height = device.height() * 1440.0 / device.logicalDpiY();

    const Style style(200); // 10 points
    Margins m = marginsFor(style, labels);
    addTitle(m, style, labels, width);
    const qreal scale = std::min((width - m.left - m.right) / PlotWidth, (height - m.top - m.bottom) / PlotHeight);
    const QSizeF size(PlotWidth * scale, PlotHeight * scale);
    const QRectF plot(QPointF(m.left + (width - m.left - m.right - size.width()) / 2,
                              m.top + (height - m.top - m.bottom - size.height()) / 2),
                      size);
    paintLabels(painter, plot, plot, labels, m, style);

    // Into the plot, its lines as wide on paper as the printed page's.
    QPen pen = painter.pen();
    painter.setClipRect(plot.adjusted(-pen.widthF() / 2, -pen.widthF() / 2, pen.widthF() / 2, pen.widthF() / 2));
    painter.translate(plot.topLeft());
    painter.scale(scale, scale);
    pen.setWidthF(pen.widthF() / scale);
    painter.setPen(pen);
    return true;
}
