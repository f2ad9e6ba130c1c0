#pragma once

#include "core/drawing/Grid.h"
#include "core/drawing/Trace.h"

// The printed page: the grid in the default colour, then the stored samples as one trace in
// TraceColor, read in the range. Surface takes drawLine(x1, y1, x2, y2[, colour]).
template <class Surface>
void drawPrintedPage(Surface& page, const SampleArray& samples, std::optional<Range> range)
{
    for (const PlotLine& line : gridLines())
        page.drawLine(line.x1, line.y1, line.x2, line.y2);
    traceStored(samples, range, [&](const PlotLine& s) {
        page.drawLine(s.x1, s.y1, s.x2, s.y2, TraceColor);
        return true;
    });
}
