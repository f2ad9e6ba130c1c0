#include "core/system/SharedSync.h"

#include <cassert>

int SharedSync::after(const std::function<int()>& sync)
{
    std::unique_lock lock(mutex_);
    // A sync under way may have begun before this caller's change: the next one serves it.
    const long long mine = started_ + 1;
    ++rounds_[mine].callers;
    while (!rounds_[mine].done) {
        if (running_) {
            finished_.wait(lock);
            continue;
        }
        // Nothing runs and this caller's round has not been done: it is the next to begin.
        assert(started_ + 1 == mine);
        started_ = mine;
        running_ = true;
        lock.unlock();
        const int error = sync();
        lock.lock();
        running_ = false;
        rounds_[mine].done = true;
        rounds_[mine].error = error;
        finished_.notify_all();
    }
    const int error = rounds_[mine].error;
    if (--rounds_[mine].callers == 0)
        rounds_.erase(mine);
    return error;
}
