#pragma once

#include "acquisition/AcquisitionState.h"
#include "platform/PrinterSurface.h"
#include "platform/WindowSystem.h"

// Command5_Click: after confirmation, stops sweeping and prints the grid in black and the
// stored samples as a trace, at the screen's PlotSpace coordinates, one twip per unit.
// No events are handled from the first printer operation to the last.
class PrintCommand {
public:
    PrintCommand(const AcquisitionState& state, PrinterSurface& printer, SweepTimer& timer, MessageBoxes& boxes);

    void Command5_Click();

private:
    void printPage();

    const AcquisitionState& state_;
    PrinterSurface& printer_;
    SweepTimer& timer_;
    MessageBoxes& boxes_;
};
