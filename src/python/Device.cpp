#include "python/Device.h"

#include "core/system/FailureWords.h"
#include "devices/PortMap.h"
#include "devices/SystemSerialDevice.h"
#include "devices/Unit.h"
#include "python/Errors.h"
#include "python/Gil.h"
#include "python/Paths.h"
#include "python/SignalWatch.h"
#include "python/SweepRecord.h"

#include <pybind11/stl.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <tuple>
#include <vector>

namespace {

// The ports numbered as the window numbers them, from the first time a port is asked for
// until the interpreter ends, so that a number stays with its device.
PortMap& portMap()
{
    static PortMap map(PortMap::systemDevices);
    map.refresh();
    return map;
}

std::vector<std::tuple<std::string, std::string, std::string>> ports()
{
    std::vector<std::tuple<std::string, std::string, std::string>> found;
    for (const PortEntry& port : portMap().entries()) {
        if (!port.device.isEmpty())
            found.emplace_back(portName(port.number).toStdString(), port.device.toStdString(), port.description.toStdString());
    }
    return found;
}

// An integer argument from first to last: TypeError for anything but an int (a bool is refused
// too), ValueError for one out of range, each naming the argument.
long long integer(py::handle value, const char* argument, long long first, long long last)
{
    if (PyBool_Check(value.ptr()) || !PyIndex_Check(value.ptr()))
        throw py::type_error(std::string(argument) + " must be an int, not " + Py_TYPE(value.ptr())->tp_name);
    const auto number = py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
    if (!number)
        throw py::error_already_set();
    int overflow = 0;
    const long long n = PyLong_AsLongLongAndOverflow(number.ptr(), &overflow);
    if (overflow || n < first || n > last)
        throw py::value_error(std::string(argument) + " must be " + std::to_string(first) + " to "
                              + std::to_string(last) + ", not " + py::str(number).cast<std::string>());
    return n;
}

int channelNumber(py::handle value, const char* argument)
{
    return int(integer(value, argument, 0, ChannelCount - 1));
}

// The main thread, the only one Python runs signal handlers in; set when the module is imported.
unsigned long mainThread = 0;

bool onMainThread()
{
    return PyThread_get_thread_ident() == mainThread;
}

// Set when the interpreter begins to exit: sweeps under way end, and a thread other than the main
// one that would go back to Python waits instead for the process to end.
std::atomic<bool> exiting = false;

[[noreturn]] void waitForTheEnd()
{
    for (;;)
        std::this_thread::sleep_for(std::chrono::hours(1));
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
    // Opens the port; `port` is a str or os.PathLike.
    static std::shared_ptr<Device> open(py::handle port);
    ~Device() { close(); }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // Closes every device still open, at the interpreter's exit.
    static void closeAll();
    // In a child process after fork(): the devices are the parent's, so the child lets go of them
    // without closing anything (closing would remove the parent's lock file and reset its chip).
    static void forgetAll();

    void close();
    bool closed() const { return !open_; }
    std::string link();
    const std::string& port() const { return given_; }
    std::unique_ptr<SweepRecord> sweep(int channel, Range range);

private:
    enum class Outcome { Complete, Stopped, LineFailed, Closed };

    struct Port {
        SystemSerialDevice serial;
        Unit unit{{serial, portMap()}};
    };

    explicit Device(std::string given) : given_(std::move(given)) {}
    // Every device opened, so that the exit and a fork reach them; only touched with the GIL held.
    static std::vector<std::weak_ptr<Device>>& living()
    {
        static std::vector<std::weak_ptr<Device>> devices;
        return devices;
    }
    // Runs without the GIL and with the device locked.
    // `answered`: whether the converter's data line moved, as it does whenever a unit answers.
    Outcome run(int channel, Range range, SweepRecord& record, int& errorNumber, bool& answered, bool watchSignals);

    std::string given_;
    std::unique_ptr<Port> port_ = std::make_unique<Port>();
    std::mutex mutex_; // one sweep or close at a time, across Python threads
    std::atomic<bool> open_ = false; // also read while another thread sweeps
    std::atomic<std::thread::id> sweeping_; // the thread in a sweep; none between sweeps
};

std::shared_ptr<Device> Device::open(py::handle port)
{
    if (exiting)
        throw std::runtime_error("the interpreter is exiting");
    const SystemPath given = systemPath(port, "port");
    if (given.bytes.empty())
        throw py::value_error("port must not be empty: \"sim\", \"COMn\", a device path or \"ftdi:...\"");
    std::shared_ptr<Device> device(new Device(py::str(given.shown)));
    const QString name = qtName(given);
    try {
        const QuietOpen quiet;
        device->port_->unit.open(name);
    } catch (const PortError& e) {
        if (e.kind() == FailureKind::PortNumber)
            throw py::value_error(device->given_ + ": " + englishReason(e).toStdString());
        if (e.errorNumber())
            errors::raise(errors::portError(), e.errorNumber(), given.shown);
        errors::raise(errors::portError(), device->given_ + ": " + englishReason(e).toStdString());
    }
    device->open_ = true;
    std::erase_if(living(), [](const std::weak_ptr<Device>& d) { return d.expired(); });
    living().push_back(device);
    return device;
}

void Device::closeAll()
{
    exiting = true;
    // Held here, so that no other thread's release of its last reference destroys one meanwhile.
    std::vector<std::shared_ptr<Device>> devices;
    for (const std::weak_ptr<Device>& d : living())
        if (std::shared_ptr<Device> device = d.lock())
            devices.push_back(std::move(device));
    for (const std::shared_ptr<Device>& device : devices)
        device->close();
}

void Device::forgetAll()
{
    for (const std::weak_ptr<Device>& d : living()) {
        if (std::shared_ptr<Device> device = d.lock()) {
            device->open_ = false;
            // Not destroyed: destroying it would give the parent's port back. The lock another
            // thread held at the fork stays held in the child, so a forgotten device never takes it.
            (void)device->port_.release();
        }
    }
    living().clear();
}

void Device::close()
{
    if (!open_)
        return;
    // A signal handler that runs inside a sweep would wait for that sweep to end.
    if (sweeping_ == std::this_thread::get_id())
        throw std::runtime_error("close() during a sweep on the same thread (in a signal handler?): raise an "
                                 "exception there instead, which ends the sweep");
    withoutGil([this] {
        const std::lock_guard lock(mutex_);
        if (port_)
            port_->unit.close();
        open_ = false;
    });
}

std::string Device::link()
{
    if (!open_)
        throw py::value_error("the device is closed");
    return port_->unit.port().linkName().toStdString();
}

Device::Outcome Device::run(int channel, Range range, SweepRecord& record, int& errorNumber, bool& answered,
                            bool watchSignals)
{
    if (!open_)
        return Outcome::Closed;
    Unit& unit = port_->unit;
    record.start = std::chrono::system_clock::now();
    const auto began = std::chrono::steady_clock::now();
    sweeping_ = std::this_thread::get_id();
    const struct Done {
        std::atomic<std::thread::id>& thread;
        ~Done() { thread = std::thread::id(); }
    } done{sweeping_};
    try {
        const bool complete = unit.sweep({channel, range}, [&](const Sweep::Sample&) {
            if (exiting || !open_)
                return false;
            if (!watchSignals || !SignalWatch::taken())
                return true;
            const py::gil_scoped_acquire held;
            return PyErr_CheckSignals() == 0;
        });
        if (!complete)
            return Outcome::Stopped;
    } catch (const LineError& e) {
        unit.close();
        open_ = false;
        errorNumber = e.errorNumber();
        return Outcome::LineFailed;
    }
    record.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    record.samples = unit.samples();
    answered = unit.port().simulated() || unit.lineMoved();
    return Outcome::Complete;
}

std::unique_ptr<SweepRecord> Device::sweep(int channel, Range range)
{
    const bool main = onMainThread();
    if (exiting && !main)
        withoutGil(waitForTheEnd);
    if (!open_)
        throw py::value_error("the device is closed");
    auto record = std::make_unique<SweepRecord>();
    record->channel = channel;
    record->range = range;
    int errorNumber = 0;
    bool answered = true;
    std::optional<SignalWatch> watch;
    if (main) {
        watch.emplace();
        // A signal that came before the watch began.
        if (PyErr_CheckSignals() != 0)
            throw py::error_already_set();
    }
    const Outcome outcome = withoutGil([&] {
        Outcome ended;
        {
            const std::lock_guard lock(mutex_);
            ended = run(channel, range, *record, errorNumber, answered, main);
        }
        if (exiting && !main)
            waitForTheEnd();
        return ended;
    });
    switch (outcome) {
    case Outcome::Complete:
        break;
    case Outcome::Stopped:
        if (PyErr_Occurred())
            throw py::error_already_set(); // what a signal handler raised
        [[fallthrough]];
    case Outcome::Closed:
        throw py::value_error("the device is closed");
    case Outcome::LineFailed:
        // A line that fails without a number of its own fails as a pulled adapter's does.
        errors::raise(errors::lineError(), errorNumber ? errorNumber : EIO, py::str(given_),
                      "the sweep was dropped and the device closed");
    }
    if (!answered)
        errors::warn(given_ + ": nothing answered, the data line (CTS) never moved during the sweep: "
                              "is the unit connected and switched on?");
    return record;
}

// Device.sweeps(): the channels in turn, `count` sweeps or without end.
struct Sweeps {
    py::object device; // keeps it alive
    std::vector<int> channels;
    Range range;
    std::optional<long long> count;
    long long taken = 0;

