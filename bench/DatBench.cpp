#include "DatBench.h"

#include "Probe.h"

#include "core/samples/SampleFile.h"
#include "dat/DatTool.h"

#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <random>
#include <vector>

#include <sys/resource.h>

namespace {

// User and system time of the finished child processes, in milliseconds.
double childrenCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

} // namespace

DatCsv measureDatCsv(int runs)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("random.dat"));
    std::mt19937 random(13);
    SampleArray samples{};
    for (qint16& sample : samples)
        sample = qint16(random());
    SampleFile::write(file, samples);
    const QStringList args{QStringLiteral("csv"), file};

    std::vector<double> process, processCpu, conversion;
    for (int run = 0; run < runs; ++run) {
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        p.setStandardErrorFile(QProcess::nullDevice());
        const double cpu = childrenCpuMs();
        const auto start = probe::nowNs();
        p.start(QStringLiteral(Q390_DAT), args);
        if (!p.waitForFinished(30000) || p.exitCode() != 0)
            qFatal("q390-dat failed: %s", qPrintable(p.errorString()));
        process.push_back((probe::nowNs() - start) / 1e6);
        processCpu.push_back(childrenCpuMs() - cpu);

        std::FILE* sink = std::fopen("/dev/null", "w");
        const auto begin = probe::nowNs();
        DatTool::run(args, sink, sink);
        conversion.push_back((probe::nowNs() - begin) / 1e6);
        std::fclose(sink);
    }
    return {probe::median(process), probe::median(processCpu), probe::median(conversion)};
}
