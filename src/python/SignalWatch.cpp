#include "python/SignalWatch.h"

#include <pybind11/pybind11.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <vector>

namespace py = pybind11;

namespace {

std::atomic<bool> signalled = false;
struct sigaction previous[NSIG];
std::vector<int> watched; // main thread only
int depth = 0;            // main thread only

void noted(int number, siginfo_t* info, void* context)
{
    const int saved = errno;
    signalled.store(true, std::memory_order_relaxed);
    const struct sigaction& before = previous[number];
    if (before.sa_flags & SA_SIGINFO)
        before.sa_sigaction(number, info, context);
    else if (before.sa_handler != SIG_DFL && before.sa_handler != SIG_IGN)
        before.sa_handler(number);
    errno = saved;
}

// Whether Python has a handler of its own for the signal (signal.signal set one).
bool pythonHandles(int number)
{
    return PyCallable_Check(py::module_::import("signal").attr("getsignal")(number).ptr());
}

} // namespace

SignalWatch::SignalWatch()
{
    if (depth++ > 0)
        return;
    for (int number = 1; number < NSIG; ++number) {
        struct sigaction current {};
        if (::sigaction(number, nullptr, &current) != 0 || current.sa_handler == SIG_DFL
            || current.sa_handler == SIG_IGN || !pythonHandles(number))
            continue;
        previous[number] = current;
        struct sigaction ours = current;
        ours.sa_flags |= SA_SIGINFO;
        ours.sa_sigaction = &noted;
        if (::sigaction(number, &ours, nullptr) == 0)
            watched.push_back(number);
    }
}

SignalWatch::~SignalWatch()
{
    if (--depth > 0)
        return;
    for (const int number : watched)
        ::sigaction(number, &previous[number], nullptr);
    watched.clear();
}

bool SignalWatch::taken()
{
    return signalled.load(std::memory_order_relaxed) && signalled.exchange(false);
}
