#pragma once

#include <functional>
#include <memory>

// SIGTERM, SIGHUP and SIGINT (a logout, kill, Ctrl-C in the terminal the window was started
// from) brought into the event loop: the signal handler only writes a byte to a socket the loop
// watches, and the handler given here then runs from the loop as a click does, inside a sweep's
// yield or a box's own loop alike. One at a time; the earlier actions come back when it goes.
// Windows delivers none of these signals to a window.
class TerminationSignals {
public:
    explicit TerminationSignals(std::function<void()> handler);
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

private:
    // What watches the signals, each system's own (TerminationSignalsPosix.cpp; nothing on Windows).
    struct Watch;
    std::unique_ptr<Watch> watch_;
};
