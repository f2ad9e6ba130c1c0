// q390corebench: the core sweep timed from C++, as q390-rec sweeps (Unit on the simulator, a
// callback that only goes on), for bench.py to set the module's sweeps against.

#include "devices/SystemSerialDevice.h"
#include "devices/Unit.h"

#include <pybind11/pybind11.h>

#include <chrono>

namespace {

// Seconds for `count` sweeps of the channel, one after another.
double sweepSeconds(int channel, bool unipolar, int count)
{
    SystemSerialDevice serial;
    PortMap ports([] { return QList<PortDevice>(); });
    Unit unit({serial, ports});
    const Range range = unipolar ? Range::Unipolar : Range::Bipolar;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i)
        unit.sweep({channel, range}, [](const Sweep::Sample&) { return true; });
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

PYBIND11_MODULE(q390corebench, m)
{
    m.def("sweep_seconds", &sweepSeconds, pybind11::arg("channel"), pybind11::arg("unipolar"), pybind11::arg("count"));
}
