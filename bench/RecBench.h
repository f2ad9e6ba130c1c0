#pragma once

#include <optional>

// q390-rec recording the simulated converter into a folder and into one HDF5 file. In this
// process, rounds of the bare sweep (the core sweep through the unit, no files) each followed by
// a recording of as many sweeps, so that both see the same load: medians of each and of the
// rounds' ratios; into a folder on the disk, into one in memory (tmpfs) where the system has
// one, which shows the recording's own cost without the disk's, and into one HDF5 file on the
// disk, plain and compressed. As a process of its own: its pace from the `few`-th sweep to the
// `many`-th and its resident memory at both. Processor times are a sweep's, in milliseconds:
// the recording's thread, and the writers (the rest of the process) beside it.
struct RecordingRounds {
    double bareSweepsPerSecond = 0;
    double sweepsPerSecond = 0;
    double ratio = 0;
    double bareCpuMs = 0;
    double recordingCpuMs = 0;
    double writersCpuMs = 0;
    double bytesPerSweep = 0; // of an HDF5 file
};

struct Recording {
    RecordingRounds disk;
    std::optional<RecordingRounds> memory;
    RecordingRounds oneFile, compressed;
    double processSweepsPerSecond = 0;
    long residentFewKiB = 0;
    long residentManyKiB = 0;
};

Recording measureRecording(int rounds, int sweeps, int few, int many);

// q390-rec as a process of its own recording `sweeps` into one HDF5 file on the disk: the time
// the first tenth of the sweeps took and the last tenth (by the starts the file tells; by the
// wall clock and in the process's processor time, which the machine's other load does not
// lengthen), the
// process's resident memory when the first tenth was in and the most after it, and the file
// opened and any sweep read from it afterwards (the slowest of about a hundred across it).
struct OneFileScale {
    double firstTenthSeconds = 0, lastTenthSeconds = 0;
    double firstTenthCpuSeconds = 0, lastTenthCpuSeconds = 0; // the process's processor time then
    long residentTenthKiB = 0, residentMostKiB = 0;
    double openMs = 0, slowestSweepMs = 0;
    double bytesPerSweep = 0;
};

OneFileScale measureOneFileScale(int sweeps);

// q390-rec recording sweeps on the emulated FTDI chip in this process: the modelled time a sweep,
// as the ftdi section models it.
struct FtdiRecording {
    double sweepSeconds = 0;
    double roundTripsPerSweep = 0;
    bool recorded = false; // every sweep kept
};

FtdiRecording measureFtdiRecording(int sweeps);
