#pragma once

#include "core/drawing/PlotSpace.h"
#include "core/drawing/ScreenDrawing.h"

#include <QElapsedTimer>
#include <QFrame>
#include <QImage>
#include <QPainter>
#include <QTimer>

#include <limits>
#include <memory>

// Picture1: the plot surface on screen. It keeps its picture in a backing image at device
// resolution (15 twips to a logical pixel), so covering the window loses nothing. Lines go
// into the image through one painter kept open; the screen shows the image at most about
// 60 times a second, since a repaint per segment would cost far more than the segment.
//
// Which moments reach the screen: the finished picture just before it is cleared, and, once
// the picture is older than SettleMs, the growing one. Sweeps from the simulator take a
// few milliseconds, so the screen shows each as a whole rather than flickering partial
// traces; a slow sweep from real hardware is seen to grow.
class PlotWidget final : public QFrame, public PlotSurface {
    Q_OBJECT
public:
    static constexpr double TwipsPerPixel = ScreenDrawing::TwipsPerPixel;
    static constexpr int RepaintIntervalMs = 16;
    static constexpr int SettleMs = 50;
    // A picture cleared within this time of its own clear is never shown: no sweep is so quick.
    static constexpr int StepMs = 1;

    explicit PlotWidget(QWidget* parent = nullptr);
    ~PlotWidget() override;

    void clear() override;
    void drawLine(float x1, float y1, float x2, float y2, QRgb colour) override;

    void markSimulated() override;
    void markUnanswered(bool unanswered) override;

    // A small note in the top-right corner, over the plot but not part of it, shown while the
    // picture holds simulated data; empty shows none.
    void setOverlayText(const QString& text);
    const QString& overlayText() const { return overlay_; }
    // The note shown in the same place while the last sweep from a port was one where nothing
    // answered, unless the picture holds simulated data.
    void setUnansweredText(const QString& text);
    // The note shown now; empty when none.
    QString shownNote() const;
    bool showsOverlay() const { return !shownNote().isEmpty(); }

    // The interior's picture, one pixel per logical pixel's worth of device pixels.
    const QImage& picture() const { return image_; }
    int repaintCount() const { return repaints_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void rebuildImage();
    QPainter& painter();
    // dirty_ with the lines drawn since it was last brought up to date.
    const QRect& dirty();
    void scheduleFlush();
    // Hands what changed since the last frame to the screen: painted now, or with the next paint.
    void present(bool now);
    const QImage& overlayNote();
    QRect overlayRect();
    // Repaints where the note was and where it is after `change`.
    template <class Change>
    void changeNote(Change change);

    QImage image_;
    std::unique_ptr<QPainter> painter_;
    QRgb penColour_ = 0;
    QRect dirty_;             // in widget coordinates, waiting for the next repaint
    // The extent of the lines drawn since dirty_ took them in, in PlotSpace units: a line only
    // widens it, pixels are worked out once per repaint rather than once per line.
    struct Extent {
        float left = std::numeric_limits<float>::infinity();
        float top = std::numeric_limits<float>::infinity();
        float right = -std::numeric_limits<float>::infinity();
        float bottom = -std::numeric_limits<float>::infinity();
        void add(float x1, float y1, float x2, float y2);
        bool isEmpty() const { return left > right; }
    } drawn_;
    QTimer flushTimer_;
    QElapsedTimer sinceFlush_;
    QElapsedTimer sinceClear_;
    QString overlay_;
    QString unansweredText_;
    bool simulated_ = false;  // the picture holds simulated data since its last clear
    bool unanswered_ = false; // the last sweep from a port was one where nothing answered
    QImage overlayNote_;      // the overlay as shown, made when first needed
    QString overlayNoteText_; // what overlayNote_ says
    int repaints_ = 0;
};
