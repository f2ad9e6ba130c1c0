// The program's speed and memory against their goals, on the platform Qt runs on
// (QT_QPA_PLATFORM: offscreen, or xcb under an X server). Prints one line per figure.

#include "BenchWindow.h"
#include "DatBench.h"
#include "FileBench.h"
#include "FtdiSweep.h"
#include "Loops.h"
#include "Probe.h"
#include "Process.h"
#include "RecBench.h"
#include "Screen.h"

#include "window/handlers/AcquisitionState.h"

#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

constexpr int Rounds = 21;
constexpr double LoopRatioGoal = 1.25;
constexpr double SweepRatioGoal = 1.15;
// One repaint per PlotWidget::RepaintIntervalMs at most.
constexpr double RepaintGoal = 1000.0 / PlotWidget::RepaintIntervalMs;
constexpr int HoldMs = 5000;
// A process that never wakes does nothing; the CPU time this VM charges it still jitters by a few
// milliseconds, so the CPU goal is 0.2 % of the time.
constexpr double HoldCpuGoalMs = 10.0;
constexpr int FewSweeps = 100;
constexpr int ManySweeps = 2000;
constexpr long MemoryGoalKiB = 1024;
constexpr int StartUpRuns = 7;
constexpr int DatRuns = 21;
constexpr double DatGoalMs = 50;
constexpr int FileWritesCount = 200;
constexpr int RecRounds = 7;
// About a second a round: a recording's start and its last files' syncs weigh on its pace as
// they do on a recording that long, not on one of a fraction of a second.
constexpr int RecRoundSweeps = 1500;
constexpr int RecFewSweeps = 100;
constexpr int RecManySweeps = 5000;
constexpr double RecRatioGoal = 0.95;
constexpr int RecScaleSweeps = 100'000;
constexpr double RecScalePaceGoal = 1.10;
constexpr double RecOpenGoalMs = 1000;
constexpr int RecFtdiSweeps = 20;
// A sweep recorded costs at most 5 % more than the window's.
constexpr double RecFtdiGoal = 1.05;

void line(const QString& text)
{
    std::printf("%s\n", qPrintable(text));
    std::fflush(stdout);
}

QString verdict(bool met)
{
    return met ? QStringLiteral("met") : QStringLiteral("NOT MET");
}

QString ms(double value, int decimals = 1)
{
    return QString::number(value, 'f', decimals) + QStringLiteral(" ms");
}

void reportLoops(const LoopCosts& c)
{
    const LoopFigures& w = c.wall;
    const LoopFigures& p = c.cpu;
    const auto both = [](double wall, double cpu, int decimals) {
        return QStringLiteral("%1 (%2)").arg(wall, 0, 'f', decimals).arg(cpu, 0, 'f', decimals);
    };
    line(QStringLiteral("Medians of %1 runs, by the wall clock (and by the window thread's processor time):").arg(Rounds));
    line(QStringLiteral("  conversion through the simulator      %1 ns each")
             .arg(both(w.conversionsMs * 1e6 / SweepLength, p.conversionsMs * 1e6 / SweepLength, 0)));
    line(QStringLiteral("  8192 segments into the backing image  %1 µs")
             .arg(both(w.segmentsMs * 1e3, p.segmentsMs * 1e3, 0)));
    line(QStringLiteral("  idle event-pump call                  %1 µs each")
             .arg(both(w.pumpsMs * 1e3 / SweepLength, p.pumpsMs * 1e3 / SweepLength, 2)));
    line(QStringLiteral("  sweep through the simulator           %1 ms, its parts %2 ms: %3 ×   goal ≤ %4 ×   %5")
             .arg(both(w.sweepMs, p.sweepMs, 2), both(w.sweepPartsMs, p.sweepPartsMs, 2), both(w.sweepRatio, p.sweepRatio, 2))
             .arg(SweepRatioGoal).arg(verdict(w.sweepRatio <= SweepRatioGoal)));
    line(QStringLiteral("  replay of a loaded file               %1 ms, its parts %2 ms: %3 ×   goal ≤ %4 ×   %5")
             .arg(both(w.replayMs, p.replayMs, 2), both(w.replayPartsMs, p.replayPartsMs, 2),
                  both(w.replayRatio, p.replayRatio, 2))
             .arg(LoopRatioGoal).arg(verdict(w.replayRatio <= LoopRatioGoal)));
    line(QStringLiteral("  (a ratio is the median of each run's ratio to the parts measured beside it)"));
}

