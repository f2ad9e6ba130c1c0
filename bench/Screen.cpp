#include "Screen.h"

#include "BenchWindow.h"
#include "Probe.h"

#include "window/handlers/AcquisitionState.h"

#include <QEvent>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <vector>

namespace {

constexpr int LineOpsPerConversion = 65;

// Notes, at every paint of the plot, how many conversions the paced port had answered.
class PaintLog final : public QObject {
public:
    PaintLog(PlotWidget& plot, const PacedDevice& device) : device_(device), from_(device.operations)
    {
        plot.installEventFilter(this);
    }

    struct Paint {
        std::int64_t atNs;
        long long conversions;
    };
    std::vector<Paint> paints;

    long long conversions() const { return (device_.operations - from_) / LineOpsPerConversion; }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            paints.push_back({probe::nowNs(), conversions()});
        return false;
    }

private:
    const PacedDevice& device_;
    long long from_;
};

} // namespace

FastScan measureFastScan(BenchWindow& w, int ms)
{
    w.form.options().select(ScanOption);
    const std::int64_t start = probe::nowNs();
    const long long conversions = w.conversions();
    const int repaints = w.plot().repaintCount();
    w.runFor(ms);
    const double seconds = double(probe::nowNs() - start) / 1e9;
    const FastScan scan{double(w.conversions() - conversions) / SweepLength / seconds,
                        double(w.plot().repaintCount() - repaints) / seconds};
    w.hold();
    return scan;
}

SlowScan measureSlowScan(BenchWindow& w, std::chrono::nanoseconds perOperation, int ms)
{
    w.hold();
    w.serial.perOperation = perOperation;
    w.form.Command2_Click(); // opens the paced port

    SlowScan scan;
    {
        PaintLog log(w.plot(), w.serial);
        // The first tick starts a sweep, so sweeps line up with the log's count.
        w.form.options().select(ScanOption);
        const std::int64_t start = probe::nowNs();
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, [&] {
            const double seconds = double(probe::nowNs() - start) / 1e9;
            scan.sweepSeconds = seconds * SweepLength / double(std::max(1LL, log.conversions()));
            scan.repaintsPerSecond = double(log.paints.size()) / seconds;
            w.plot().removeEventFilter(&log);
            // Closing the port lets the running sweep finish from the simulator.
            w.form.Command2_Click();
            w.form.options().select(HoldOption);
            loop.quit();
        });
        loop.exec();

        scan.growsOnEveryRepaint = true;
        long long shown = 0;
        std::int64_t lastPaint = start;
        for (const PaintLog::Paint& paint : log.paints) {
            // A paint at a whole number of sweeps shows a grid about to be drawn on, or a
            // finished sweep; the others show a sweep in progress, each more than the last.
            if (paint.conversions % SweepLength > 0) {
                ++scan.growingRepaints;
                scan.longestWaitMs = std::max(scan.longestWaitMs, double(paint.atNs - lastPaint) / 1e6);
                const bool sameSweep = paint.conversions / SweepLength == shown / SweepLength;
                scan.growsOnEveryRepaint = scan.growsOnEveryRepaint && (!sameSweep || paint.conversions > shown);
            }
            shown = paint.conversions;
            lastPaint = paint.atNs;
        }
        scan.growsOnEveryRepaint = scan.growsOnEveryRepaint && scan.growingRepaints > 0;
    }
    w.serial.perOperation = {};
    w.hold();
    return scan;
}
