#include "RecBench.h"

#include "Probe.h"

#include "core/recording/RecordingReader.h"
#include "devices/SystemSerialDevice.h"
#include "devices/Unit.h"
#include "rec/RecTool.h"

#ifdef Q390_BENCH_FTDI
#include "EmulatedUsbChip.h"
#endif

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStorageInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <memory>
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

// The whole program's work from its options on: open, record, write every file, close; into a
// folder, or into one HDF5 file for an output ending in .h5.
Pace recording(int sweeps, const QString& output, const QStringList& more)
{
    SystemSerialDevice serial;
    const SystemClock clock;
    std::FILE* sink = std::fopen("/dev/null", "w");
    const Pace p = pace(sweeps, [&] {
        RecTool::run(QStringList{QStringLiteral("--sweeps"), QString::number(sweeps), QStringLiteral("-o"), output, QStringLiteral("--quiet")} + more,
                     sink, sink, {serial, clock, NoDevices});
    });
    std::fclose(sink);
    const bool recorded = output.endsWith(u".h5") ? RecordingReader::open(QFile::encodeName(output))->size() == sweeps
                                                  : QFileInfo::exists(output + QString::asprintf("/sweep-%08d-ch0.dat", sweeps));
    if (!recorded)
        qFatal("q390-rec did not record %d sweeps into %s", sweeps, qPrintable(output));
    return p;
}

// Rounds of the bare sweep each followed by a recording of as many sweeps into a new folder
// (or, `oneFile`, a new HDF5 file) under `base`.
RecordingRounds alternate(int rounds, int sweeps, const QString& base, bool oneFile = false, const QStringList& more = {})
{
    QTemporaryDir dir(base + QStringLiteral("/q390-bench-XXXXXX"));
    if (!dir.isValid())
        qFatal("no folder for the recordings under %s", qPrintable(base));
    std::vector<double> bare, recorded, ratios, bareCpu, recordingCpu, writersCpu, bytes;
    for (int round = 0; round < rounds; ++round) {
        const Pace b = bareSweeps(sweeps);
        const QString output = dir.filePath(QStringLiteral("round%1%2").arg(round).arg(oneFile ? ".h5" : ""));
        const Pace r = recording(sweeps, output, more);
        if (oneFile)
            bytes.push_back(double(QFileInfo(output).size()) / sweeps);
        bare.push_back(b.sweepsPerSecond);
        recorded.push_back(r.sweepsPerSecond);
        ratios.push_back(r.sweepsPerSecond / b.sweepsPerSecond);
        bareCpu.push_back(b.threadCpuMs);
        recordingCpu.push_back(r.threadCpuMs);
        writersCpu.push_back(r.othersCpuMs);
    }
    return {probe::median(bare),    probe::median(recorded),     probe::median(ratios),
            probe::median(bareCpu), probe::median(recordingCpu), probe::median(writersCpu),
            oneFile ? probe::median(bytes) : 0};
}

} // namespace

Recording measureRecording(int rounds, int sweeps, int few, int many)
{
    Recording figures;
    figures.disk = alternate(rounds, sweeps, QDir::tempPath());
    const QStorageInfo memory(QStringLiteral("/dev/shm"));
    if (memory.isValid() && memory.fileSystemType() == "tmpfs" && QFileInfo(memory.rootPath()).isWritable())
        figures.memory = alternate(rounds, sweeps, memory.rootPath());
    figures.oneFile = alternate(rounds, sweeps, QDir::tempPath(), true);
    figures.compressed = alternate(rounds, sweeps, QDir::tempPath(), true, {QStringLiteral("--compress")});

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

OneFileScale measureOneFileScale(int sweeps)
{
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/q390-bench-XXXXXX"));
    const QString file = dir.filePath(QStringLiteral("long.h5"));
    QProcess rec;
    rec.setStandardOutputFile(QProcess::nullDevice());
    rec.setStandardErrorFile(QProcess::nullDevice());
    rec.start(QStringLiteral(Q390_REC), {QStringLiteral("--sweeps"), QString::number(sweeps), QStringLiteral("-o"), file, QStringLiteral("--quiet")});
    if (!rec.waitForStarted())
        qFatal("q390-rec did not start: %s", qPrintable(rec.errorString()));
    // The process's memory and processor time now and then by the wall clock, which the sweeps'
    // starts in the file are told by too.
    struct Look {
        qint64 at;
        long residentKiB;
        double cpuSeconds;
    };
    std::vector<Look> looks;
    while (!rec.waitForFinished(20))
        looks.push_back({QDateTime::currentMSecsSinceEpoch(), probe::residentKiB(rec.processId()), probe::cpuSecondsOf(rec.processId())});
    OneFileScale figures;
    const auto opened = probe::nowNs();
    const std::unique_ptr<RecordingReader> reader = RecordingReader::open(QFile::encodeName(file));
    figures.openMs = (probe::nowNs() - opened) / 1e6;
    if (reader->size() != sweeps)
        qFatal("q390-rec recorded %lld sweeps of %d into %s", reader->size(), sweeps, qPrintable(file));
    const auto startMs = [&](long long place) { return reader->sweep(place).start.toMSecsSinceEpoch(); };
    const int tenth = sweeps / 10;
    figures.firstTenthSeconds = (startMs(tenth) - startMs(0)) / 1e3;
    figures.lastTenthSeconds = (startMs(sweeps - 1) - startMs(sweeps - 1 - tenth)) / 1e3;
    const qint64 tenthAt = startMs(tenth);
    for (const Look& look : looks) {
        if (look.at <= tenthAt)
            figures.residentTenthKiB = look.residentKiB;
        else
            figures.residentMostKiB = std::max(figures.residentMostKiB, look.residentKiB);
    }
    // The processor time between two moments, from the looks nearest them.
    const auto cpuBetween = [&](qint64 from, qint64 to) {
        const auto near = [&](qint64 at) {
            return std::min_element(looks.begin(), looks.end(), [at](const Look& a, const Look& b) {
                       return std::abs(a.at - at) < std::abs(b.at - at);
                   })->cpuSeconds;
        };
        return near(to) - near(from);
    };
    figures.firstTenthCpuSeconds = cpuBetween(startMs(0), tenthAt);
    figures.lastTenthCpuSeconds = cpuBetween(startMs(sweeps - 1 - tenth), startMs(sweeps - 1));
    // Sweeps anywhere, each described and read on its own.
    for (long long place = 0; place < sweeps; place += sweeps / 97 + 1) {
        const auto asked = probe::nowNs();
        reader->sweep(place);
        reader->samples(place);
        figures.slowestSweepMs = std::max(figures.slowestSweepMs, (probe::nowNs() - asked) / 1e6);
    }
    figures.bytesPerSweep = double(QFileInfo(file).size()) / sweeps;
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
