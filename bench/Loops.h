#pragma once

class BenchWindow;

// One sweep (a call of Timer1_Timer) and one replay (a load of a saved sweep) against their
// irreducible parts, each part 8192 times with the same objects in the same run: idle
// event-pump calls, conversions through the simulator, segments into the backing image.
// Medians over the rounds, in milliseconds; the ratios are the medians of each round's ratio
// to the parts measured beside it, so a passing load on the machine weighs on both alike.
struct LoopCosts {
    double sweepMs = 0;
    double replayMs = 0;
    double pumpsMs = 0;
    double conversionsMs = 0;
    double segmentsMs = 0;
    double sweepRatio = 0;
    double replayRatio = 0;

    double sweepPartsMs() const { return pumpsMs + conversionsMs + segmentsMs; }
    double replayPartsMs() const { return pumpsMs + segmentsMs; }
};

LoopCosts measureLoops(BenchWindow& window, int rounds);
