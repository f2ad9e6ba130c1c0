#include "RecBench.h"

#include "Probe.h"

#include "devices/SystemSerialDevice.h"
#include "devices/Unit.h"
#include "rec/RecTool.h"

#ifdef Q390_BENCH_FTDI
#include "EmulatedUsbChip.h"
#endif

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStorageInfo>
#include <QTemporaryDir>

#include <thread>
#include <vector>

namespace {

const auto NoDevices = [] { return QList<PortDevice>{}; };

// Sweeps a second by the wall clock, and milliseconds of processor time a sweep: this thread's,
// and the other threads'.
struct Pace {
    double sweepsPerSecond = 0;
    double threadCpuMs = 0;
    double othersCpuMs = 0;
};

template <class Work>
Pace pace(int sweeps, const Work& work)
{
    const auto start = probe::nowNs();
    const auto thread = probe::threadCpuNs();
    const double process = probe::cpuSeconds();
    work();
    const double threadMs = (probe::threadCpuNs() - thread) / 1e6;
    return {sweeps / ((probe::nowNs() - start) / 1e9), threadMs / sweeps,
            ((probe::cpuSeconds() - process) * 1e3 - threadMs) / sweeps};
}

Pace bareSweeps(int sweeps)
{
    SystemSerialDevice serial;
    PortMap ports(NoDevices);
    Unit unit({serial, ports});
    return pace(sweeps, [&] {
        for (int n = 0; n < sweeps; ++n)
            unit.sweep({0, Range::Unipolar}, [](const Sweep::Sample&) { return true; });
    });
}

// The whole program's work from its options on: open, record, write every file, close.
Pace recording(int sweeps, const QString& folder)
{
    SystemSerialDevice serial;
    const SystemClock clock;
    std::FILE* sink = std::fopen("/dev/null", "w");
    const Pace p = pace(sweeps, [&] {
        RecTool::run({QStringLiteral("--sweeps"), QString::number(sweeps), QStringLiteral("-o"), folder, QStringLiteral("--quiet")},
                     sink, sink, {serial, clock, NoDevices});
    });
    std::fclose(sink);
    if (!QFileInfo::exists(folder + QString::asprintf("/sweep-%08d-ch0.dat", sweeps)))
        qFatal("q390-rec did not record %d sweeps into %s", sweeps, qPrintable(folder));
    return p;
}

// Rounds of the bare sweep each followed by a recording of as many sweeps into a new folder
// under `base`.
RecordingRounds alternate(int rounds, int sweeps, const QString& base)
{
    QTemporaryDir dir(base + QStringLiteral("/q390-bench-XXXXXX"));
    if (!dir.isValid())
        qFatal("no folder for the recordings under %s", qPrintable(base));
    std::vector<double> bare, recorded, ratios, bareCpu, recordingCpu, writersCpu;
    for (int round = 0; round < rounds; ++round) {
        const Pace b = bareSweeps(sweeps);
        const Pace r = recording(sweeps, dir.filePath(QStringLiteral("round%1").arg(round)));
        bare.push_back(b.sweepsPerSecond);
        recorded.push_back(r.sweepsPerSecond);
        ratios.push_back(r.sweepsPerSecond / b.sweepsPerSecond);
        bareCpu.push_back(b.threadCpuMs);
        recordingCpu.push_back(r.threadCpuMs);
        writersCpu.push_back(r.othersCpuMs);
    }
    return {probe::median(bare),    probe::median(recorded),     probe::median(ratios),
            probe::median(bareCpu), probe::median(recordingCpu), probe::median(writersCpu)};
}

} // namespace

Recording measureRecording(int rounds, int sweeps, int few, int many)
{
    Recording figures;
    figures.disk = alternate(rounds, sweeps, QDir::tempPath());
    const QStorageInfo memory(QStringLiteral("/dev/shm"));
    if (memory.isValid() && memory.fileSystemType() == "tmpfs" && QFileInfo(memory.rootPath()).isWritable())
        figures.memory = alternate(rounds, sweeps, memory.rootPath());

    QTemporaryDir dir;
    QProcess rec;
    rec.setStandardOutputFile(QProcess::nullDevice());
    rec.setStandardErrorFile(QProcess::nullDevice());
    // A hundred sweeps more, so that the process still runs when the many-th is in.
    rec.start(QStringLiteral(Q390_REC), {QStringLiteral("--sweeps"), QString::number(many + 100), QStringLiteral("-o"),
                                          dir.filePath(QStringLiteral("process")), QStringLiteral("--quiet")});
    if (!rec.waitForStarted())
        qFatal("q390-rec did not start: %s", qPrintable(rec.errorString()));
    // The moment the sweep's file is there, and the process's memory then.
    const auto reached = [&](int sweep, long& residentKiB) {
        const QString file = dir.filePath(QString::asprintf("process/sweep-%08d-ch0.dat", sweep));
        while (!QFileInfo::exists(file)) {
            if (rec.waitForFinished(0))
                qFatal("q390-rec ended before sweep %d", sweep);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        const auto at = probe::nowNs();
        residentKiB = probe::residentKiB(rec.processId());
        return at;
    };
    const auto fewAt = reached(few, figures.residentFewKiB);
    const auto manyAt = reached(many, figures.residentManyKiB);
    figures.processSweepsPerSecond = (many - few) / ((manyAt - fewAt) / 1e9);
    rec.waitForFinished(-1);
    return figures;
}

#ifdef Q390_BENCH_FTDI
FtdiRecording measureFtdiRecording(int sweeps)
{
    SimulatedConverter converter;
    EmulatedUsbChip chip({}, {[&](bool a) { converter.setRts(a); }, [&](bool a) { converter.setDtr(a); },
                           [&] { return converter.readCts(); }});
    SystemSerialDevice serial;
    const SystemClock clock;
    QTemporaryDir dir;
    std::FILE* sink = std::fopen("/dev/null", "w");
    const RecTool::Outcome outcome =
        RecTool::run({QStringLiteral("--port"), QStringLiteral("ftdi:i:0x0403:0x6001"), QStringLiteral("--sweeps"),
                      QString::number(sweeps), QStringLiteral("-o"), dir.filePath(QStringLiteral("rec")), QStringLiteral("--quiet")},
                     sink, sink, {serial, clock, NoDevices});
    std::fclose(sink);
    FtdiRecording figures;
    figures.recorded = outcome.status == 0 && QFileInfo::exists(dir.filePath(QString::asprintf("rec/sweep-%08d-ch0.dat", sweeps)));
    figures.roundTripsPerSweep = double(chip.roundTrips) / sweeps;
    // Opening the chip is part of it, as the start of the recording.
    figures.sweepSeconds = chip.modelledNanoseconds / 1e9 / sweeps;
    return figures;
}
#endif
