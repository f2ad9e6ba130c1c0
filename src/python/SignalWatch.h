#pragma once

// Lets a sweep look for signals without the GIL. Python runs its signal handlers in the main
// thread only; their C part notes the signal for the interpreter in whatever thread it arrives.
// While the main thread sweeps, a handler put in front of each signal Python handles also raises
// a flag that the sweep reads with no lock: it takes the GIL to run Python's handlers only when
// a signal came, so a busy Python thread never stalls the sweep.
class SignalWatch {
public:
    // With the GIL held, on the main thread. A sweep inside another (from a signal handler)
    // watches through the outer one's handlers.
    SignalWatch();
    ~SignalWatch();
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

    // True once after each signal that came since the last time.
    static bool taken();
};