void reportFastScan(const FastScan& s)
{
    line(QStringLiteral("Scanning the simulator under real ticks: %1 sweeps/s, %2 repaints/s   goal ≤ %3/s   %4")
             .arg(s.sweepsPerSecond, 0, 'f', 1).arg(s.repaintsPerSecond, 0, 'f', 1).arg(RepaintGoal, 0, 'f', 1)
             .arg(verdict(s.repaintsPerSecond <= RepaintGoal)));
}

void reportSlowScan(const QString& port, const QString& pace, const SlowScan& s)
{
    const bool met = s.repaintsPerSecond <= RepaintGoal && s.growsOnEveryRepaint;
    line(QStringLiteral("Slow sweep, %1 (%2 a line operation): %3 s a sweep, %4 repaints/s, trace grew on %5 of %6 "
                        "repaints in a sweep, longest gap between them %7   goal ≤ %8/s and growing   %9")
             .arg(port, pace).arg(s.sweepSeconds, 0, 'f', 2).arg(s.repaintsPerSecond, 0, 'f', 1)
             .arg(s.growsOnEveryRepaint ? QStringLiteral("each") : QStringLiteral("not each"))
             .arg(s.growingRepaints).arg(ms(s.longestWaitMs, 0)).arg(RepaintGoal, 0, 'f', 1).arg(verdict(met)));
}

void reportHold(BenchWindow& window)
{
    const Idle idle = measureHold(window, HoldMs);
    line(QStringLiteral("Hold: %1 of CPU and %2 wake-ups in %3 s   goal no wake-ups and ≤ %4   %5")
             .arg(ms(idle.cpuMs, 2)).arg(idle.wakeUps).arg(HoldMs / 1000).arg(ms(HoldCpuGoalMs, 0))
             .arg(verdict(idle.wakeUps == 0 && idle.cpuMs <= HoldCpuGoalMs)));
}

void reportMemory(BenchWindow& window)
{
    const MemoryHold memory = measureMemory(window, FewSweeps, ManySweeps);
    const long grown = memory.afterManyKiB - memory.afterFewKiB;
    line(QStringLiteral("Resident memory: %1 MiB after %2 sweeps, %3 MiB after %4 (%5%6 KiB)   goal within %7 KiB   %8")
             .arg(memory.afterFewKiB / 1024.0, 0, 'f', 1).arg(FewSweeps).arg(memory.afterManyKiB / 1024.0, 0, 'f', 1)
             .arg(ManySweeps).arg(grown >= 0 ? QStringLiteral("+") : QString()).arg(grown).arg(MemoryGoalKiB)
             .arg(verdict(std::abs(grown) <= MemoryGoalKiB)));
}

void reportStartUp()
{
    const StartUp startUp = measureStartUp(QCoreApplication::applicationFilePath(), StartUpRuns);
    line(QStringLiteral("Start-up to the first grid on screen: %1 (median of %2; %3 by the kernel's count from the "
                        "process start)")
             .arg(ms(startUp.fromSpawnMs, 0)).arg(StartUpRuns).arg(ms(startUp.fromKernelStartMs, 0)));
}

#ifdef Q390_BENCH_FTDI
constexpr double FtdiRatioGoal = 100.0;
// The bit-bang sweep against its bytes alone at the chip's clock.
constexpr double FtdiPinByteGoal = 1.15;

