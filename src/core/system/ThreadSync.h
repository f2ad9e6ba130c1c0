#pragma once

// The lock and the wake-up that threads handing work to each other share. On Windows, MinGW's
// std::mutex and std::condition_variable are winpthreads' semaphores, and under Wine every wait
// and wake-up on those is a round trip to the Wine server, which a writer's flush to the disk
// holds up; Windows' own slim locks and condition variables wait on the address in the process.
#ifdef _WIN32
#include <mutex>

class ThreadLock {
public:
    ThreadLock() = default;
    ThreadLock(const ThreadLock&) = delete;
    ThreadLock& operator=(const ThreadLock&) = delete;
    void lock();
    void unlock();

private:
    friend class ThreadSignal;
    void* state_ = nullptr; // an SRWLOCK, whose initial state is a null pointer
};

class ThreadSignal {
public:
    ThreadSignal() = default;
    ThreadSignal(const ThreadSignal&) = delete;
    ThreadSignal& operator=(const ThreadSignal&) = delete;
    void notify_one();
    void notify_all();
    void wait(std::unique_lock<ThreadLock>& lock);
    template <class Ready>
    void wait(std::unique_lock<ThreadLock>& lock, Ready ready)
    {
        while (!ready())
            wait(lock);
    }

private:
    void* state_ = nullptr; // a CONDITION_VARIABLE, whose initial state is a null pointer
};
#else
#include <condition_variable>
#include <mutex>

using ThreadLock = std::mutex;
using ThreadSignal = std::condition_variable;
#endif
