#pragma once

#include <QString>

#include <cstdint>

// What seeded runs of the monkey did, added up.
struct MonkeyFigures {
    long actions = 0;  // every action, nested ones included
    long nested = 0;   // actions taken inside a sweep's or replay's yield or a modal box
    long sessions = 0; // windows opened, each ended by Exit (clicked or keyed) or by closing it
    long closes = 0;
    long sweeps = 0;    // sweeps that reached their 8192nd conversion
    long sweepsCut = 0; // sweeps ended early: a load took the plot, a line failed, the program ended
    long replays = 0, loadRefusals = 0, loadCancels = 0;
    long saveConfirms = 0, overwritesDeclined = 0, saveFailures = 0;
    long printConfirms = 0, printFailures = 0;
    long portOpens = 0, portRefusals = 0, lineFailures = 0;

    long exits() const { return sessions - closes; }
    long saves() const { return saveConfirms - overwritesDeclined - saveFailures; }
    long prints() const { return printConfirms - printFailures; }
};

// A seeded random user of the whole main window over test doubles: it clicks every control at
// random moments, many of them from inside a running sweep or replay, lets timer ticks arrive
// from idle, from yields and from inside modal boxes, and checks the window's invariants after
// every action. Returns the first broken invariant with the actions that led to it, or an
// empty text. The same seed repeats the same run.
QString runMonkey(std::uint64_t seed, long actions, MonkeyFigures& figures);
