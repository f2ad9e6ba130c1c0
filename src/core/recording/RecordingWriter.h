#pragma once

#include "core/recording/Hdf5.h"
#include "core/recording/OneFileLayout.h"
#include "core/recording/RecordedSweep.h"
#include "core/recording/WriterSystem.h"
#include "core/samples/Samples.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <memory>

// Writes a recording into one HDF5 file (see OneFileLayout), in SWMR mode: readers that open it
// with SWMR (h5py's swmr=True, RecordingReader) read it while it grows, and after the writer's
// process dies at any moment they still find every sweep of the last flush that ended. A file
// whose writer died keeps HDF5's mark that it is open for write, which a plain open refuses
// (h5py without swmr=True, h5dump) until it is continued here or cleared with h5clear -s.
//
// What HDF5 promises is about the process: the library orders its writes so that the file on
// the disk is whole at the end of every flush. A flush here is H5Fflush and then fdatasync, so
// that once flush() returns, the sweeps appended so far are on the disk. The library has no
// journal: a power loss while a later flush writes can leave the file's structures half
// updated, and then no promise holds for it. The folder recording is the one for a promise that
// holds file by file.
//
// The file is grown ahead of the library's writes, with room on the disk, so that a full disk or
// a file-size limit stops the writer before a flush begins, never halfway through one. After a
// failure nothing more reaches the file (not even the library's own close at exit): it keeps
// what the last flush that ended left there.
//
// One thread at a time; names are the system's bytes (UTF-8 on Windows). Every failure is a
// RecordingError: the system's error number where the library names one.
class RecordingWriter {
public:
    // Create: a new file, refused (EEXIST) where the name is taken. Continue: appends to the
    // recording there, or makes a new one where there is none.
    enum Opening { Create, Continue };
    struct Settings {
        QString program;       // the tool that writes, and its version: the file's attributes
        QString version;
        bool compress = false; // a new file's datasets deflated after a byte shuffle
    };

    // Continuing a file whose writer died clears its mark, and drops a sweep it had only half
    // appended (mended() tells). A file another writer still has is refused: busy().
    RecordingWriter(const QByteArray& path, Opening opening, const Settings& settings);
    // Closes the file when close() has not: a failure then goes unreported.
    ~RecordingWriter();
    RecordingWriter(const RecordingWriter&) = delete;
    RecordingWriter& operator=(const RecordingWriter&) = delete;

    // What continuing mended, in English; empty when nothing.
    const QString& mended() const { return mended_; }
    // Sweeps in the file and appended, and the number of the last (0 for none).
    long long size() const { return size_ + gatheredSweeps_; }
    long long lastNumber() const { return lastNumber_; }

    // Appends the sweep and its records (the stored encoding; see RecordCode). A later flush()
    // puts it on the disk; until then it may be there or not. Sweeps are gathered and handed to
    // the library a few hundred at a time at most, with one call a dataset for all of them. After
    // a failure, neither is tried.
    void append(const RecordedSweep& sweep, const SampleArray& stored);
    // Everything appended is on the disk when it returns.
    void flush();
    // Flushes and closes: the file is whole, with no mark left on it.
    void close();

private:
    void create(const Settings& settings);
    void open();
    void takeLock();
    // Each dataset at the length of the shortest.
    void align();
    // The sweeps gathered, into the datasets.
    void writeGathered();
    // Room for what the library writes next, and `more` bytes beside.
    void reserve(qint64 more);
    // Runs a step that writes; when it fails, the file is left as it is.
    template <class Step>
    void writing(const Step& step);

    QByteArray path_;
    std::unique_ptr<WriterLock> lock_;
    Hdf5::Id file_;
    std::array<Hdf5::Id, OneFileLayout::FieldCount> datasets_, memoryTypes_;
    int descriptor_ = -1;
    qint64 reserved_ = 0;
    bool failed_ = false;
    long long size_ = 0; // in the datasets
    long long lastNumber_ = 0;
    // Each field's values of the sweeps appended and not yet in the datasets, in memory types.
    std::array<QByteArray, OneFileLayout::FieldCount> gathered_;
    long long gatheredSweeps_ = 0;
    QString mended_;
};
