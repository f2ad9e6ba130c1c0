#pragma once

#include "core/drawing/PlotSpace.h"
#include "devices/Unit.h"
#include "window/handlers/AcquisitionState.h"
#include "window/handlers/AfterSweep.h"
#include "window/handlers/PlotRuns.h"
#include "window/toolkit/WindowSystem.h"

#include <functional>

// The sweep timer's tick and the Hold and Scan handlers. Each tick is one sweep of 8192
// conversions on the selected channel and range, drawn as it grows over a fresh grid, with a
// yield to the event loop after every sample. A sweep takes all its samples from the source it started
// with: when the port opens or closes under it, it ends at its next yield and keeps nothing.
class SweepController {
public:
    struct Seams {
        Unit& unit;
        AcquisitionState& state;
        PlotSurface& plot;
        PlotRuns& runs;
        SweepTimer& timer;
        EventPump& pump;
        Lifetime& lifetime;
        OptionButtons& options;
        AfterSweep& afterSweep;
    };
    // Called with the system's reason when a line operation fails on the open port; the
    // sweep has stopped and dropped its samples by then.
    using LineFailure = std::function<void(const QString& reason)>;

    SweepController(Seams seams, LineFailure onLineFailure);

    void Timer1_Timer();
    void Option3_Click(); // Hold
    void Option4_Click(); // Scan

    bool sweeping() const { return sweeping_; }

private:
    void sweep(Range range);

    Seams s_;
    LineFailure onLineFailure_;
    int channel_ = 0;       // as the channel buttons were last read
    bool sweeping_ = false; // a sweep is running, perhaps suspended in its yield
};
