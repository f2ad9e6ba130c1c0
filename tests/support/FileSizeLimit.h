#pragma once

#include <csignal>
#include <sys/resource.h>

// Files of this process cannot grow past the limit: writes stop part-way as on a full disk.
// The limit's signal keeps its default action, which ends the process: the program itself
// must keep a save past the limit from doing that.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) : signal_(std::signal(SIGXFSZ, SIG_DFL))
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, signal_);
    }

private:
    void (*signal_)(int);
    rlimit saved_{};
};
