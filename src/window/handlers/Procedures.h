#pragma once

#include "core/converter/ConverterLink.h"
#include "core/drawing/Grid.h"

#include <QString>

#include <array>

// The window's two procedures of its own, over the core's typed ones.

// Draws the grid in GridColor over whatever the surface shows; does not clear.
inline void Drawgrid1(PlotSurface& surface)
{
    drawGrid(surface);
}

// The conversion procedure with its control word as text, sent first character first: a "1"
// is a 1, any other character, or one a short word lacks, a 0. The fifth character chooses
// how the result is read; with neither "1" nor "0" there it is 0 and SignFlag stays as it was.
class ConversionProcedure {
public:
    explicit ConversionProcedure(ConverterLink& link) : link_(link) {}

    qint16 adc(const QString& controlWord);

    // "+" or "-" as the last conversion left it; empty before the first.
    QString SignFlag;
    // The read-out cells 0..12 of the last conversion, 1 where CTS was released.
    std::array<qint16, 31> ReadoutBits{};

private:
    ConverterLink& link_;
};
