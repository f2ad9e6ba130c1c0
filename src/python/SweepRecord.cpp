#include "python/SweepRecord.h"

#include "core/converter/ControlWord.h"
#include "core/samples/Readings.h"
#include "core/samples/SampleFile.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace {

// value(n) for records 0..8191, in an array that nobody can make writeable: a view of an
// immutable bytes object.
template <class T, class Value>
py::object array(Value&& value)
{
    std::array<T, SweepLength> values;
    for (int n = 0; n < SweepLength; ++n)
        values[n] = T(value(n));
    const py::bytes base(reinterpret_cast<const char*>(values.data()), sizeof values);
    return py::module_::import("numpy").attr("frombuffer")(base, py::dtype::of<T>());
}

std::optional<double> interval(const SweepRecord& s)
{
    if (!s.seconds)
        return std::nullopt;
    return *s.seconds / SweepLength;
}

bool operator==(const SweepRecord& a, const SweepRecord& b)
{
    return a.samples == b.samples && a.range == b.range && a.channel == b.channel && a.start == b.start && a.seconds == b.seconds
        && a.number == b.number && a.link == b.link && a.note == b.note && a.trigger == b.trigger;
}

// What pickle keeps of a sweep: the records as the data file holds them, the range and what
// is known of the sweep taken (its start in the system clock's own ticks, so that it comes
// back exact).
py::object state(const SweepRecord& s)
{
    std::optional<long long> start;
    if (s.start)
        start = s.start->time_since_epoch().count();
    return py::make_tuple(py::bytes(SampleFile::encode(s.samples).toStdString()), rangeWord(s.range).toStdString(), s.channel, start,
                          s.seconds, s.number, s.link, s.note, s.trigger);
}

[[noreturn]] void badState(const std::string& why)
{
    throw py::value_error("not the state of a q390.Sweep: " + why);
}

// An int of the state from `first` to `last` (a bool is none), or none where it is None.
std::optional<long long> stateInteger(py::handle cell, const char* what, long long first = std::numeric_limits<long long>::min(),
                                      long long last = std::numeric_limits<long long>::max())
{
    if (cell.is_none())
        return std::nullopt;
    if (!PyLong_CheckExact(cell.ptr()))
        badState(std::string(what) + " is no int");
    int overflow = 0;
    const long long value = PyLong_AsLongLongAndOverflow(cell.ptr(), &overflow);
    if (overflow != 0 || value < first || value > last)
        badState(std::string(what) + " out of range");
    return value;
}

// A str of the state, or none where it is None.
std::optional<std::string> stateText(py::handle cell, const char* what)
{
    if (cell.is_none())
        return std::nullopt;
    if (!PyUnicode_CheckExact(cell.ptr()))
        badState(std::string(what) + " is no str");
    return cell.cast<std::string>();
}

// The sweep a pickle's state describes, each cell checked, since a pickle may come from anywhere.
// A state of 5 cells is one pickled before sweeps had a number, link, note and trigger.
SweepRecord fromState(const py::object& state)
{
    if (!py::isinstance<py::tuple>(state) || (py::len(state) != 5 && py::len(state) != 9))
        badState("a tuple of 5 or 9 is expected");
    const auto t = state.cast<py::tuple>();
    if (!PyBytes_Check(t[0].ptr()) || py::len(t[0]) != std::size_t(SampleFile::Size))
        badState("the records must be " + std::to_string(SampleFile::Size) + " bytes");
    SweepRecord s;
    SampleFile::decode(QByteArray::fromStdString(t[0].cast<std::string>()), s.samples);
    const std::optional<Range> range
        = PyUnicode_CheckExact(t[1].ptr()) ? rangeNamed(QString::fromStdString(t[1].cast<std::string>())) : std::nullopt;
    if (!range)
        badState("the range must be \"unipolar\" or \"bipolar\"");
    s.range = *range;
    if (const std::optional<long long> channel = stateInteger(t[2], "the channel", 0, ChannelCount - 1))
        s.channel = int(*channel);
    if (const std::optional<long long> ticks = stateInteger(t[3], "the start"))
        s.start = std::chrono::system_clock::time_point(std::chrono::system_clock::duration(*ticks));
    if (!t[4].is_none()) {
        if (!PyFloat_CheckExact(t[4].ptr()) || !validSeconds(t[4].cast<double>()))
            badState("the seconds must be a finite float, not negative");
        s.seconds = t[4].cast<double>();
    }
    if (t.size() == 5)
        return s;
    s.number = stateInteger(t[5], "the number");
    s.link = stateText(t[6], "the link");
    const std::optional<std::string> note = stateText(t[7], "the note");
    if (!note)
        badState("the note is no str");
    s.note = *note;
    if (const std::optional<long long> trigger = stateInteger(t[8], "the trigger", 0, SweepLength - 1))
        s.trigger = int(*trigger);
    return s;
}

