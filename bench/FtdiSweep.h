#pragma once

#include <optional>

class BenchWindow;

// One sweep on the modem-line path and one on an FTDI chip in synchronous bit-bang mode (the
// system's libftdi1 on the emulated FT232R behind libusb's functions). The modem-line sweep is
// the program's own time plus 1 ms a line operation. The bit-bang sweep is the emulated chip's
// modelled time: its FIFOs, the byte clock, 64-byte packets with two status bytes, the latency
// timer and the full-speed frame schedule; the program's own time runs beside the transfers
// under way and is given apart.
struct FtdiSweep {
    double modemLineSeconds = 0;
    double modemLineOwnMs = 0;
    long long lineOperations = 0;
    double bitBangSeconds = 0;
    double bitBangOwnMs = 0;
    double pinByteSeconds = 0; // the bytes alone at the chip's clock
    double busSeconds = 0;     // the packets alone, each way, at the most a frame holds
    long roundTrips = 0;
    long packets = 0;
    long bytes = 0;
    double byteNs = 0;
    long latencyWaits = 0;
    int latencyTimerMs = 0;
    bool samplesAgree = false; // both sweeps stored the same codes
};

FtdiSweep measureFtdiSweep(BenchWindow& window);

// The same sweep in the Windows build under Wine: q390-rec.exe through D2XX on the stand-in
// ftd2xx.dll built from the same chip model (bench/windows-ftdi.sh), in the model's time, with
// the bytes clocked through the pins. None without a packaged Windows build (scripts/windows.sh;
// the folder in Q390_WINDOWS_BUILD, build-win by default).
struct WindowsFtdiSweep {
    double seconds = 0;
    long bytes = 0;
};

std::optional<WindowsFtdiSweep> measureWindowsFtdiSweep();
