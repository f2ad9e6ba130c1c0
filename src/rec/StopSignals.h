#pragma once

#include <QtGlobal>

#include <csignal>
#include <iterator>

// While one lives, SIGINT, SIGTERM and SIGHUP only mark that the recording is to stop (the
// first one is kept), to be seen between samples. They are not restarted: a write blocked on a
// pipe nobody reads, or any other wait of the recording's thread, ends with EINTR and looks
// again. SIGPIPE and SIGXFSZ are ignored, so that a reader that went away or a file-size limit
// shows up as a failed write. The actions before come back when it ends.
class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // The signal that came, 0 while none has.
    static int caught() { return caught_; }

    // The stop signals go to the other threads, not to the calling one, whose system calls
    // then run undisturbed (a writer thread's file writes).
    static void leaveToOtherThreads();

    // Ends the process by the signal as if it had not been handled: its default action, then
    // the signal again.
    [[noreturn]] static void endBy(int signal);

private:
    static volatile std::sig_atomic_t caught_;
#ifdef Q_OS_WIN
    // Windows has console control events instead: Ctrl-C (SIGINT), Ctrl-Break (SIGBREAK) and
    // the console closed, the user logging off or the system shutting down (SIGTERM).
    static int __stdcall handleEvent(unsigned long event);
#else
    static void handle(int signal);

    static constexpr int Stops[] = {SIGINT, SIGTERM, SIGHUP};
    static constexpr int Ignored[] = {SIGPIPE, SIGXFSZ};
    struct sigaction savedStops_[std::size(Stops)];
    struct sigaction savedIgnored_[std::size(Ignored)];
#endif
};
