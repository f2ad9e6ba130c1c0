#pragma once

#include <chrono>

class BenchWindow;

// Scanning from the simulator under real timer ticks: how many sweeps and how many screen
// repaints of Picture1 a second.
struct FastScan {
    double sweepsPerSecond = 0;
    double repaintsPerSecond = 0;
};

FastScan measureFastScan(BenchWindow& window, int ms);

// Scanning from a converter on a slow port (each line operation paced): how often the screen
// repaints and whether each repaint shows more of the growing trace than the one before.
struct SlowScan {
    double sweepSeconds = 0;       // from the conversions made while watched
    double repaintsPerSecond = 0;
    int growingRepaints = 0;       // repaints that showed a sweep part drawn
    bool growsOnEveryRepaint = false;
    double longestWaitMs = 0;      // longest time a growing trace went without a repaint
};

SlowScan measureSlowScan(BenchWindow& window, std::chrono::nanoseconds perOperation, int ms);
