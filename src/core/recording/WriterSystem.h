#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <hdf5.h>

#include <cstdint>

// What the one-file recording's writer needs of the system beside the HDF5 library: POSIX in
// WriterSystemPosix.cpp, Windows in WriterSystemWin.cpp.

// The one-file recording's own mark that a writer has the file. HDF5's marks cannot tell a
// writer that died from one still writing (a writer in SWMR mode drops the library's lock so
// that readers may come), so each writer also holds this lock while it lives: another writer
// sees it, a reader never notices it, and the system drops it when the writer's process ends,
// however it ends. A lock on one byte far past any data: POSIX's open-file-description locks,
// Windows' LockFileEx, where a lock keeps others from reading what it covers.
class WriterLock {
public:
    // Takes the lock on the file that `path` (the system's bytes) names.
    explicit WriterLock(const QByteArray& path);
    ~WriterLock();
    WriterLock(const WriterLock&) = delete;
    WriterLock& operator=(const WriterLock&) = delete;

    // Whether a writer holds the lock on the file now, for a reader to tell a file still being
    // written from one whose writer has gone (closed it or died); taking nothing. False where the
    // file cannot be opened.
    static bool heldOn(const QByteArray& path);

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

// For a C library file descriptor, each 0 or the system's error number:
// makes the data written through it durable, and the size the file grew to;
int syncData(int descriptor);
// grows the file to `size` bytes with room for them on the disk, so that writes there cannot
// find the disk full or pass a file-size limit (a smaller size changes nothing);
int reserveSpace(int descriptor, qint64 size);
// cuts the file to `size` bytes;
int truncateTo(int descriptor, qint64 size);
// points it at a new scratch file of its own that goes when closed, so that nothing written
// through it any more reaches the file, and writes and a truncation there still succeed.
int detach(int descriptor);
