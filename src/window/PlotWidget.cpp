#include "window/PlotWidget.h"

#include "core/drawing/ScreenDrawing.h"

#include <QPaintEvent>

#include <algorithm>
#include <cmath>

namespace {
const QColor Background(0, 0, 0);
}

PlotWidget::PlotWidget(QWidget* parent) : QFrame(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(2);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::TabFocus);
    flushTimer_.setSingleShot(true);
    connect(&flushTimer_, &QTimer::timeout, this, [this] { present(false); });
    sinceFlush_.start();
    sinceClear_.start();
    rebuildImage();
}

PlotWidget::~PlotWidget() = default;

void PlotWidget::rebuildImage()
{
    painter_.reset();
    const qreal dpr = devicePixelRatioF();
    const QSize interior = contentsRect().size().expandedTo(QSize(1, 1));
    QImage image(interior * dpr, QImage::Format_RGB32);
    image.setDevicePixelRatio(dpr);
    image.fill(Background);
    if (!image_.isNull()) {
        // Keep what was drawn across a resize or a move to a screen of another density.
        QPainter copy(&image);
        copy.drawImage(QRectF(QPointF(0, 0), QSizeF(image_.size()) / dpr), image_);
    }
    image_ = std::move(image);
    update();
}

QPainter& PlotWidget::painter()
{
    if (!painter_) {
        painter_ = std::make_unique<QPainter>(&image_);
        ScreenDrawing::prepare(*painter_, image_.devicePixelRatio());
        penColour_ = 0;
    }
    return *painter_;
}

void PlotWidget::clear()
{
    // Show the finished picture before it goes, if the screen is due for a frame. A picture
    // cleared again at once (Hold, then the load's own clear) was a step, not worth a frame.
    if (!dirty().isEmpty() && sinceFlush_.elapsed() >= RepaintIntervalMs && sinceClear_.elapsed() >= StepMs
        && isVisible())
        present(true);
    painter_.reset();
    image_.fill(Background);
    simulated_ = false;
    dirty_ = contentsRect();
    sinceClear_.restart();
    flushTimer_.stop();
    scheduleFlush();
}

void PlotWidget::drawLine(float x1, float y1, float x2, float y2, QRgb colour)
{
    QPainter& p = painter();
    if (colour != penColour_) {
        penColour_ = colour;
        p.setPen(ScreenDrawing::pen(colour, image_.devicePixelRatio()));
    }
    p.drawLine(QLineF(x1, y1, x2, y2));
    drawn_.add(x1, y1, x2, y2);
    if (!flushTimer_.isActive())
        scheduleFlush();
}

template <class Change>
void PlotWidget::changeNote(Change change)
{
    if (showsOverlay())
        dirty_ = dirty_.united(overlayRect());
    change();
    if (showsOverlay())
        dirty_ = dirty_.united(overlayRect());
}

void PlotWidget::markSimulated()
{
    if (!simulated_)
        changeNote([this] { simulated_ = true; }); // shown with the lines, at the next frame
}

void PlotWidget::markUnanswered(bool unanswered)
{
    if (unanswered == unanswered_)
        return;
    changeNote([&] { unanswered_ = unanswered; });
    // Told once the sweep is over, with no line drawn after it to bring a frame.
    if (!flushTimer_.isActive())
        scheduleFlush();
}

QString PlotWidget::shownNote() const
{
    if (simulated_ && !overlay_.isEmpty())
        return overlay_;
    return unanswered_ ? unansweredText_ : QString();
}

void PlotWidget::Extent::add(float x1, float y1, float x2, float y2)
{
    left = std::min({left, x1, x2});
    top = std::min({top, y1, y2});
    right = std::max({right, x1, x2});
    bottom = std::max({bottom, y1, y2});
}

const QRect& PlotWidget::dirty()
{
    if (!drawn_.isEmpty()) {
        const QPointF origin = contentsRect().topLeft();
        const QRect area(QPoint(int(std::floor(drawn_.left / TwipsPerPixel + origin.x())) - 1,
                                int(std::floor(drawn_.top / TwipsPerPixel + origin.y())) - 1),
                         QPoint(int(std::ceil(drawn_.right / TwipsPerPixel + origin.x())) + 1,
                                int(std::ceil(drawn_.bottom / TwipsPerPixel + origin.y())) + 1));
        dirty_ = dirty_.united(area);
        drawn_ = {};
    }
    return dirty_;
}

void PlotWidget::scheduleFlush()
{
    const qint64 wait = std::max(RepaintIntervalMs - sinceFlush_.elapsed(), SettleMs - sinceClear_.elapsed());
    flushTimer_.start(int(std::max<qint64>(0, wait)));
}

void PlotWidget::present(bool now)
{
    flushTimer_.stop();
    if (const QRect area = dirty().intersected(contentsRect()); !area.isEmpty())
        now ? repaint(area) : update(area);
    dirty_ = QRect();
    sinceFlush_.restart();
}

void PlotWidget::setOverlayText(const QString& text)
{
    if (text == overlay_)
        return;
    overlay_ = text;
    update();
}

void PlotWidget::setUnansweredText(const QString& text)
{
    unansweredText_ = text;
    update();
}

const QImage& PlotWidget::overlayNote()
{
    // Laid out and drawn once per text, font and density: text layout on every repaint would
    // cost more than the rest of the repaint.
    const qreal dpr = devicePixelRatioF();
    const QString text = shownNote();
    if (overlayNote_.isNull() || text != overlayNoteText_ || !qFuzzyCompare(overlayNote_.devicePixelRatio(), dpr)) {
        QFont font = this->font();
        font.setPixelSize(12);
        const QSize box = QFontMetrics(font).boundingRect(text).adjusted(-4, -2, 4, 2).size();
        QImage note(box * dpr, QImage::Format_RGB32);
        note.setDevicePixelRatio(dpr);
        note.fill(QColor(64, 48, 0));
        QPainter p(&note);
        p.setFont(font);
        p.setPen(QColor(255, 200, 0));
        p.drawText(QRect(QPoint(0, 0), box), Qt::AlignCenter, text);
        overlayNote_ = std::move(note);
        overlayNoteText_ = text;
    }
    return overlayNote_;
}

QRect PlotWidget::overlayRect()
{
    const QSize size = overlayNote().deviceIndependentSize().toSize();
    const QRect interior = contentsRect();
    return {interior.right() - size.width() - 4, interior.top() + 4, size.width(), size.height()};
}

void PlotWidget::paintEvent(QPaintEvent* event)
{
    if (!qFuzzyCompare(image_.devicePixelRatio(), devicePixelRatioF()))
        rebuildImage(); // moved to a screen of another density
    ++repaints_;
    QPainter p(this);
    const QRect interior = contentsRect();
    // Only the part asked for: while a sweep grows, that is a strip of the picture.
    const QRect area = event->rect().intersected(interior);
    if (!area.isEmpty()) {
        const qreal dpr = image_.devicePixelRatio();
        p.drawImage(area, image_, QRectF(QPointF(area.topLeft() - interior.topLeft()) * dpr, QSizeF(area.size()) * dpr));
    }
    if (showsOverlay()) {
        if (const QRect placed = overlayRect(); placed.intersects(event->rect()))
            p.drawImage(placed.topLeft(), overlayNote());
    }
    drawFrame(&p);
}

void PlotWidget::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange)
        overlayNote_ = QImage();
    QFrame::changeEvent(event);
}

void PlotWidget::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    rebuildImage();
}