void reportFtdi(BenchWindow& window)
{
    const FtdiSweep f = measureFtdiSweep(window);
    const double ratio = f.modemLineSeconds / f.bitBangSeconds;
    const double overPinBytes = f.bitBangSeconds / f.pinByteSeconds;
    line(QStringLiteral("Sweep on a USB adapter, modem-line path (1 ms a line operation): %1 s (%2 operations, %3 of "
                        "the program's own)")
             .arg(f.modemLineSeconds, 0, 'f', 1).arg(f.lineOperations).arg(ms(f.modemLineOwnMs)));
    line(QStringLiteral("Sweep on an FTDI chip in synchronous bit-bang mode, modelled (full-speed frames of 19 packets, "
                        "%1 µs a byte, latency timer %2 ms): %3 s (%4 bytes: %5 s at the byte clock; %6 IN packets, %7 "
                        "short at the latency timer, %8 round trips; %9 of the program's own beside it)")
             .arg(f.byteNs / 1e3, 0, 'f', 2).arg(f.latencyTimerMs).arg(f.bitBangSeconds, 0, 'f', 3).arg(f.bytes)
             .arg(f.pinByteSeconds, 0, 'f', 3).arg(f.packets).arg(f.latencyWaits).arg(f.roundTrips).arg(ms(f.bitBangOwnMs)));
    line(QStringLiteral("  %1 × faster, samples %2   goal ≥ %3 ×   %4")
             .arg(ratio, 0, 'f', 0).arg(f.samplesAgree ? QStringLiteral("the same") : QStringLiteral("DIFFERENT"))
             .arg(FtdiRatioGoal, 0, 'f', 0).arg(verdict(f.samplesAgree && ratio >= FtdiRatioGoal)));
    line(QStringLiteral("  %1 × the bytes at the byte clock   goal ≤ %2 ×   %3")
             .arg(overPinBytes, 0, 'f', 3).arg(FtdiPinByteGoal).arg(verdict(overPinBytes <= FtdiPinByteGoal)));
    // Every pin byte crosses the bus twice, out and back: the bus, not the chip, sets the pace.
    line(QStringLiteral("  the packets alone on the bus: %1 s; the sweep %2 × that")
             .arg(f.busSeconds, 0, 'f', 3).arg(f.bitBangSeconds / f.busSeconds, 0, 'f', 3));
    if (const std::optional<WindowsFtdiSweep> w = measureWindowsFtdiSweep()) {
        const double windowsOverPinBytes = w->seconds / (double(w->bytes) * f.byteNs / 1e9);
        line(QStringLiteral("  Windows build under Wine, D2XX on the stand-in ftd2xx.dll, q390-rec.exe's sweep: %1 s "
                            "(%2 bytes), %3 × the bytes at the byte clock, %4 × Linux's   goal ≤ %5 ×   %6")
                 .arg(w->seconds, 0, 'f', 3).arg(w->bytes).arg(windowsOverPinBytes, 0, 'f', 3)
                 .arg(w->seconds / f.bitBangSeconds, 0, 'f', 3).arg(FtdiPinByteGoal)
                 .arg(verdict(windowsOverPinBytes <= FtdiPinByteGoal)));
    } else {
        line(QStringLiteral("  Windows build under Wine: not measured (no packaged build with the stand-in ftd2xx.dll)"));
    }
}
#endif
void reportDatCsv()
{
    const DatCsv csv = measureDatCsv(DatRuns);
    line(QStringLiteral("q390-dat csv of one file: %1 (%2 of processor time) from start to end of the process, %3 of "
                        "it the conversion; median of %4   goal ≤ %5   %6")
             .arg(ms(csv.processMs), ms(csv.processCpuMs), ms(csv.conversionMs, 2)).arg(DatRuns)
             .arg(ms(DatGoalMs, 0)).arg(verdict(csv.processMs <= DatGoalMs)));
}

void reportFileWrites()
{
    const FileWrites w = measureFileWrites(FileWritesCount);
    line(QStringLiteral("%1 data files one after another: %2 a file written whole and on the disk, %3 written plainly "
                        "with no sync; medians")
             .arg(FileWritesCount).arg(ms(w.wholeMs, 2), ms(w.plainMs, 3)));
}

