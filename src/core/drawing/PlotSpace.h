#pragma once

#include <QRgb>

// The drawing coordinates shared by screen and paper, in twips: x 0..8200 left to right,
// y 0..5000 top to bottom.
namespace PlotSpace {
constexpr int Width = 8200;
constexpr int Height = 5000;
} // namespace PlotSpace

constexpr QRgb GridColor = 0xFF00C8C8u;  // red 0, green 200, blue 200
constexpr QRgb TraceColor = 0xFF00FF00u; // red 0, green 255, blue 0

// The screen surface the plot is drawn on: cleared, then drawn on line by line; what is
// drawn stays until the next clear. Lines outside PlotSpace are cut at its edge.
class PlotSurface {
public:
    virtual ~PlotSurface() = default;
    virtual void clear() = 0;
    virtual void drawLine(float x1, float y1, float x2, float y2, QRgb colour) = 0;
    // What was drawn since the last clear includes simulated data; the next clear forgets it.
    virtual void markSimulated() = 0;
    // Whether the last sweep from a port was one where nothing answered (the converter's data
    // line never moved); clears keep it until it is told again.
    virtual void markUnanswered(bool unanswered) = 0;
};