// The array kept in `slot`, made on first use.
template <class Make>
py::object kept(py::object& slot, Make&& make)
{
    if (!slot)
        slot = make();
    return slot;
}

} // namespace

bool validSeconds(double seconds)
{
    return std::isfinite(seconds) && seconds >= 0;
}

void describe(SweepRecord& sweep, const RecordedSweep& recorded)
{
    if (recorded.channel < 0 || recorded.channel >= ChannelCount)
        throw py::value_error("sweep " + std::to_string(recorded.number) + ": channel " + std::to_string(recorded.channel)
                              + ", not 0 to 7");
    sweep.number = recorded.number;
    sweep.range = recorded.range;
    sweep.channel = recorded.channel;
    if (recorded.start.isValid())
        sweep.start = std::chrono::system_clock::time_point(std::chrono::milliseconds(recorded.start.toMSecsSinceEpoch()));
    if (recorded.seconds && validSeconds(*recorded.seconds))
        sweep.seconds = recorded.seconds;
    sweep.link = recorded.link.toStdString();
    sweep.note = recorded.note.toStdString();
    if (recorded.trigger && *recorded.trigger >= 0 && *recorded.trigger < SweepLength)
        sweep.trigger = recorded.trigger;
}

std::optional<Range> parseRange(const std::string& name, bool automatic)
{
    const QString word = QString::fromStdString(name);
    if (const std::optional<Range> range = rangeNamed(word))
        return range;
    if (automatic && word == AutomaticRange)
        return std::nullopt;
    const std::string choices = automatic ? "\"auto\", \"unipolar\" or \"bipolar\"" : "\"unipolar\" or \"bipolar\"";
    throw py::value_error("range must be " + choices + ", not \"" + name + "\"");
}

