#pragma once

#include "window/toolkit/WindowSystem.h"

#include <algorithm>
#include <deque>
#include <functional>
#include <utility>

// Save and print act on the sweep the user sees complete. Work handed in while a sweep runs
// waits until that sweep ends and then runs in the order it was handed in; with no sweep
// running it runs at once. Work confirmed is never lost: whatever drops the sweep (a load, a
// port toggle, a line failure, Exit) ends it here at that moment, so the work runs on the last
// complete sweep before anything replaces the buffer or ends the program. While work waits,
// the window shows it on the button of the command that handed it in, until it is done.
class AfterSweep {
public:
    explicit AfterSweep(WaitingShown& shown) : shown_(shown) {}

    void run(int button, std::function<void()> work)
    {
        if (!sweeping_)
            return work();
        waiting_.push_back({button, std::move(work)});
        shown_.setWaiting(button, true);
    }

    void sweepStarted() { sweeping_ = true; }
    // The sweep completed or was dropped; again for a sweep already ended, nothing happens.
    void sweepEnded()
    {
        sweeping_ = false;
        const bool outer = busy_;
        busy_ = true;
        while (!waiting_.empty()) {
            Work next = std::move(waiting_.front());
            waiting_.pop_front();
            next.work();
            if (std::none_of(waiting_.begin(), waiting_.end(), [&](const Work& later) { return later.button == next.button; }))
                shown_.setWaiting(next.button, false);
        }
        busy_ = outer;
    }
    // Work is being carried out, perhaps waiting in a box it shows or on the print system: no
    // new sweep may start and change the buffer under the work still to come.
    bool busy() const { return busy_ || holds_ > 0; }

    // Work that lets the window's events go on while it waits (a page on its way to the
    // spooler) holds the end of the program back until it is done, its failure box included.
    class Hold {
    public:
        explicit Hold(AfterSweep& afterSweep) : afterSweep_(afterSweep) { ++afterSweep_.holds_; }
        ~Hold()
        {
            if (--afterSweep_.holds_ == 0 && afterSweep_.end_)
                std::exchange(afterSweep_.end_, {})();
        }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        AfterSweep& afterSweep_;
    };
    // Ends the program at once, or when the last hold goes.
    void end(std::function<void()> endProgram)
    {
        if (holds_ > 0)
            end_ = std::move(endProgram);
        else
            endProgram();
    }

private:
    struct Work {
        int button;
        std::function<void()> work;
    };

    WaitingShown& shown_;
    bool sweeping_ = false;
    bool busy_ = false;
    int holds_ = 0;
    std::function<void()> end_;
    std::deque<Work> waiting_;
};
