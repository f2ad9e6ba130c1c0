#include "Loops.h"

#include "BenchWindow.h"
#include "Probe.h"

#include "display/Trace.h"

#include <QFile>
#include <QTemporaryDir>

#include <vector>

namespace {

template <class Work>
double timedMs(Work&& work)
{
    const std::int64_t start = probe::nowNs();
    work();
    return double(probe::nowNs() - start) / 1e6;
}

// The last sweep as a data file: 8192 little-endian 16-bit records.
void saveSweep(const AcquisitionState& state, const QString& name)
{
    QByteArray bytes;
    for (int i = 1; i <= SweepLength; ++i) {
        const auto value = quint16(state.SampleBuffer[i]);
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

LoopCosts measureLoops(BenchWindow& w, int rounds)
{
    // A first sweep reads the range and leaves a sweep to replay.
    w.form.Timer1_Timer();
    QTemporaryDir dir;
    w.dialog.name = dir.filePath(QStringLiteral("sweep.dat"));
    saveSweep(w.form.state(), w.dialog.name);

    std::vector<double> sweeps, replays, pumps, conversions, segments, sweepRatios, replayRatios;
    for (int round = 0; round < rounds; ++round) {
        settle(w);
        pumps.push_back(timedMs([&] {
            for (int i = 0; i < SweepLength; ++i)
                w.pump.pump();
        }));
        conversions.push_back(timedMs([&] {
            for (int i = 0; i < SweepLength; ++i)
                w.form.link().adc(w.form.state().ControlWord);
        }));
        segments.push_back(timedMs([&] {
            TraceRun trace;
            for (int i = 1; i <= SweepLength; ++i) {
                const PlotLine s = trace.segment(i, PlotValue::storedBipolar(w.form.state().SampleBuffer[i]));
                w.plot().drawLine(s.x1, s.y1, s.x2, s.y2, TraceColor);
            }
        }));
        sweeps.push_back(timedMs([&] { w.form.Timer1_Timer(); }));
        settle(w);
        replays.push_back(timedMs([&] { w.form.Command4_Click(); }));
        sweepRatios.push_back(sweeps.back() / (pumps.back() + conversions.back() + segments.back()));
        replayRatios.push_back(replays.back() / (pumps.back() + segments.back()));
    }
    return {probe::median(sweeps),      probe::median(replays),     probe::median(pumps),
            probe::median(conversions), probe::median(segments),    probe::median(sweepRatios),
            probe::median(replayRatios)};
}
