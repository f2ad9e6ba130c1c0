#include "python/Device.h"

#include "devices/PortMap.h"
#include "devices/QtSerialDevice.h"
#include "devices/Unit.h"
#include "python/Errors.h"
#include "python/SweepRecord.h"

#include <QRegularExpression>

#include <pybind11/stl.h>

#include <atomic>
#include <cerrno>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <tuple>
#include <vector>

namespace {

// Python's signal handlers run at least this often during a sweep.
constexpr int SignalInterval = 64;
constexpr int Channels = 8;

// The ports numbered as the window numbers them, from the first time a port is asked for
// until the interpreter ends, so that a number stays with its device.
PortMap& portMap()
{
    static PortMap map(PortMap::systemDevices);
    map.refresh();
    return map;
}

// The port number of a name such as "COM3"; none for any other name.
std::optional<int> portNumber(const QString& name)
{
    static const QRegularExpression portName(QStringLiteral("^COM([0-9]+)$"),
                                             QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = portName.match(name);
    if (!match.hasMatch())
        return std::nullopt;
    const int number = match.captured(1).toInt();
    if (number < 1 || number > PortMap::Ports)
        throw py::value_error(name.toStdString() + ": port numbers run from 1 to " + std::to_string(PortMap::Ports));
    return number;
}

std::vector<std::tuple<std::string, std::string, std::string>> ports()
{
    std::vector<std::tuple<std::string, std::string, std::string>> found;
    PortMap& map = portMap();
    for (int n = 1; n <= PortMap::Ports; ++n) {
        const QString path = map.deviceFor(n);
        if (!path.isEmpty())
            found.emplace_back("COM" + std::to_string(n), path.toStdString(), map.descriptionFor(n).toStdString());
    }
    return found;
}

void checkChannel(int channel)
{
    if (channel < 0 || channel >= Channels)
        throw py::value_error("channel must be 0 to 7, not " + std::to_string(channel));
}

// QSerialPort watches a port it opens for incoming bytes, which takes an event loop. The module
// reads no bytes and runs no loop, so the warning that the port cannot be watched is dropped
// while a port opens; every other message goes on to the handler there was. Opens hold the GIL,
// so one runs at a time.
class QuietOpen {
public:
    QuietOpen() { previous_ = qInstallMessageHandler(&filter); }
    ~QuietOpen() { qInstallMessageHandler(previous_); }
    QuietOpen(const QuietOpen&) = delete;
    QuietOpen& operator=(const QuietOpen&) = delete;

private:
    static void filter(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        if (!message.startsWith(u"QSocketNotifier: Can only be used with threads started with QThread"))
            previous_(type, context, message);
    }
    static inline QtMessageHandler previous_ = nullptr;
};

class Device {
public:
    explicit Device(const std::string& port);
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // Every device not yet destroyed, so that the interpreter's exit can close them.
    static std::set<Device*>& living()
    {
        static std::set<Device*> devices;
        return devices;
    }

    void close();
    bool closed() const { return !open_; }
    std::string path();
    const std::string& port() const { return port_; }
    std::unique_ptr<SweepRecord> sweep(int channel, Range range);

private:
    enum class Outcome { Complete, Stopped, LineFailed, Closed };
    // Runs with the GIL released and the device locked.
    Outcome run(int channel, Range range, SweepRecord& record, int& errorNumber);

    std::string port_;
    QtSerialDevice serial_;
    // The module numbers the ports; the unit opens the device path it is given.
    Unit unit_{{serial_, [] { return QList<PortDevice>(); }}};
    std::mutex mutex_; // one sweep or close at a time, across Python threads
    std::atomic<bool> open_ = false; // also read while another thread sweeps
    std::atomic<std::thread::id> sweeping_; // the thread in a sweep; none between sweeps
};

Device::Device(const std::string& port) : port_(port)
{
    QString name = QString::fromStdString(port);
    if (const std::optional<int> number = portNumber(name)) {
        name = portMap().deviceFor(*number);
        if (name.isEmpty())
            errors::raise(errors::portError(), ENODEV, py::str(port));
    }
    try {
        const QuietOpen quiet;
        unit_.open(name);
    } catch (const PortError& e) {
        if (e.errorNumber())
            errors::raise(errors::portError(), e.errorNumber(), py::str(port));
        errors::raise(errors::portError(), port + ": " + e.reason().toStdString());
    }
    open_ = true;
    living().insert(this);
}

Device::~Device()
{
    living().erase(this);
    unit_.close();
}

void Device::close()
{
    // A signal handler that runs inside a sweep would wait for that sweep to end.
    if (sweeping_ == std::this_thread::get_id())
        throw std::runtime_error("close() during a sweep on the same thread (in a signal handler?): raise an "
                                 "exception there instead, which ends the sweep");
    const py::gil_scoped_release released;
    const std::lock_guard lock(mutex_);
    unit_.close();
    open_ = false;
}

std::string Device::path()
{
    if (!open_)
        throw py::value_error("the device is closed");
    return unit_.comm().sourceName().toStdString();
}

Device::Outcome Device::run(int channel, Range range, SweepRecord& record, int& errorNumber)
{
    if (!open_)
        return Outcome::Closed;
    record.start = std::chrono::system_clock::now();
    const auto began = std::chrono::steady_clock::now();
    sweeping_ = std::this_thread::get_id();
    const struct Done {
        std::atomic<std::thread::id>& thread;
        ~Done() { thread = std::thread::id(); }
    } done{sweeping_};
    try {
        const bool complete = unit_.sweep(channel, range, [](const Sweep::Sample& sample) {
            if (sample.number % SignalInterval != 0)
                return true;
            const py::gil_scoped_acquire held;
            return PyErr_CheckSignals() == 0;
        });
        if (!complete)
            return Outcome::Stopped;
    } catch (const LineError& e) {
        unit_.close();
        open_ = false;
        errorNumber = e.errorNumber();
        return Outcome::LineFailed;
    }
    record.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    record.samples = unit_.samples();
    return Outcome::Complete;
}

std::unique_ptr<SweepRecord> Device::sweep(int channel, Range range)
{
    checkChannel(channel);
    auto record = std::make_unique<SweepRecord>();
    record->channel = channel;
    record->range = range;
    int errorNumber = 0;
    Outcome outcome;
    {
        const py::gil_scoped_release released;
        const std::lock_guard lock(mutex_);
        outcome = run(channel, range, *record, errorNumber);
    }
    switch (outcome) {
    case Outcome::Complete:
        break;
    case Outcome::Stopped:
        throw py::error_already_set(); // what a signal handler raised
    case Outcome::Closed:
        throw py::value_error("the device is closed");
    case Outcome::LineFailed:
        // A line that fails without a number of its own fails as a pulled adapter's does.
        errors::raise(errors::lineError(), errorNumber ? errorNumber : EIO, py::str(port_),
                      "the sweep was dropped and the device closed");
    }
    return record;
}

// Device.sweeps(): the channels in turn, `count` sweeps or without end.
struct Sweeps {
    py::object device; // keeps it alive
    std::vector<int> channels;
    Range range;
    std::optional<long> count;
    long taken = 0;

    std::unique_ptr<SweepRecord> next()
    {
        if (count && taken >= *count)
            throw py::stop_iteration();
        auto record = device.cast<Device&>().sweep(channels[std::size_t(taken) % channels.size()], range);
        ++taken;
        return record;
    }
};

Sweeps sweeps(Device& device, const std::vector<int>& channels, const std::string& range, std::optional<long> count)
{
    if (channels.empty())
        throw py::value_error("channels must name at least one channel");
    for (const int channel : channels)
        checkChannel(channel);
    if (count && *count < 0)
        throw py::value_error("count must not be negative");
    // The device's own Python object, which the iterator keeps alive.
    return {py::cast(&device, py::return_value_policy::reference), channels, *parseRange(range, false), count};
}

} // namespace

void addDevice(py::module_& module)
{
    module.def("ports", &ports, R"(The serial ports, numbered as the window numbers them.

A list of (name, device, description) tuples, for example
[("COM1", "/dev/ttyUSB0", "FT232R USB UART")], for the numbers that have a device now. The
devices present the first time ports are asked for take COM1, COM2, ... in path order; one
plugged in later takes the lowest free number; a number stays with its device for as long as
the interpreter runs, also while it is unplugged.)");

    py::class_<Sweeps>(module, "Sweeps", "The iterator Device.sweeps() returns: one Sweep at each step.")
        .def("__iter__", [](Sweeps& s) -> Sweeps& { return s; }, py::return_value_policy::reference,
             "Returns the iterator itself.")
        .def("__next__", &Sweeps::next, "Takes the next sweep.");

    py::class_<Device>(module, "Device", R"(The Q390 unit on a port, or its simulated converter.

Device(port="sim") opens it: "sim" for the simulated converter built into the program,
"COMn" for a port numbered as ports() numbers them, a device path such as "/dev/ttyUSB0",
or "ftdi:" and a libftdi device string ("ftdi:i:0x0403:0x6001") for an FTDI chip. An FTDI
chip behind a port or path is driven in synchronous bit-bang mode where it can be.

Use it in a with block; leaving the block, close(), garbage collection or the interpreter's
exit closes the port (an FTDI chip back in UART mode with its driver attached).

Raises PortError when the port cannot be opened, ValueError for a port number outside 1..16.)")
        .def(py::init<const std::string&>(), py::arg("port") = "sim")
        .def_property_readonly("path", &Device::path,
                               R"(What the sweeps go through: "simulator", "modem-lines" or "ftdi-bitbang".)")
        .def_property_readonly("port", &Device::port, "The port as it was given when the device was opened.")
        .def_property_readonly("closed", &Device::closed, "True once the device is closed.")
        .def("close", &Device::close, R"(Closes the port; the device takes no more sweeps. Closing again does nothing.

Another thread's sweep on the device ends first. A signal handler that runs during a sweep
cannot close the device it sweeps (RuntimeError): it raises an exception instead, which ends
the sweep and leaves the with block.)")
        .def("__enter__", [](Device& d) -> Device& { return d; }, py::return_value_policy::reference,
             "Returns the device itself.")
        .def("__exit__", [](Device& d, py::args) { d.close(); }, "Closes the device.")
        .def(
            "sweep",
            [](Device& d, int channel, const std::string& range) { return d.sweep(channel, *parseRange(range, false)); },
            py::arg("channel") = 0, py::arg("range") = "unipolar",
            R"(Takes one sweep: 8192 conversions of the channel (0..7) in the range ("unipolar" or
"bipolar").

Other Python threads run while it converts. Ctrl-C (KeyboardInterrupt) or any exception a
signal handler raises drops the sweep and leaves the device open. Raises LineError when the
device drops out (the sweep is dropped and the device closed), ValueError for a bad channel or
range or a closed device.)")
        .def("sweeps", &sweeps, py::arg("channels") = std::vector<int>{0}, py::arg("range") = "unipolar",
             py::arg("count") = py::none(),
             R"(Sweeps the channels in turn, count sweeps in all, or until interrupted when count is None.

An iterator: each step takes one sweep as sweep() does, with the same errors.)")
        .def(
            "__repr__",
            [](Device& d) { return "<q390.Device " + d.port() + (d.closed() ? " closed>" : " " + d.path() + ">"); },
            "The port and what the sweeps go through, or that the device is closed.");

    // Devices still open when the interpreter ends are given back before it does.
    py::module_::import("atexit").attr("register")(py::cpp_function([] {
        for (Device* device : Device::living())
            device->close();
    }));
}
