#pragma once

#include <QString>

#include <cstdint>
#include <vector>

// What the benchmark reads from the system: clocks, the process's CPU time and resident
// memory, and the machine it runs on.
namespace probe {

// CLOCK_MONOTONIC in nanoseconds; one clock for every process on the machine.
std::int64_t nowNs();

// Processor time of the calling thread in nanoseconds.
std::int64_t threadCpuNs();

// Nanoseconds between this process's start (as the kernel recorded it) and now; coarse,
// to the kernel's clock tick.
std::int64_t sinceProcessStartNs();

// User plus system CPU time of this process, all threads, in seconds.
double cpuSeconds();

// User plus system CPU time of another process, to the kernel's clock tick, in seconds.
double cpuSecondsOf(long pid);

// Times this process's threads gave up the processor to wait, all threads together.
long waits();

// Resident memory of this process, or of the process with the id given, in KiB.
long residentKiB(long pid = 0);

double median(std::vector<double> values);

// "2 × Intel(R) Xeon(R) ...", the load average and the like.
QString cpuModel();
int cores();
QString loadAverage();

} // namespace probe