void addSweep(py::module_& module)
{
    py::class_<SweepRecord>(module, "Sweep", R"(One sweep: 8192 conversions of one channel in one range.

Returned by q390.read() for a data file and by Device.sweep() and Device.sweeps() for a
sweep taken. The arrays are NumPy arrays of 8192 values that cannot be written to.)")
        .def_property_readonly(
            "stored",
            [](SweepRecord& s) {
                return kept(s.stored, [&] { return array<std::int16_t>([&](int n) { return s.samples[n]; }); });
            },
            R"(The records as the data file stores them (numpy int16, shape (8192,)).

Unipolar codes as they are; bipolar ones as a magnitude with the sign in bit 15.)")
        .def_property_readonly(
            "codes",
            [](SweepRecord& s) {
                return kept(s.codes, [&] {
                    return array<std::int16_t>([&](int n) { return reading(s.samples[n], s.range).code; });
                });
            },
            R"(The converter's codes as signed numbers (numpy int16).

Unipolar 0..4095; bipolar -2048..2047, a negative as its two's-complement value. The same as
the code column of q390-dat csv.)")
        .def_property_readonly(
            "volts",
            [](SweepRecord& s) {
                return kept(s.volts, [&] {
                    return array<double>([&](int n) { return reading(s.samples[n], s.range).volts; });
                });
            },
            "The input voltages (numpy float64): code × 5/4096 unipolar, code × 2/2048 bipolar.")
        .def_property_readonly(
            "range", [](const SweepRecord& s) { return rangeWord(s.range).toStdString(); },
            R"("unipolar" (0 to +5 V) or "bipolar" (±2 V): the range the codes are read in.

For a file read with range="auto", the range decided from its records.)")
        .def_readonly("channel", &SweepRecord::channel, "The channel swept, 0..7; None for a file.")
        .def_property_readonly(
            "start",
            [](const SweepRecord& s) -> py::object {
                if (!s.start)
                    return py::none();
                // From the instant in UTC to local time, so that an hour repeated when daylight
                // saving ends is told apart (fold).
                const py::module_ datetime = py::module_::import("datetime");
                const py::object epoch
                    = datetime.attr("datetime")(1970, 1, 1, py::arg("tzinfo") = datetime.attr("timezone").attr("utc"));
                const auto since = std::chrono::duration_cast<std::chrono::microseconds>(s.start->time_since_epoch());
                return (epoch + datetime.attr("timedelta")(py::arg("microseconds") = since.count())).attr("astimezone")();
            },
            "When the sweep began, a timezone-aware datetime; None for a file.")
        .def_readonly("seconds", &SweepRecord::seconds,
                      "How long the sweep took, in seconds; None for a file that no recording's index describes.")
        .def_readonly("number", &SweepRecord::number, "Its number in the recording it was read from (from 1); None for any other.")
        .def_readonly("link", &SweepRecord::link,
                      R"(How it reached the converter: "simulator", "modem-lines" or "ftdi-bitbang"; None for a file
that no recording's index describes.)")
        .def_readonly("note", &SweepRecord::note, R"(What is doubtful about it, as its recording or Device.sweeps() notes it; "" for nothing.

For one, the starts of Device.sweeps(every=...) skipped before it because the sweep before it
overran its interval.)")
        .def_readonly("trigger", &SweepRecord::trigger,
                      R"(For a sweep a trigger chose (Device.sweep(trigger=...), q390-rec --trigger): the index
(from 0) of the first sample past the level's crossing; None for any other.)")
        .def_property_readonly("interval", &interval, R"(The time from one conversion to the next, in seconds: an estimate.

The sweep's duration spread evenly over its 8192 conversions. The unit has no clock of its
own: a conversion takes as long as the port's line operations do, and the event loop or a USB
transfer can hold one up, so single intervals differ. None where seconds is None.)")
        .def_property_readonly(
            "times",
            [](SweepRecord& s) -> py::object {
                const std::optional<double> step = interval(s);
                if (!step)
                    return py::none();
                return kept(s.times, [&] { return array<double>([&](int n) { return n * *step; }); });
            },
            R"(Each conversion's time from the sweep's start, in seconds (numpy float64): an estimate.

0, interval, 2 × interval, ...: the sweep's duration spread evenly (see interval). None where
seconds is None.)")
        .def(
            "__array__",
            [](const py::object& self, const py::object& dtype, const py::object&) {
                const py::object volts = self.attr("volts");
                return dtype.is_none() ? volts : volts.attr("astype")(dtype);
            },
            py::arg("dtype") = py::none(), py::arg("copy") = py::none(), "The volts, so that numpy.asarray(sweep) is sweep.volts.")
        .def(
            "__eq__", [](const SweepRecord& a, const SweepRecord& b) { return a == b; }, py::is_operator(),
            "Equal records and an equal description: range, channel, start, seconds, number, link, note and trigger.")
        .def(py::pickle(&state, &fromState))
        // Made here for every protocol: protocols 0 and 1 otherwise call the base class's
        // constructor on the sweep, which pybind11's base has none of.
        .def(
            "__reduce__",
            [](const py::object& self) {
                return py::make_tuple(py::module_::import("copyreg").attr("__newobj__"), py::make_tuple(py::type::of(self)),
                                      state(self.cast<const SweepRecord&>()));
            },
            "What pickle and copy keep of the sweep, for every pickle protocol.")
        .def(
            "__repr__",
            [](const SweepRecord& s) {
                std::string shown = "<q390.Sweep";
                if (s.channel)
                    shown += " channel " + std::to_string(*s.channel);
                shown += " " + rangeWord(s.range).toStdString();
                if (s.seconds)
                    shown += py::str(" {:.3f} s").format(*s.seconds).cast<std::string>();
                return shown + ">";
            },
            "The range and, where known, its channel and duration.");
}
