#pragma once

// Sweeps begun at the multiples of an interval from the first sweep's start: slot k at k ×
// interval seconds after it.
// The next sweep takes the first slot not yet past when the sweep before it ended; so a sweep
// that overruns its interval skips the slots it missed instead of having the next sweeps catch
// up on them.
class Pacing {
public:
    struct Slot {
        long long index = 0;
        double at = 0;          // seconds from the start
        long long skipped = 0;  // slots passed over since the one before
    };

    // `interval` in seconds, above 0.
    explicit Pacing(double interval) : interval_(interval) {}

    // The slot for the next sweep, `now` seconds from any fixed moment: the first sweep takes
    // slot 0 at once, whenever it comes, and the slots after it are counted from then.
    Slot next(double now);

private:
    double interval_;
    long long last_ = -1;
    double origin_ = 0; // when slot 0 began
};