    std::unique_ptr<SweepRecord> next()
    {
        if (count && taken >= *count)
            throw py::stop_iteration();
        auto record = device.cast<Device&>().sweep(channels[std::size_t(taken % channels.size())], range);
        ++taken;
        return record;
    }
};

Sweeps sweeps(py::object device, const py::iterable& channels, const std::string& range, const py::object& count)
{
    std::vector<int> numbers;
    for (const py::handle channel : channels)
        numbers.push_back(channelNumber(channel, "channels"));
    if (numbers.empty())
        throw py::value_error("channels must name at least one channel");
    std::optional<long long> sweeps;
    if (!count.is_none())
        sweeps = integer(count, "count", 0, std::numeric_limits<long long>::max());
    return {std::move(device), std::move(numbers), *parseRange(range, false), sweeps};
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

    py::class_<Device, std::shared_ptr<Device>>(module, "Device", R"(The Q390 unit on a port, or its simulated converter.

Device(port="sim") opens it: "sim" for the simulated converter built into the program,
"COMn" for a port numbered as ports() numbers them, a device path such as "/dev/ttyUSB0",
or "ftdi:" and a libftdi device string ("ftdi:i:0x0403:0x6001") for an FTDI chip. An FTDI
chip behind a port or path is driven in synchronous bit-bang mode where it can be.

Use it in a with block; leaving the block, close(), garbage collection or the interpreter's
exit closes the port (an FTDI chip back in UART mode with its driver attached).

port is a str or os.PathLike. A child made by os.fork() forgets the parent's devices: they
read as closed there, and nothing of theirs is closed by the child.

Raises PortError when the port cannot be opened, ValueError for an empty port or a port number
outside 1..16.)")
        .def(py::init(&Device::open), py::arg("port") = "sim")
        .def_property_readonly("link", &Device::link,
                               R"(What the sweeps go through: "simulator", "modem-lines" or "ftdi-bitbang".)")
        .def_property_readonly("path", &Device::link, "The link's earlier name, kept for programs that use it.")
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
            [](Device& d, const py::object& channel, const std::string& range) {
                return d.sweep(channelNumber(channel, "channel"), *parseRange(range, false));
            },
            py::arg("channel") = 0, py::arg("range") = "unipolar",
            R"(Takes one sweep: 8192 conversions of the channel (0..7) in the range ("unipolar" or
"bipolar").

Other Python threads run while it converts, and a busy one does not slow it. On the main
thread Ctrl-C (KeyboardInterrupt) or any exception a signal handler raises drops the sweep at
the next conversion and leaves the device open. Raises LineError when the
device drops out (the sweep is dropped and the device closed), ValueError for a channel
outside 0..7, a bad range or a closed device, TypeError for a channel that is no int.
Warns with Q390Warning when nothing answered on a port: the converter's data line never moved,
so every sample is the same code (no unit connected, or it is switched off).)")
        .def("sweeps", &sweeps, py::arg("channels") = std::vector<int>{0}, py::arg("range") = "unipolar",
             py::arg("count") = py::none(),
             R"(Sweeps the channels in turn, count sweeps in all, or until interrupted when count is None.

An iterator: each step takes one sweep as sweep() does, with the same errors.)")
        .def(
            "__repr__",
            [](Device& d) { return "<q390.Device " + d.port() + (d.closed() ? " closed>" : " " + d.link() + ">"); },
            "The port and what the sweeps go through, or that the device is closed.");

    mainThread = py::module_::import("threading").attr("main_thread")().attr("ident").cast<unsigned long>();
    // Devices still open when the interpreter ends are given back before it does.
    py::module_::import("atexit").attr("register")(py::cpp_function(&Device::closeAll));
    py::module_::import("os").attr("register_at_fork")(py::arg("after_in_child") = py::cpp_function(&Device::forgetAll));
}
