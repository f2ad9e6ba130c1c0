#include "rec/StopSignals.h"

#include <cstdio>

#include <windows.h>

volatile std::sig_atomic_t StopSignals::caught_ = 0;

int __stdcall StopSignals::handleEvent(unsigned long event)
{
    const int signal = event == CTRL_C_EVENT ? SIGINT : event == CTRL_BREAK_EVENT ? SIGBREAK : SIGTERM;
    if (!caught_)
        caught_ = signal;
    if (signal != SIGTERM)
        return TRUE;
    // Past the return of this handler, or a few seconds, Windows ends the process from outside
    // with a closed console: the recording ends whole first and the process ends itself (endBy).
    Sleep(INFINITE);
    return TRUE;
}

StopSignals::StopSignals()
{
    caught_ = 0;
    SetConsoleCtrlHandler(&StopSignals::handleEvent, TRUE);
}

StopSignals::~StopSignals()
{
    SetConsoleCtrlHandler(&StopSignals::handleEvent, FALSE);
}

void StopSignals::endBy(int)
{
    std::fflush(nullptr);
    // Windows' own exit status of a program ended by Ctrl-C, whichever event it was.
    ExitProcess(STATUS_CONTROL_C_EXIT);
}

void StopSignals::leaveToOtherThreads()
{
    // Console control events come on a thread of their own: no thread's calls are disturbed.
}
