#include "Process.h"

#include "BenchWindow.h"
#include "Probe.h"

#include "window/Application.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include <cstdio>
#include <vector>

#include <unistd.h>

Idle measureHold(BenchWindow& w, int ms)
{
    w.hold();
    const double cpu = probe::cpuSeconds();
    const long waits = probe::waits();
    w.runFor(ms);
    // One wait is the measurement's own: the sleep that its closing timer ends.
    return {(probe::cpuSeconds() - cpu) * 1000.0, probe::waits() - waits - 1};
}

namespace {

// Scans under real ticks until the simulator has answered the given number of sweeps more.
void scanSweeps(BenchWindow& w, int sweeps)
{
    QEventLoop loop;
    const long long until = w.conversions() + (long long)sweeps * SweepLength;
    w.afterConversion = [&](long long conversions) {
        if (conversions == until)
            loop.quit();
    };
    w.form.options().select(ScanOption);
    loop.exec();
    w.afterConversion = nullptr;
    w.hold();
}

} // namespace

MemoryHold measureMemory(BenchWindow& w, int few, int many)
{
    MemoryHold memory;
    scanSweeps(w, few);
    memory.afterFewKiB = probe::residentKiB();
    scanSweeps(w, many - few);
    memory.afterManyKiB = probe::residentKiB();
    return memory;
}

StartUp measureStartUp(const QString& benchProgram, int runs)
{
    std::vector<double> fromSpawn, fromKernel;
    for (int run = 0; run < runs; ++run) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const std::int64_t spawned = probe::nowNs();
        child.start(benchProgram, {FirstPaintArgument});
        if (!child.waitForFinished(60000) || child.exitCode() != 0)
            qFatal("the start-up run failed");
        const QList<QByteArray> figures = child.readAllStandardOutput().trimmed().split(' ');
        if (figures.size() != 2)
            qFatal("the start-up run reported nothing");
        fromSpawn.push_back(double(figures[0].toLongLong() - spawned) / 1e6);
        fromKernel.push_back(double(figures[1].toLongLong()) / 1e6);
    }
    return {probe::median(fromSpawn), probe::median(fromKernel)};
}

namespace {

bool watchFirstPaint = false;

// Waits for the first paint of Picture1 whose picture holds the grid; once that paint has
// reached the screen, prints the moment and the time since the process started, and ends.
class FirstPaint final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !seen_ && object->objectName() == u"Picture1") {
            const auto* plot = qobject_cast<PlotWidget*>(object);
            if (plot && (plot->picture().pixel(0, 0) | 0xFF000000u) == GridColor) {
                seen_ = true;
                QTimer::singleShot(0, this, [] {
                    std::printf("%lld %lld\n", (long long)probe::nowNs(), (long long)probe::sinceProcessStartNs());
                    std::fflush(stdout);
                    _exit(0);
                });
            }
        }
        return false;
    }

private:
    bool seen_ = false;
};

void installFirstPaint()
{
    if (watchFirstPaint)
        QCoreApplication::instance()->installEventFilter(new FirstPaint(QCoreApplication::instance()));
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(installFirstPaint)

int runToFirstPaint(int argc, char** argv)
{
    watchFirstPaint = true;
    return Application::run(argc, argv);
}
