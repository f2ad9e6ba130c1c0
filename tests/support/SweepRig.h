#pragma once

#include "core/converter/SimulatedConverter.h"
#include "devices/Unit.h"
#include "window/handlers/MSComm.h"
#include "support/Doubles.h"
#include "window/handlers/SweepController.h"

// A sweep controller over the unit, its port closed so that the simulated converter
// answers scripted codes, and the recording doubles, with the buttons as the window starts
// them: channel 0, Scan and "±2V"; timer on.
struct SweepRig {
    ScriptedCodes scripted;
    std::deque<int>& codes = scripted.codes;
    std::vector<ConversionRequest>& asked = scripted.asked;
    FakeSerialDevice serial;
    PortMap ports{[] { return QList<PortDevice>{{QStringLiteral("/dev/ttyUSB0"), QStringLiteral("/dev/ttyUSB0")}}; }};
    Unit unit{{serial, ports, scripted.source()}};
    MSComm comm{unit.port()};
    AcquisitionState state;
    RecordingSurface plot;
    PlotRuns runs;
    FakeTimer timer;
    ScriptedPump pump;
    FakeLifetime lifetime;
    FakeOptions options;
    RecordingWaits waits;
    AfterSweep afterSweep{waits};
    std::vector<QString> lineFailures;
    SweepController sweep{{unit, state, plot, runs, timer, pump, lifetime, options, afterSweep},
                          [this](const QString& reason) { lineFailures.push_back(reason); }};

    SweepRig()
    {
        options.onClick[HoldOption] = [this] { sweep.Option3_Click(); };
        options.onClick[ScanOption] = [this] { sweep.Option4_Click(); };
        options.selected[ChannelOptions[0]] = options.selected[ScanOption] = options.selected[BipolarOption] = true;
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
