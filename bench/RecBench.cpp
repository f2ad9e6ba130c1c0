#include "RecBench.h"

#include "Probe.h"

#include "devices/QtSerialDevice.h"
#include "devices/Unit.h"
#include "rec/RecTool.h"

#ifdef Q390_BENCH_FTDI
#include "EmulatedChip.h"
#endif

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <thread>

namespace {

constexpr int BareSweeps = 500;

double bareSweepsPerSecond()
{
    QtSerialDevice serial;
    Unit unit({serial, [] { return QList<PortDevice>{}; }});
    const auto start = probe::nowNs();
    for (int n = 0; n < BareSweeps; ++n)
        unit.sweep(0, Range::Unipolar, [](const Sweep::Sample&) { return true; });
    return BareSweeps / ((probe::nowNs() - start) / 1e9);
}

} // namespace

Recording measureRecording(int few, int many)
{
    Recording figures;
    const double before = bareSweepsPerSecond();

    QTemporaryDir dir;
    QProcess rec;
    rec.setStandardOutputFile(QProcess::nullDevice());
    rec.setStandardErrorFile(QProcess::nullDevice());
    // A hundred sweeps more, so that the process still runs when the many-th is in.
    rec.start(QStringLiteral(Q390_REC), {QStringLiteral("--sweeps"), QString::number(many + 100),
                                          QStringLiteral("-o"), dir.filePath(QStringLiteral("rec")), QStringLiteral("--quiet")});
    if (!rec.waitForStarted())
        qFatal("q390-rec did not start: %s", qPrintable(rec.errorString()));
    // The moment the sweep's file is there, and the process's memory then.
    const auto reached = [&](int sweep, long& residentKiB) {
        const QString file = dir.filePath(QString::asprintf("rec/sweep-%08d-ch0.dat", sweep));
        while (!QFileInfo::exists(file)) {
            if (rec.waitForFinished(0))
                qFatal("q390-rec ended before sweep %d", sweep);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        const auto at = probe::nowNs();
        residentKiB = probe::residentKiB(rec.processId());
        return at;
    };
    const auto fewAt = reached(few, figures.residentFewKiB);
    const auto manyAt = reached(many, figures.residentManyKiB);
    figures.sweepsPerSecond = (many - few) / ((manyAt - fewAt) / 1e9);
    rec.waitForFinished(-1);

    figures.bareSweepsPerSecond = (before + bareSweepsPerSecond()) / 2;
    return figures;
}

#ifdef Q390_BENCH_FTDI
FtdiRecording measureFtdiRecording(int sweeps)
{
    constexpr double UsbRoundTripMs = 1.0;
    SimulatedConverter converter;
    EmulatedChip chip({}, {[&](bool a) { converter.setRts(a); }, [&](bool a) { converter.setDtr(a); },
                           [&] { return converter.readCts(); }});
    QtSerialDevice serial;
    const SystemClock clock;
    QTemporaryDir dir;
    std::FILE* sink = std::fopen("/dev/null", "w");
    const auto start = probe::nowNs();
    const RecTool::Outcome outcome =
        RecTool::run({QStringLiteral("--port"), QStringLiteral("ftdi:i:0x0403:0x6001"), QStringLiteral("--sweeps"),
                      QString::number(sweeps), QStringLiteral("-o"), dir.filePath(QStringLiteral("rec")), QStringLiteral("--quiet")},
                     sink, sink, {serial, clock, [] { return QList<PortDevice>{}; }});
    const double ownSeconds = (probe::nowNs() - start) / 1e9;
    std::fclose(sink);
    FtdiRecording figures;
    figures.recorded = outcome.status == 0 && QFileInfo::exists(dir.filePath(QString::asprintf("rec/sweep-%08d-ch0.dat", sweeps)));
    figures.roundTripsPerSweep = double(chip.roundTrips) / sweeps;
    figures.sweepSeconds = (ownSeconds + chip.roundTrips * UsbRoundTripMs / 1e3 + chip.chipNanoseconds / 1e9) / sweeps;
    return figures;
}
#endif
