// q390corebench: the core sweep timed from C++, as q390-rec sweeps (Unit on the simulator, a
// callback that only goes on), for bench.py to set the module's sweeps against; and a long
// one-file recording written by the core's writer, for bench.py to read back.

#include "core/recording/RecordingWriter.h"
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

// A recording of `count` sweeps into a new file at `path`: one sweep of the simulator's channel 0
// over and over, numbered 1 on, flushed every 1000, as a long run of q390-rec leaves it (in a
// fraction of its time).
void writeRecording(const std::string& path, long long count)
{
    SystemSerialDevice serial;
    PortMap ports([] { return QList<PortDevice>(); });
    Unit unit({serial, ports});
    unit.sweep({0, Range::Unipolar}, [](const Sweep::Sample&) { return true; });
    RecordingWriter writer(QByteArray::fromStdString(path), RecordingWriter::Create, {"q390corebench", Q390_VERSION, false});
    RecordedSweep sweep;
    sweep.start = QDateTime::currentDateTimeUtc();
    sweep.seconds = 0.7;
    sweep.link = QStringLiteral("simulator");
    for (sweep.number = 1; sweep.number <= count; ++sweep.number) {
        writer.append(sweep, unit.samples());
        if (sweep.number % 1000 == 0)
            writer.flush();
    }
    writer.close();
}

} // namespace

PYBIND11_MODULE(q390corebench, m)
{
    m.def("sweep_seconds", &sweepSeconds, pybind11::arg("channel"), pybind11::arg("unipolar"), pybind11::arg("count"));
    m.def("write_recording", &writeRecording, pybind11::arg("path"), pybind11::arg("count"));
}
