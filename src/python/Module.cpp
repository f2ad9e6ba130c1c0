// The q390 Python module: sweeps from the unit and its data files as NumPy arrays, through the
// same core and devices as the window and q390-rec.

#include "python/Device.h"
#include "python/Errors.h"
#include "python/Files.h"
#include "python/Recording.h"
#include "python/SweepRecord.h"

PYBIND11_MODULE(_q390, module)
{
    module.doc() = R"(Sweeps from the Q390 data-acquisition unit and its data files, as NumPy arrays.

The Q390 is an eight-channel, 12-bit converter on a PC serial port. A sweep is 8192
conversions of one channel in one range, taken here through the same code as the q390 window
and q390-rec: the simulated converter built into the program, a serial port's modem-control
lines, or an FTDI chip in synchronous bit-bang mode. Data files are the window's: 8192
16-bit records, no header.

    import q390
    with q390.Device("COM1") as dev:                  # or "sim", "/dev/ttyUSB0", "ftdi:..."
        sweeps = list(dev.sweeps(channels=[2], count=10))
    print(sum(s.volts.mean() for s in sweeps) / len(sweeps))

    s = q390.read("vx-2071430.dat")                   # s.stored, s.codes, s.volts, s.range
    q390.save("copy.dat", s)

    rec = q390.read_recording("run.h5")               # or q390-rec's folder; read sweep by sweep
    print(len(rec), rec[-1].start, [s.volts.max() for s in rec[:10]])
    for s in q390.read_recording("run.h5", follow=True):  # as q390-rec writes it
        print(s.number, s.volts.mean())

Errors are Python's: OSError and its subclasses for files, PortError and LineError (both
OSError) for the port, ValueError for a bad argument or a file that is no data file.)";
    module.attr("__version__") = Q390_PYTHON_VERSION;
    errors::add(module);
    addSweep(module);
    addFiles(module);
    addRecording(module);
    addDevice(module);
}
