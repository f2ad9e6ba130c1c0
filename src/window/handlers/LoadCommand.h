#pragma once

#include "core/drawing/PlotSpace.h"
#include "core/samples/SampleFile.h"
#include "window/handlers/AcquisitionState.h"
#include "window/handlers/AfterSweep.h"
#include "window/handlers/PlotRuns.h"
#include "window/toolkit/WindowSystem.h"

// Command4_Click: asks for a data file, reads and checks it, selects Hold, and replays it on a
// fresh grid, yielding to the event loop after every segment. A sweep it interrupts is dropped.
// A file shorter than a data file is loaded with the missing records 0, and a box says so.
class LoadCommand {
public:
    struct Seams {
        AcquisitionState& state;
        FileDialog& dialog;
        MessageBoxes& boxes;
        OptionButtons& options;
        SweepTimer& timer;
        PlotSurface& plot;
        PlotRuns& runs;
        AfterSweep& afterSweep;
        EventPump& pump;
        Lifetime& lifetime;
    };

    explicit LoadCommand(Seams seams) : s_(seams) {}

    void Command4_Click();
    // Loads the file named on the command line, right after start-up.
    void openAtStart(const QString& name);

private:
    void load(const QString& name, const SampleFile::Contents& contents);

    Seams s_;
};
