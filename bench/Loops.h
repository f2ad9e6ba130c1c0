#pragma once

class BenchWindow;

// One sweep (a call of Timer1_Timer) and one replay (a load of a saved sweep) against their
// irreducible parts, each part 8192 times with the same objects in the same run: idle
// event-pump calls, conversions through the simulator, segments into the backing image.
struct LoopFigures {
    // Medians over the rounds, in milliseconds.
    double sweepMs = 0;
    double replayMs = 0;
    double pumpsMs = 0;
    double conversionsMs = 0;
    double segmentsMs = 0;
    double sweepPartsMs = 0;  // pumps + conversions + segments of a round
    double replayPartsMs = 0; // pumps + segments of a round
    // Medians of each round's ratio to the parts measured beside it.
    double sweepRatio = 0;
    double replayRatio = 0;
};

// The same rounds by the wall clock and by the processor time of the window's thread. Neither
// loop ever waits, so the two agree on a quiet machine; on a busy one the thread's time leaves
// out the slices the other programs took.
struct LoopCosts {
    LoopFigures wall;
    LoopFigures cpu;
};

LoopCosts measureLoops(BenchWindow& window, int rounds);
