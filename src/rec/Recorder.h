#pragma once

#include "core/system/Clock.h"
#include "devices/Unit.h"
#include "rec/Progress.h"
#include "rec/RecOptions.h"
#include "rec/SweepOutput.h"

#include <QElapsedTimer>

#include <chrono>
#include <optional>

// Records sweeps from the unit into the output until the limit is reached or a stop signal
// comes. A device that drops out loses the sweep under way (a lost row) and is opened again
// every `retry` until it is back, for as long as the options allow: the time allowed runs from
// the first sweep lost after the last kept, so that a device that opens but fails every sweep
// ends the recording too. With --every a sweep begins at each slot of the pacing; with
// --trigger only the sweeps that cross its level are kept, the others passed over (their
// number and channel go to the next sweep).
class Recorder {
public:
    struct Parts {
        Unit& unit;
        SweepOutput& output;
        Progress& progress;
        const Clock& clock;
        std::chrono::milliseconds retry;
    };
    Recorder(const RecOptions& options, Parts parts) : options_(options), parts_(parts) {}

    // Throws OutputError, and PortError when the device stays away longer than allowed.
    void run();
    // Sweeps handed to the output.
    long long handed() const { return kept_; }

private:
    bool limitReached() const;
    // Waits until `at` seconds from the start; false when a stop signal came, or the time allowed
    // is over first.
    bool waitUntil(double at);
    double seconds() const { return elapsed_.nsecsElapsed() / 1e9; }
    // False when a stop signal or the end of the recording's time came first. Throws PortError
    // when no sweep has been kept for longer than the options allow.
    bool waitForDevice(const SweepRecord& lost, const QString& reason);
    // A sweep from a port whose data line never moved is noted in its row, and told once.
    void markUnanswered(SweepRecord& sweep);

    const RecOptions& options_;
    Parts parts_;
    QElapsedTimer elapsed_;
    QElapsedTimer failing_; // since the first sweep lost after the last kept; invalid while none is
    long long kept_ = 0;
    bool toldUnanswered_ = false;
};
