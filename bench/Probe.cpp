#include "Probe.h"

#include <QFile>
#include <QStringList>

#include <algorithm>
#include <ctime>
#include <thread>

#include <sys/resource.h>
#include <unistd.h>

namespace probe {

namespace {

std::int64_t clockNs(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return std::int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

QByteArray readProc(const char* path)
{
    QFile file(QString::fromLatin1(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

std::int64_t nowNs()
{
    return clockNs(CLOCK_MONOTONIC);
}

std::int64_t threadCpuNs()
{
    return clockNs(CLOCK_THREAD_CPUTIME_ID);
}

std::int64_t sinceProcessStartNs()
{
    // Field 22 of /proc/self/stat, after the parenthesised command name, is the start time in
    // clock ticks since boot; CLOCK_BOOTTIME counts from the same moment.
    const QByteArray stat = readProc("/proc/self/stat");
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    const long long ticks = fields.size() > 19 ? fields[19].toLongLong() : 0;
    const std::int64_t started = ticks * (1'000'000'000 / sysconf(_SC_CLK_TCK));
    return clockNs(CLOCK_BOOTTIME) - started;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

long waits()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_nvcsw;
}

double cpuSecondsOf(long pid)
{
    // After the command's closing parenthesis: the state is field 3, utime and stime 14 and 15.
    const QByteArray stat = readProc(("/proc/" + QByteArray::number(pid) + "/stat").constData());
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 12 ? (fields[11].toDouble() + fields[12].toDouble()) / sysconf(_SC_CLK_TCK) : 0;
}

long residentKiB(long pid)
{
    const QByteArray statm = pid ? "/proc/" + QByteArray::number(pid) + "/statm" : QByteArray("/proc/self/statm");
    const QList<QByteArray> fields = readProc(statm.constData()).split(' ');
    return fields.size() > 1 ? fields[1].toLong() * (sysconf(_SC_PAGESIZE) / 1024) : 0;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2.0;
}

QString cpuModel()
{
    for (const QByteArray& line : readProc("/proc/cpuinfo").split('\n'))
        if (line.startsWith("model name"))
            return QString::fromLatin1(line.mid(line.indexOf(':') + 1).trimmed());
    return QStringLiteral("unknown");
}

int cores()
{
    return int(std::thread::hardware_concurrency());
}

QString loadAverage()
{
    return QString::fromLatin1(readProc("/proc/loadavg")).section(u' ', 0, 2);
}

} // namespace probe
