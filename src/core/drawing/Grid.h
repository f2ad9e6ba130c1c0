#pragma once

#include "core/drawing/PlotSpace.h"

#include <array>

struct PlotLine {
    float x1, y1, x2, y2;
    bool operator==(const PlotLine&) const = default;
};

// The 114 lines of the grid in drawing order: 11 horizontal and 11 vertical lines forming
// ten by ten divisions, then 51 ticks across the horizontal centre line and 41 across the
// vertical one.
const std::array<PlotLine, 114>& gridLines();

// Draws the grid in GridColor over whatever the surface shows; does not clear.
void drawGrid(PlotSurface& surface);