void reportRec(BenchWindow& window)
{
    const Recording r = measureRecording(RecRounds, RecRoundSweeps, RecFewSweeps, RecManySweeps);
    const RecordingRounds& d = r.disk;
    const RecordingRounds& h = r.oneFile;
    line(QStringLiteral("q390-rec into one HDF5 file against the bare sweep (≥ %1 ×): %2 / %3 sweeps/s = %4 ×   %5")
             .arg(RecRatioGoal).arg(h.sweepsPerSecond, 0, 'f', 1).arg(h.bareSweepsPerSecond, 0, 'f', 1).arg(h.ratio, 0, 'f', 3)
             .arg(verdict(h.ratio >= RecRatioGoal)));
    line(QStringLiteral("  (medians of %1 rounds of %2 sweeps each way, in turn, on the disk; a ratio is the median of the rounds')")
             .arg(RecRounds).arg(RecRoundSweeps));
    line(QStringLiteral("  processor time a sweep: the recording's thread %1, the bare sweep %2, the writer beside it %3; %4 KiB a sweep")
             .arg(ms(h.recordingCpuMs, 2), ms(h.bareCpuMs, 2), ms(h.writersCpuMs, 2)).arg(h.bytesPerSweep / 1024, 0, 'f', 2));
    const RecordingRounds& z = r.compressed;
    line(QStringLiteral("  --compress: %1 / %2 sweeps/s = %3 ×; %4 KiB a sweep, %5 × the plain file's; the writer %6 a sweep")
             .arg(z.sweepsPerSecond, 0, 'f', 1).arg(z.bareSweepsPerSecond, 0, 'f', 1).arg(z.ratio, 0, 'f', 3)
             .arg(z.bytesPerSweep / 1024, 0, 'f', 2).arg(z.bytesPerSweep / h.bytesPerSweep, 0, 'f', 3).arg(ms(z.writersCpuMs, 2)));
    const OneFileScale scale = measureOneFileScale(RecScaleSweeps);
    const double paceRatio = scale.lastTenthSeconds / scale.firstTenthSeconds;
    const double cpuRatio = scale.lastTenthCpuSeconds / scale.firstTenthCpuSeconds;
    const long grownKiB = scale.residentMostKiB - scale.residentTenthKiB;
    line(QStringLiteral("  %1 sweeps into one file as a process: the first tenth %2 s, the last %3 s: %4 ×   goal ≤ %5 ×   %6")
             .arg(RecScaleSweeps).arg(scale.firstTenthSeconds, 0, 'f', 2).arg(scale.lastTenthSeconds, 0, 'f', 2).arg(paceRatio, 0, 'f', 3)
             .arg(RecScalePaceGoal).arg(verdict(paceRatio <= RecScalePaceGoal)));
    line(QStringLiteral("    its processor time: the first tenth %1 s, the last %2 s: %3 ×   goal ≤ %4 ×   %5")
             .arg(scale.firstTenthCpuSeconds, 0, 'f', 2).arg(scale.lastTenthCpuSeconds, 0, 'f', 2).arg(cpuRatio, 0, 'f', 3)
             .arg(RecScalePaceGoal).arg(verdict(cpuRatio <= RecScalePaceGoal)));
    line(QStringLiteral("  resident memory: %1 MiB when the first tenth was in, at most %2 MiB after (%3%4 KiB)   goal under %5 KiB more   %6")
             .arg(scale.residentTenthKiB / 1024.0, 0, 'f', 1).arg(scale.residentMostKiB / 1024.0, 0, 'f', 1)
             .arg(grownKiB >= 0 ? QStringLiteral("+") : QString()).arg(grownKiB).arg(MemoryGoalKiB).arg(verdict(grownKiB < MemoryGoalKiB)));
    line(QStringLiteral("  the file (%1 GB) opened in %2, any sweep read from it in %3 at most   goal under %4 ms   %5")
             .arg(scale.bytesPerSweep * RecScaleSweeps / 1e9, 0, 'f', 2).arg(ms(scale.openMs, 1), ms(scale.slowestSweepMs, 2))
             .arg(RecOpenGoalMs).arg(verdict(scale.openMs + scale.slowestSweepMs < RecOpenGoalMs)));
    line(QStringLiteral("q390-rec from the simulator into a folder: %1 sweeps/s, the bare sweep %2/s: %3 ×")
             .arg(d.sweepsPerSecond, 0, 'f', 1).arg(d.bareSweepsPerSecond, 0, 'f', 1).arg(d.ratio, 0, 'f', 3));
    line(QStringLiteral("  processor time a sweep: the recording's thread %1, the bare sweep %2, the writers beside it %3")
             .arg(ms(d.recordingCpuMs, 2), ms(d.bareCpuMs, 2), ms(d.writersCpuMs, 2)));
    if (const std::optional<RecordingRounds>& m = r.memory)
        line(QStringLiteral("  into a folder in memory (tmpfs), no disk: %1 sweeps/s, the bare sweep %2/s: %3 ×; "
                            "processor time a sweep: the recording's thread %4, the bare sweep %5")
                 .arg(m->sweepsPerSecond, 0, 'f', 1).arg(m->bareSweepsPerSecond, 0, 'f', 1).arg(m->ratio, 0, 'f', 3)
                 .arg(ms(m->recordingCpuMs, 2), ms(m->bareCpuMs, 2)));
    const FastScan scan = measureFastScan(window, 3000);
    line(QStringLiteral("  the window scanning: %1 sweeps/s   goal slower than q390-rec   %2")
             .arg(scan.sweepsPerSecond, 0, 'f', 1).arg(verdict(scan.sweepsPerSecond < d.sweepsPerSecond)));
    line(QStringLiteral("  q390-rec as a process of its own: %1 sweeps/s from sweep %2 to %3")
             .arg(r.processSweepsPerSecond, 0, 'f', 1).arg(RecFewSweeps).arg(RecManySweeps));
    const long grown = r.residentManyKiB - r.residentFewKiB;
    line(QStringLiteral("  resident memory: %1 MiB after sweep %2, %3 MiB after sweep %4 (%5%6 KiB)   goal under %7 KiB more   %8")
             .arg(r.residentFewKiB / 1024.0, 0, 'f', 1).arg(RecFewSweeps).arg(r.residentManyKiB / 1024.0, 0, 'f', 1)
             .arg(RecManySweeps).arg(grown >= 0 ? QStringLiteral("+") : QString()).arg(grown).arg(MemoryGoalKiB)
             .arg(verdict(grown < MemoryGoalKiB)));
#ifdef Q390_BENCH_FTDI
    const FtdiSweep one = measureFtdiSweep(window);
    const FtdiRecording f = measureFtdiRecording(RecFtdiSweeps);
    const double ftdiRatio = f.sweepSeconds / one.bitBangSeconds;
    line(QStringLiteral("q390-rec on the emulated FTDI chip, modelled: %1 s a sweep (%2 round trips), the window's sweep "
                        "%3 s: %4 ×   goal ≤ %5 ×   %6")
             .arg(f.sweepSeconds, 0, 'f', 3).arg(f.roundTripsPerSweep, 0, 'f', 1).arg(one.bitBangSeconds, 0, 'f', 3)
             .arg(ftdiRatio, 0, 'f', 3).arg(RecFtdiGoal).arg(verdict(f.recorded && ftdiRatio <= RecFtdiGoal)));
#endif
}

