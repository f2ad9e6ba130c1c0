#include "rec/StopSignals.h"

#include <cstdlib>
#include <pthread.h>

volatile std::sig_atomic_t StopSignals::caught_ = 0;

void StopSignals::handle(int signal)
{
    if (!caught_)
        caught_ = signal;
}

StopSignals::StopSignals()
{
    caught_ = 0;
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    action.sa_handler = &StopSignals::handle;
    for (std::size_t n = 0; n < std::size(Stops); ++n)
        sigaction(Stops[n], &action, &savedStops_[n]);
    action.sa_handler = SIG_IGN;
    for (std::size_t n = 0; n < std::size(Ignored); ++n)
        sigaction(Ignored[n], &action, &savedIgnored_[n]);
}

StopSignals::~StopSignals()
{
    for (std::size_t n = 0; n < std::size(Stops); ++n)
        sigaction(Stops[n], &savedStops_[n], nullptr);
    for (std::size_t n = 0; n < std::size(Ignored); ++n)
        sigaction(Ignored[n], &savedIgnored_[n], nullptr);
}

void StopSignals::leaveToOtherThreads()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : Stops)
        sigaddset(&set, signal);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
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
