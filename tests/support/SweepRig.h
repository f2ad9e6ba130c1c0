#pragma once

#include "acquisition/SweepController.h"
#include "platform/SimulatedConverter.h"
#include "support/Doubles.h"

// A sweep controller over the simulated converter answering scripted codes and the recording
// doubles, with the buttons as the window starts them: channel 0, Scan and "±2V"; timer on.
struct SweepRig {
    ScriptedCodes scripted;
    std::deque<int>& codes = scripted.codes;
    std::vector<ConversionRequest>& asked = scripted.asked;
    SimulatedConverter converter{scripted.source()};
    ConverterLink link{converter};
    AcquisitionState state;
    RecordingSurface plot;
    PlotRuns runs;
    FakeTimer timer;
    ScriptedPump pump;
    FakeLifetime lifetime;
    FakeOptions options;
    std::vector<QString> lineFailures;
    SweepController sweep{{link, state, plot, runs, timer, pump, lifetime, options},
                          [this](const QString& reason) { lineFailures.push_back(reason); }};

    SweepRig()
    {
        options.onClick[3] = [this] { sweep.Option3_Click(); };
        options.onClick[4] = [this] { sweep.Option4_Click(); };
        options.selected[1] = options.selected[4] = options.selected[12] = true;
        timer.enabled = true;
    }

    // The trace segments drawn since the plot was last cleared.
    std::vector<PlotLine> trace() const
    {
        std::vector<PlotLine> lines;
        for (const SurfaceOp& op : plot.sinceLastClear())
            if (op.colour == TraceColor)
                lines.push_back(op.line);
        return lines;
    }
};
