#include "python/Device.h"

#include "core/recording/Pacing.h"
#include "core/recording/Trigger.h"
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
#include <cmath>
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

// A number argument (an int or a float; a bool is refused): TypeError for anything else,
// ValueError for one that is not finite.
double number(py::handle value, const char* argument)
{
    if (PyBool_Check(value.ptr()) || !(PyFloat_Check(value.ptr()) || PyIndex_Check(value.ptr())))
        throw py::type_error(std::string(argument) + " must be a number, not " + Py_TYPE(value.ptr())->tp_name);
    const auto real = py::reinterpret_steal<py::object>(PyNumber_Float(value.ptr()));
    if (!real)
        throw py::error_already_set();
    const double x = PyFloat_AS_DOUBLE(real.ptr());
    if (!std::isfinite(x))
        throw py::value_error(std::string(argument) + " must be finite, not " + py::str(real).cast<std::string>());
    return x;
}

// Device.sweep()'s trigger: None, a level in volts (rising), or (level, "rising" or "falling").
std::optional<Trigger> parseTrigger(const py::object& value, Range range)
{
    if (value.is_none())
        return std::nullopt;
    Trigger trigger;
    py::object level = value;
    if (py::isinstance<py::tuple>(value) || py::isinstance<py::list>(value)) {
        if (py::len(value) != 2)
            throw py::value_error("trigger must be a level in volts or (level, \"rising\" or \"falling\")");
        const py::object slope = value[py::int_(1)];
        const std::optional<Trigger::Slope> named
            = py::isinstance<py::str>(slope) ? slopeNamed(QString::fromStdString(slope.cast<std::string>())) : std::nullopt;
        if (!named)
            throw py::value_error("the trigger's slope must be \"rising\" or \"falling\", not " + py::repr(slope).cast<std::string>());
        trigger.slope = *named;
        level = value[py::int_(0)];
    }
    trigger.level = number(level, "the trigger's level");
    if (!withinRange(trigger.level, range))
        throw py::value_error("the trigger's level, " + py::str(py::float_(trigger.level)).cast<std::string>() + " V, lies outside the "
                              + rangeWord(range).toStdString() + " range's volts");
    return trigger;
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
    // One sweep; with a trigger, sweeps until one crosses its level.
    std::unique_ptr<SweepRecord> sweep(int channel, Range range, const std::optional<Trigger>& trigger);

private:
    enum class Outcome { Complete, Stopped, LineFailed, Closed };

    struct Port {
        SystemSerialDevice serial;
        Unit unit{{serial, portMap()}};
    };

    explicit Device(std::string given) : given_(std::move(given)) {}
    std::unique_ptr<SweepRecord> take(int channel, Range range);
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
    record.link = unit.port().linkName().toStdString();
    answered = unit.port().simulated() || unit.lineMoved();
    return Outcome::Complete;
}

std::unique_ptr<SweepRecord> Device::sweep(int channel, Range range, const std::optional<Trigger>& trigger)
{
    for (;;) {
        std::unique_ptr<SweepRecord> record = take(channel, range);
        if (!trigger)
            return record;
        record->trigger = firstCrossing(record->samples, range, *trigger);
        if (record->trigger)
            return record;
    }
}

std::unique_ptr<SweepRecord> Device::take(int channel, Range range)
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

// Device.sweeps(): the channels in turn, `count` sweeps or without end; with `pacing`, each
// begun at the next of its slots from the first sweep on.
struct Sweeps {
    py::object device; // keeps it alive
    std::vector<int> channels;
    Range range;
    std::optional<long long> count;
    std::optional<Pacing> pacing;
    long long taken = 0;

    std::unique_ptr<SweepRecord> next()
    {
        if (count && taken >= *count)
            throw py::stop_iteration();
        long long skipped = 0;
        if (pacing) {
            // The pacing counts its slots from the first sweep's moment; any fixed clock serves.
            const auto now = [] { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); };
            const Pacing::Slot slot = pacing->next(now());
            skipped = slot.skipped;
            // Python's own sleep: no busy wait, and Ctrl-C ends it at once.
            if (const double wait = slot.at - now(); wait > 0)
                py::module_::import("time").attr("sleep")(wait);
        }
        auto record = device.cast<Device&>().sweep(channels[std::size_t(taken % channels.size())], range, std::nullopt);
        if (skipped > 0)
            record->note = std::to_string(skipped) + (skipped == 1 ? " start" : " starts") + " of every= skipped before it";
        ++taken;
        return record;
    }
};

