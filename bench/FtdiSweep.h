#pragma once

class BenchWindow;

// One sweep on the modem-line path and one on an FTDI chip in synchronous bit-bang mode (the
// system's libftdi1 on the emulated FT232R behind libusb's functions), each as the program's own
// time for the sweep plus the time its USB traffic would take: 1 ms a line operation on the
// modem lines; in bit-bang mode 1 ms a USB round trip, every byte at the chip's clock, and the
// latency timer for every packet the chip sends short.
struct FtdiSweep {
    double modemLineSeconds = 0;
    double modemLineOwnMs = 0;
    long long lineOperations = 0;
    double bitBangSeconds = 0;
    double bitBangOwnMs = 0;
    long roundTrips = 0;
    long bytes = 0;
    double byteNs = 0;
    long latencyWaits = 0;
    int latencyTimerMs = 0;
    bool samplesAgree = false; // both sweeps stored the same codes
};

FtdiSweep measureFtdiSweep(BenchWindow& window);
