#include "core/drawing/Grid.h"

namespace {

std::array<PlotLine, 114> makeGrid()
{
    std::array<PlotLine, 114> lines{};
    std::size_t n = 0;
    for (int y = 0; y <= 5000; y += 500)
        lines[n++] = {0, float(y), 8200, float(y)};
    for (int x = 0; x <= 8200; x += 820)
        lines[n++] = {float(x), 0, float(x), 5000};
    for (int x = 0; x <= 8200; x += 164)
        lines[n++] = {float(x), 2400, float(x), 2600};
    for (int y = 0; y <= 5000; y += 125)
        lines[n++] = {4000, float(y), 4200, float(y)};
    return lines;
}

} // namespace

const std::array<PlotLine, 114>& gridLines()
{
    static const std::array<PlotLine, 114> lines = makeGrid();
    return lines;
}

void drawGrid(PlotSurface& surface)
{
    for (const PlotLine& line : gridLines())
        surface.drawLine(line.x1, line.y1, line.x2, line.y2, GridColor);
}
