#pragma once

#include "core/system/ThreadSync.h"

#include <functional>
#include <map>

// One sync for many writers at once. A writer that has changed something the sync makes
// durable (a file renamed into a folder) asks for a sync afterwards; it returns once a sync that
// began after the asking has ended, and every writer that asked while an earlier sync ran is
// served by that same next one. So writers in parallel pay for about one sync a round, not one
// each, and each still knows its change is on the disk before it says so.
class SharedSync {
public:
    // `sync` syncs once: 0, or the system's error number; this caller's own, run when it is
    // this caller's turn to sync for everyone. Returns the result of the sync that served it.
    int after(const std::function<int()>& sync);

private:
    struct Round {
        int callers = 0;
        bool done = false;
        int error = 0;
    };

    ThreadLock mutex_;
    ThreadSignal finished_;
    long long started_ = 0; // syncs begun, numbered from 1
    bool running_ = false;
    std::map<long long, Round> rounds_; // by number: at most the one running and the next
};