struct Section {
    const char* name;
    std::function<void(BenchWindow&)> run;
};

const Section Sections[] = {
    {"loops", [](BenchWindow& w) { reportLoops(measureLoops(w, Rounds)); }},
    {"scan", [](BenchWindow& w) { reportFastScan(measureFastScan(w, 3000)); }},
    {"slow",
     [](BenchWindow& w) {
         reportSlowScan(QStringLiteral("built-in port"), QStringLiteral("1.1 µs"),
                        measureSlowScan(w, std::chrono::nanoseconds(1100), 2000));
         reportSlowScan(QStringLiteral("USB adapter"), QStringLiteral("1 ms"),
                        measureSlowScan(w, std::chrono::milliseconds(1), 3000));
     }},
    {"hold", reportHold},
    {"memory", reportMemory},
    {"startup", [](BenchWindow&) { reportStartUp(); }},
#ifdef Q390_BENCH_FTDI
    {"ftdi", reportFtdi},
#endif
    {"dat", [](BenchWindow&) { reportDatCsv(); }},
    {"files", [](BenchWindow&) { reportFileWrites(); }},
    {"rec", reportRec},
};

} // namespace

// Runs the sections named on the command line, or all of them.
int main(int argc, char** argv)
{
    if (argc > 1 && argv[1] == FirstPaintArgument)
        return runToFirstPaint(argc, argv);

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList wanted = app.arguments().mid(1);
    for (const QString& name : wanted)
        if (std::none_of(std::begin(Sections), std::end(Sections), [&](const Section& s) { return name == QLatin1StringView(s.name); }))
            qFatal("no section %s; the sections are loops scan slow hold memory startup ftdi dat files rec", qPrintable(name));

    line(QStringLiteral("Q390 benchmark on %1, %2 cores; platform %3; load average %4")
             .arg(probe::cpuModel()).arg(probe::cores()).arg(QGuiApplication::platformName(), probe::loadAverage()));
    BenchWindow window;
    for (const Section& section : Sections)
        if (wanted.isEmpty() || wanted.contains(QLatin1StringView(section.name)))
            section.run(window);
    line(QStringLiteral("Load average at the end: %1").arg(probe::loadAverage()));
    return 0;
}
