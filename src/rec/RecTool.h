#pragma once

#include "core/converter/SimulatedConverter.h"
#include "core/system/Clock.h"
#include "devices/PortMap.h"
#include "devices/SerialDevice.h"

#include <QStringList>

#include <chrono>
#include <cstdio>

// q390-rec: sweeps recorded without a window, from the simulated converter, a port or an FTDI
// chip, paced and triggered, into a folder of data files with an index, into one HDF5 file, or
// as CSV rows on standard output.
//
//     q390-rec [--port PORT] [--channel N | --channels LIST] [--range unipolar|bipolar]
//              [--sweeps N | --time DURATION | --continuous] [--every SECONDS]
//              [--trigger LEVEL[,rising|falling]] [-o DIR | -o NAME.h5 | -o -]
//              [--format dat|csv|h5] [--compress] [--append] [--reconnect-timeout DURATION] [-q]
//     q390-rec --list-ports
//
// Messages go to err, one line each, in English. The status is 0 at the limit, 1 for a port,
// a folder, a file or a device that failed, 2 for a command line that makes no sense; a stop
// signal ends the recording whole, and the caller then ends the process by that signal.
namespace RecTool {

constexpr int Failed = 1;
constexpr int Usage = 2;

struct Seams {
    SerialDevice& serial;
    const Clock& clock;
    PortMap::DeviceList devices = PortMap::systemDevices;
    CodeSource simulator = SignalGenerator{};
    // How often a device that dropped out is looked for.
    std::chrono::milliseconds retry{1000};
};

struct Outcome {
    int status = 0;
    int signal = 0; // the stop signal the process is to end by; 0 for none
};

// `out` is none when standard output was closed as the program started: whatever is asked of it
// fails.
Outcome run(const QStringList& arguments, std::FILE* out, std::FILE* err, Seams seams);

} // namespace RecTool
