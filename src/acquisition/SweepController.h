#pragma once

#include "acquisition/AcquisitionState.h"
#include "acquisition/AfterSweep.h"
#include "acquisition/ConverterLink.h"
#include "display/PlotRuns.h"
#include "display/PlotSpace.h"
#include "platform/MSComm.h"
#include "platform/WindowSystem.h"

#include <functional>

// The sweep timer's tick and the Hold and Scan handlers. Each tick is one sweep of 8192
// conversions on the selected channel and range, drawn as it grows, with a yield to the
// event loop after every sample. A sweep takes all its samples from the source it started
// with: when the port opens or closes under it, it ends at its next yield and keeps nothing.
class SweepController {
public:
    struct Seams {
        ConverterLink& link;
        const MSComm& comm;
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

    bool sweeping() const { return s_.afterSweep.sweeping(); }

private:
    template <bool Bipolar>
    void sweep();

    Seams s_;
    LineFailure onLineFailure_;
    // The running sweep's samples; they become SampleBuffer only once all 8192 are in, so
    // save and print never see two sweeps spliced together.
    std::array<qint16, SweepLength + 1> sweepSamples_{};
};
