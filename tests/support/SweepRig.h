#pragma once

#include "core/converter/SimulatedConverter.h"
#include "devices/MSComm.h"
#include "support/Doubles.h"
#include "window/handlers/SweepController.h"

// A sweep controller over the serial component, its port closed so that the simulated converter
// answers scripted codes, and the recording doubles, with the buttons as the window starts
// them: channel 0, Scan and "±2V"; timer on.
struct SweepRig {
    ScriptedCodes scripted;
    std::deque<int>& codes = scripted.codes;
    std::vector<ConversionRequest>& asked = scripted.asked;
    SimulatedConverter converter{scripted.source()};
    FakeSerialDevice serial;
    MSComm comm{serial, converter, PortMap([] { return QList<PortDevice>{{QStringLiteral("/dev/ttyUSB0"), QStringLiteral("/dev/ttyUSB0")}}; })};
    ConverterLink link{comm};
    AcquisitionState state;
    RecordingSurface plot;
    PlotRuns runs;
    FakeTimer timer;
    ScriptedPump pump;
    FakeLifetime lifetime;
    FakeOptions options;
    AfterSweep afterSweep;
    std::vector<QString> lineFailures;
    SweepController sweep{{link, comm, state, plot, runs, timer, pump, lifetime, options, afterSweep},
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
