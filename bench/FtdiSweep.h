#pragma once

class BenchWindow;

// One sweep on the modem-line path and one on an FTDI chip in synchronous bit-bang mode (the
// emulated chip behind libftdi's functions), each as the program's own time for the sweep plus
// the time its USB traffic would take: 1 ms a line operation on the modem lines; 1 ms a round
// trip plus every byte at the chip's clock in bit-bang mode.
struct FtdiSweep {
    double modemLineSeconds = 0;
    double modemLineOwnMs = 0;
    long long lineOperations = 0;
    double bitBangSeconds = 0;
    double bitBangOwnMs = 0;
    long roundTrips = 0;
    long bytes = 0;
    double byteNs = 0;
    bool samplesAgree = false; // both sweeps stored the same codes
};

FtdiSweep measureFtdiSweep(BenchWindow& window);