Sweeps sweeps(py::object device, const py::iterable& channels, const std::string& range, const py::object& count,
              const py::object& every)
{
    std::vector<int> numbers;
    for (const py::handle channel : channels)
        numbers.push_back(channelNumber(channel, "channels"));
    if (numbers.empty())
        throw py::value_error("channels must name at least one channel");
    std::optional<long long> sweeps;
    if (!count.is_none())
        sweeps = integer(count, "count", 0, std::numeric_limits<long long>::max());
    std::optional<Pacing> pacing;
    if (!every.is_none()) {
        const double seconds = number(every, "every");
        if (seconds <= 0)
            throw py::value_error("every must be above 0 seconds, not " + py::str(every).cast<std::string>());
        pacing.emplace(seconds);
    }
    return {std::move(device), std::move(numbers), *parseRange(range, false), sweeps, pacing};
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
            [](Device& d, const py::object& channel, const std::string& range, const py::object& trigger) {
                const int number = channelNumber(channel, "channel");
                const Range in = *parseRange(range, false);
                return d.sweep(number, in, parseTrigger(trigger, in));
            },
            py::arg("channel") = 0, py::arg("range") = "unipolar", py::kw_only(), py::arg("trigger") = py::none(),
            R"(Takes one sweep: 8192 conversions of the channel (0..7) in the range ("unipolar" or
"bipolar").

trigger=1.2 or trigger=(1.2, "falling") returns only a sweep in which the signal crosses that
level in volts (within the range) that way, rising when not said: sweeps are taken one after
the other, and those that do not cross dropped, until one does; Sweep.trigger is then the index
of the first sample past the crossing. Rising: the sample before it is below the level and it is
at or above it; falling: the sample before it is above the level and it is at or below it. A
signal that never crosses keeps it sweeping until interrupted, Ctrl-C working as for any sweep.

Other Python threads run while it converts, and a busy one does not slow it. On the main
thread Ctrl-C (KeyboardInterrupt) or any exception a signal handler raises drops the sweep at
the next conversion and leaves the device open. Raises LineError when the
device drops out (the sweep is dropped and the device closed), ValueError for a channel
outside 0..7, a bad range or a closed device, TypeError for a channel that is no int.
Warns with Q390Warning when nothing answered on a port: the converter's data line never moved,
so every sample is the same code (no unit connected, or it is switched off).)")
        .def("sweeps", &sweeps, py::arg("channels") = std::vector<int>{0}, py::arg("range") = "unipolar",
             py::arg("count") = py::none(), py::kw_only(), py::arg("every") = py::none(),
             R"(Sweeps the channels in turn, count sweeps in all, or until interrupted when count is None.

An iterator: each step takes one sweep as sweep() does, with the same errors.

every=SECONDS paces them: the first sweep begins at once, and each one after at the next
multiple of the interval from that start that is not yet past. A sweep that overruns its
interval makes the next skip the starts it missed rather than catch up on them, and that
sweep's note says how many ("2 starts of every= skipped before it"). The wait is a sleep
(Ctrl-C ends it at once) and begins when the next sweep is asked for.)")
        .def(
            "__repr__",
            [](Device& d) { return "<q390.Device " + d.port() + (d.closed() ? " closed>" : " " + d.link() + ">"); },
            "The port and what the sweeps go through, or that the device is closed.");

    mainThread = py::module_::import("threading").attr("main_thread")().attr("ident").cast<unsigned long>();
    // Devices still open when the interpreter ends are given back before it does.
    py::module_::import("atexit").attr("register")(py::cpp_function(&Device::closeAll));
    py::module_::import("os").attr("register_at_fork")(py::arg("after_in_child") = py::cpp_function(&Device::forgetAll));
}
