#include "rec/StopSignals.h"

#include <cstdlib>

volatile std::sig_atomic_t StopSignals::caught_ = 0;

void StopSignals::handle(int signal)
{
    if (!caught_)
        caught_ = signal;
}

StopSignals::StopSignals()
{
    caught_ = 0;
    for (std::size_t n = 0; n < std::size(Signals); ++n) {
        struct sigaction action {};
        sigemptyset(&action.sa_mask);
        // Restarted, so that no write of a file or of the rows is cut short by the signal.
        action.sa_flags = SA_RESTART;
        action.sa_handler = Signals[n] == SIGPIPE ? SIG_IGN : &StopSignals::handle;
        sigaction(Signals[n], &action, &saved_[n]);
    }
}

StopSignals::~StopSignals()
{
    for (std::size_t n = 0; n < std::size(Signals); ++n)
        sigaction(Signals[n], &saved_[n], nullptr);
}

void StopSignals::endBy(int signal)
{
    std::signal(signal, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    std::raise(signal);
    std::_Exit(128 + signal);
}
