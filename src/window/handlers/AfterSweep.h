#pragma once

#include <deque>
#include <functional>

// Save and print act on the sweep the user sees complete. Work handed in while a sweep runs
// waits until that sweep ends and then runs in the order it was handed in; with no sweep
// running it runs at once. Work confirmed is never lost: whatever drops the sweep (a load, a
// port toggle, a line failure, Exit) ends it here at that moment, so the work runs on the last
// complete sweep before anything replaces the buffer or ends the program.
class AfterSweep {
public:
    void run(std::function<void()> work)
    {
        if (sweeping_)
            waiting_.push_back(std::move(work));
        else
            work();
    }

    void sweepStarted() { sweeping_ = true; }
    // The sweep completed or was dropped; again for a sweep already ended, nothing happens.
    void sweepEnded()
    {
        sweeping_ = false;
        // A piece of work may start a sweep of its own (a tick inside a box it shows); what is
        // still waiting then waits for that one.
        while (!sweeping_ && !waiting_.empty()) {
            const std::function<void()> work = std::move(waiting_.front());
            waiting_.pop_front();
            work();
        }
    }

private:
    bool sweeping_ = false;
    std::deque<std::function<void()>> waiting_;
};
