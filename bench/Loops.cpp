#include "Loops.h"

#include "BenchWindow.h"
#include "Probe.h"

#include "core/converter/ControlWord.h"
#include "core/drawing/Trace.h"

#include <QFile>
#include <QTemporaryDir>

#include <vector>

namespace {

struct Timing {
    double wallMs;
    double cpuMs;
};

template <class Work>
Timing timed(Work&& work)
{
    const std::int64_t wall = probe::nowNs();
    const std::int64_t cpu = probe::threadCpuNs();
    work();
    return {double(probe::nowNs() - wall) / 1e6, double(probe::threadCpuNs() - cpu) / 1e6};
}

// One round's timings.
struct Round {
    Timing pumps, conversions, segments, sweep, replay;
};

LoopFigures figures(const std::vector<Round>& rounds, double Timing::*clock)
{
    std::vector<double> sweeps, replays, pumps, conversions, segments, sweepParts, replayParts, sweepRatios,
        replayRatios;
    for (const Round& r : rounds) {
        sweeps.push_back(r.sweep.*clock);
        replays.push_back(r.replay.*clock);
        pumps.push_back(r.pumps.*clock);
        conversions.push_back(r.conversions.*clock);
        segments.push_back(r.segments.*clock);
        sweepParts.push_back(pumps.back() + conversions.back() + segments.back());
        replayParts.push_back(pumps.back() + segments.back());
        sweepRatios.push_back(sweeps.back() / sweepParts.back());
        replayRatios.push_back(replays.back() / replayParts.back());
    }
    using probe::median;
    return {median(sweeps),     median(replays),     median(pumps),       median(conversions), median(segments),
            median(sweepParts), median(replayParts), median(sweepRatios), median(replayRatios)};
}

// The last sweep as a data file: 8192 little-endian 16-bit records.
void saveSweep(const AcquisitionState& state, const QString& name)
{
    QByteArray bytes;
    for (int i = 1; i <= SweepLength; ++i) {
        const auto value = quint16(state.SampleBuffer[i - 1]);
        bytes.append(char(value & 0xFF)).append(char(value >> 8));
    }
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(name));
}

// Timer off, the pending repaint done: what the window does when nothing happens.
void settle(BenchWindow& w)
{
    w.timer.setEnabled(false);
    w.runFor(2 * PlotWidget::SettleMs);
}

} // namespace

LoopCosts measureLoops(BenchWindow& w, int count)
{
    // A first sweep reads the range and leaves a sweep to replay.
    w.form.Timer1_Timer();
    QTemporaryDir dir;
    w.dialog.name = dir.filePath(QStringLiteral("sweep.dat"));
    saveSweep(w.form.state(), w.dialog.name);

    std::vector<Round> rounds(static_cast<std::size_t>(count));
    for (Round& r : rounds) {
        settle(w);
        r.pumps = timed([&] {
            for (int i = 0; i < SweepLength; ++i)
                w.pump.pump();
        });
        r.conversions = timed([&] {
            // As a sweep converts: the frame made once, each conversion read in its range.
            const ConversionRequest request{0, Range::Bipolar};
            const LineFrame frame = ConverterLink::encode(ControlWord::make(request));
            static volatile int last;
            for (int i = 0; i < SweepLength; ++i)
                last = ConverterReading::of(w.form.link().convert(frame), request.range).magnitude;
        });
        r.segments = timed([&] {
            TraceRun trace;
            for (int i = 1; i <= SweepLength; ++i) {
                const PlotLine s = trace.segment(i, PlotValue::storedBipolar(w.form.state().SampleBuffer[i - 1]));
                w.plot().drawLine(s.x1, s.y1, s.x2, s.y2, TraceColor);
            }
        });
        r.sweep = timed([&] { w.form.Timer1_Timer(); });
        settle(w);
        r.replay = timed([&] { w.form.Command4_Click(); });
    }
    return {figures(rounds, &Timing::wallMs), figures(rounds, &Timing::cpuMs)};
}
