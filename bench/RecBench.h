#pragma once

// q390-rec recording the simulated converter into a folder, run as a process of its own: its
// pace from the `few`-th sweep to the `many`-th and its resident memory at both, against the
// bare sweep's pace (the core sweep through the unit in this process, no files).
struct Recording {
    double bareSweepsPerSecond = 0;
    double sweepsPerSecond = 0;
    long residentFewKiB = 0;
    long residentManyKiB = 0;
};

Recording measureRecording(int few, int many);

// q390-rec recording sweeps on the emulated FTDI chip in this process: the time a sweep as the
// ftdi section models it, the program's own time plus 1 ms a USB round trip plus every byte
// at the chip's clock.
struct FtdiRecording {
    double sweepSeconds = 0;
    double roundTripsPerSweep = 0;
    bool recorded = false; // every sweep kept
};

FtdiRecording measureFtdiRecording(int sweeps);
