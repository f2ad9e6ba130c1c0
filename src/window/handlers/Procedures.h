#pragma once

#include "core/drawing/Grid.h"

// The window's procedure of its own, over the core's.

// Draws the grid in GridColor over whatever the surface shows; does not clear.
inline void Drawgrid1(PlotSurface& surface)
{
    drawGrid(surface);
}
