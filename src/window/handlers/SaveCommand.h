#pragma once

#include "core/system/Clock.h"
#include "window/handlers/AcquisitionState.h"
#include "window/handlers/AfterSweep.h"
#include "window/toolkit/WindowSystem.h"

// Command3_Click: stops sweeping and, once the user confirms the name, writes SampleBuffer to
// a data file named by the date and time in the current directory. Confirmed while a sweep
// runs, the file is written as soon as that sweep ends, so that it holds the sweep on screen.
class SaveCommand {
public:
    SaveCommand(const AcquisitionState& state, SweepTimer& timer, MessageBoxes& boxes, const Clock& clock,
                AfterSweep& afterSweep);

    void Command3_Click();

private:
    const AcquisitionState& state_;
    SweepTimer& timer_;
    MessageBoxes& boxes_;
    const Clock& clock_;
    AfterSweep& afterSweep_;
};
