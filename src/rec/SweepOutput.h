#pragma once

#include "core/samples/Range.h"
#include "core/samples/Readings.h"
#include "core/samples/Samples.h"
#include "core/system/Failure.h"
#include "core/system/FailureWords.h"

#include <QDateTime>
#include <QString>

#include <optional>

// An output that cannot be written (a folder, a file, the index, standard output): the
// recording ends with status 1. The reason names what failed.
class OutputError : public Failure {
public:
    using Failure::Failure;
};


// What is told about one sweep, kept or lost.
struct SweepRecord {
    long long number = 0; // from 1; a lost sweep's retry takes its number again
    int channel = 0;
    Range range = Range::Unipolar;
    QDateTime start;      // local time when it began
    double offset = 0;    // seconds from the recording's start to the sweep's
    double seconds = 0;   // how long it took
    QString link;         // what fed it: "simulator", "modem-lines" or "ftdi-bitbang"
    QString note;         // what is doubtful about a sweep kept; empty when nothing
    std::optional<int> trigger; // with --trigger: the index (from 0) of the first sample past the crossing
};

// Where the sweeps go: a folder of files with its index, one HDF5 file, or rows on standard output.
// Each throws OutputError when it cannot write.
class SweepOutput {
public:
    virtual ~SweepOutput() = default;
    // For the messages: the folder, or "standard output".
    virtual QString name() const = 0;
    // Makes what the sweeps go to, once the port is open.
    virtual void begin() = 0;
    // What beginning had to mend, for the messages; empty when nothing.
    virtual QString mended() const { return {}; }
    // The number the first sweep takes.
    virtual long long firstNumber() const { return 1; }
    virtual void kept(const SweepRecord& sweep, const SampleArray& samples) = 0;
    virtual void lost(const SweepRecord& sweep, const QString& reason) = 0;
    // How many of the first `handed` sweeps handed to kept() are written for sure: those count as
    // kept. All of them, for an output that has written a sweep by the time kept() returns.
    virtual long long confirmed(long long handed) const { return handed; }
    // Everything handed over is written.
    virtual void finish() {}
};

