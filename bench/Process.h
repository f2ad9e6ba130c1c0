#pragma once

#include <QString>

class BenchWindow;

// What the process does in Hold over the given time: CPU time in milliseconds, and how often
// one of its threads woke up (and went back to waiting).
struct Idle {
    double cpuMs = 0;
    long wakeUps = 0;
};

Idle measureHold(BenchWindow& window, int ms);

// Resident memory after a number of sweeps from start and after more of them, in KiB.
struct MemoryHold {
    long afterFewKiB = 0;
    long afterManyKiB = 0;
};

MemoryHold measureMemory(BenchWindow& window, int few, int many);

// Milliseconds from the start of a process running the program to the first paint of
// Picture1 that shows the grid, median over the runs: as seen from outside (the process is
// started by this one) and as the kernel counts from the process's start.
struct StartUp {
    double fromSpawnMs = 0;
    double fromKernelStartMs = 0;
};

StartUp measureStartUp(const QString& benchProgram, int runs);

// The program started as it starts for the user, reporting the first grid on screen and
// ending there. The argument that asks a benchmark process for it:
inline const QString FirstPaintArgument = QStringLiteral("--first-paint");
int runToFirstPaint(int argc, char** argv);
