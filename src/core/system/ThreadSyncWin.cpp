#include "core/system/ThreadSync.h"

#include <windows.h>

static_assert(sizeof(void*) == sizeof(SRWLOCK) && sizeof(void*) == sizeof(CONDITION_VARIABLE));

namespace {

PSRWLOCK srw(void*& state)
{
    return reinterpret_cast<PSRWLOCK>(&state);
}

} // namespace

void ThreadLock::lock()
{
    AcquireSRWLockExclusive(srw(state_));
}

void ThreadLock::unlock()
{
    ReleaseSRWLockExclusive(srw(state_));
}

void ThreadSignal::notify_one()
{
    WakeConditionVariable(reinterpret_cast<PCONDITION_VARIABLE>(&state_));
}

void ThreadSignal::notify_all()
{
    WakeAllConditionVariable(reinterpret_cast<PCONDITION_VARIABLE>(&state_));
}

void ThreadSignal::wait(std::unique_lock<ThreadLock>& lock)
{
    SleepConditionVariableSRW(reinterpret_cast<PCONDITION_VARIABLE>(&state_), srw(lock.mutex()->state_), INFINITE, 0);
}
