#pragma once

#include <optional>

// q390-rec recording the simulated converter into a folder. In this process, rounds of the bare
// sweep (the core sweep through the unit, no files) each followed by a recording of as many
// sweeps, so that both see the same load: medians of each and of the rounds' ratios; into a
// folder on the disk, and into one in memory (tmpfs) where the system has one, which shows the
// recording's own cost without the disk's. As a process of its own: its pace from the `few`-th
// sweep to the `many`-th and its resident memory at both. Processor times are a sweep's, in
// milliseconds: the recording's thread, and the writers (the rest of the process) beside it.
struct RecordingRounds {
    double bareSweepsPerSecond = 0;
    double sweepsPerSecond = 0;
    double ratio = 0;
    double bareCpuMs = 0;
    double recordingCpuMs = 0;
    double writersCpuMs = 0;
};

struct Recording {
    RecordingRounds disk;
    std::optional<RecordingRounds> memory;
    double processSweepsPerSecond = 0;
    long residentFewKiB = 0;
    long residentManyKiB = 0;
};

Recording measureRecording(int rounds, int sweeps, int few, int many);

// q390-rec recording sweeps on the emulated FTDI chip in this process: the modelled time a sweep,
// as the ftdi section models it.
struct FtdiRecording {
    double sweepSeconds = 0;
    double roundTripsPerSweep = 0;
    bool recorded = false; // every sweep kept
};

FtdiRecording measureFtdiRecording(int sweeps);
