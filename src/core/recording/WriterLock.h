#pragma once

#include <QByteArray>

#include <hdf5.h>

#include <cstdint>

// The one-file recording's own mark that a writer has the file. HDF5's marks cannot tell a
// writer that died from one still writing (a writer in SWMR mode drops the library's lock so
// that readers may come), so each writer also holds this lock while it lives: another writer
// sees it, a reader never notices it, and the system drops it when the writer's process ends,
// however it ends. A lock on one byte far past any data: POSIX's open-file-description locks
// (WriterLockPosix.cpp), Windows' LockFileEx (WriterLockWin.cpp), where a lock keeps others
// from reading what it covers.
class WriterLock {
public:
    // Takes the lock on the file that `path` (the system's bytes) names.
    explicit WriterLock(const QByteArray& path);
    ~WriterLock();
    WriterLock(const WriterLock&) = delete;
    WriterLock& operator=(const WriterLock&) = delete;

    bool held() const { return error_ == 0; }
    // Why it is not held: taken by another writer (busy()), or the system's error number.
    int errorNumber() const { return error_; }
    bool busy() const { return busy_; }

private:
    std::intptr_t handle_ = -1;
    int error_ = 0;
    bool busy_ = false;
};

// The library's own file locks on the access list: kept on POSIX, where they are advisory
// (flock) and keep a writer from a file that another program has open. Windows' locks keep
// every other handle from the bytes they cover: a reader's lock over the whole file would
// stop the writer's writes, and the library's over the whole file would refuse this lock, so
// there the file's marks and this lock serve alone. The library's result.
herr_t setLibraryLocks(hid_t access);

// Makes the data written through a C library file descriptor durable, and the size it grew to:
// 0, or the system's error number.
int syncData(int descriptor);
