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
        const bool outer = busy_;
        busy_ = true;
        while (!waiting_.empty()) {
            const std::function<void()> work = std::move(waiting_.front());
            waiting_.pop_front();
            work();
        }
        busy_ = outer;
    }
    // Work is being carried out, perhaps waiting in a box it shows: no new sweep may start and
    // change the buffer under the work still to come.
    bool busy() const { return busy_; }

private:
    bool sweeping_ = false;
    bool busy_ = false;
    std::deque<std::function<void()>> waiting_;
};
