#pragma once

#include "window/handlers/AcquisitionState.h"
#include "window/handlers/AfterSweep.h"
#include "window/toolkit/PrinterSurface.h"
#include "window/toolkit/WindowSystem.h"

// Command5_Click: after confirmation, stops sweeping and prints the grid in black and the
// stored samples as a trace, at the screen's PlotSpace coordinates, one twip per unit.
// Confirmed while a sweep runs, the page is printed as soon as that sweep ends, so that it
// shows the sweep on screen. The window answers while the print system is waited for: the
// page keeps the samples of its start, no sweep starts, a Print clicked meanwhile is not
// taken, and Exit comes once the page is handed over or has failed.
class PrintCommand {
public:
    PrintCommand(const AcquisitionState& state, PrinterSurface& printer, SweepTimer& timer, MessageBoxes& boxes,
                 AfterSweep& afterSweep);

    void Command5_Click();

private:
    void printPage();
    // Runs a printer operation; a failure is shown and ends the command.
    template <class Operation>
    void reporting(Operation operation);

    bool printing_ = false;
    const AcquisitionState& state_;
    PrinterSurface& printer_;
    SweepTimer& timer_;
    MessageBoxes& boxes_;
    AfterSweep& afterSweep_;
};
