// q390emu, for the q390 module's tests: the emulated port and FTDI chip of tests/devices with
// converter codes a test can predict. The emulations reach the q390 module's system calls and libftdi calls
// only with their libraries preloaded (LD_PRELOAD), as ctest runs the tests.

#include "EmulatedDevice.h"
#include "EmulatedUsbChip.h"
#include "support/Ramp.h"

#include <pybind11/pybind11.h>

#include <ftdi.h>

#include <csignal>
#include <memory>

namespace py = pybind11;

namespace {

struct PortOnRamp {
    Ramp ramp;
    EmulatedDevice device{[this](const ConversionRequest& r) { return ramp(r); }};
};

struct ChipOnRamp {
    Ramp ramp;
    SimulatedConverter converter{[this](const ConversionRequest& r) { return ramp(r); }};
    EmulatedUsbChip chip{{}, {[this](bool a) { converter.setRts(a); }, [this](bool a) { converter.setDtr(a); },
                           [this] { return converter.readCts(); }}};
};

// An emulation plugged from construction until the end of its with block.
template <class Emulation>
struct Plugged {
    std::unique_ptr<Emulation> on = std::make_unique<Emulation>();
};

template <class Emulation>
py::class_<Plugged<Emulation>> plugged(py::module_& m, const char* name)
{
    return py::class_<Plugged<Emulation>>(m, name)
        .def(py::init<>())
        .def("__enter__", [](py::object self) { return self; })
        .def("__exit__", [](Plugged<Emulation>& p, py::args) { p.on.reset(); })
        .def_property_readonly("conversions", [](Plugged<Emulation>& p) { return p.on->ramp.n; })
        .def("interrupt_at", [](Plugged<Emulation>& p, long at) {
            p.on->ramp.before = [at](long n) {
                if (n == at)
                    std::raise(SIGINT); // as Ctrl-C would
            };
        });
}

} // namespace

PYBIND11_MODULE(q390emu, m)
{
    plugged<PortOnRamp>(m, "Port")
        .def_property_readonly("path", [](Plugged<PortOnRamp>& p) { return p.on->device.path().toStdString(); })
        .def("pull_out_at", [](Plugged<PortOnRamp>& p, long operation) { p.on->device.pullOutAt(operation); })
        .def("hold_cts", [](Plugged<PortOnRamp>& p, bool level) { p.on->device.ctsHeld = level; });
    plugged<ChipOnRamp>(m, "Chip").def_property_readonly("released", [](Plugged<ChipOnRamp>& p) {
        const EmulatedUsbChip& chip = p.on->chip;
        return !chip.open && chip.bitmode == BITMODE_RESET && chip.kernelDriverAttached;
    });
}
