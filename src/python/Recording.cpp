#include "python/Recording.h"

#include "core/recording/RecordingReader.h"
#include "core/recording/WriterSystem.h"
#include "core/samples/RecordingIndex.h"
#include "core/system/FailureWords.h"
#include "python/Errors.h"
#include "python/Paths.h"
#include "python/SweepRecord.h"

#include <cerrno>
#include <memory>

#include <sys/stat.h>

namespace {

// How long a followed recording is left alone, once every sweep in it is read, before it is
// looked at again.
constexpr double FollowSeconds = 0.1;

// A recording opened for reading, shared by every sequence sliced from it.
struct Source {
    SystemPath path;
    std::unique_ptr<RecordingReader> reader;

    // OSError where the system's error number is behind the failure, ValueError otherwise.
    [[noreturn]] void raise(const RecordingError& e) const
    {
        const std::string words = englishReason(e).toStdString();
        if (e.errorNumber() != 0)
            errors::raiseWorded(PyExc_OSError, e.errorNumber(), words, path.shown);
        throw py::value_error(shown(path) + ": " + words);
    }

    // The sweep at the place, its records read now.
    std::unique_ptr<SweepRecord> sweep(long long place) const
    {
        auto sweep = std::make_unique<SweepRecord>();
        try {
            sweep->samples = reader->samples(place);
            describe(*sweep, reader->sweep(place));
        } catch (const RecordingError& e) {
            raise(e);
        }
        return sweep;
    }

    std::string named(long long place) const
    {
        try {
            return "sweep " + std::to_string(reader->sweep(place).number);
        } catch (const RecordingError&) {
            return "the sweep at " + std::to_string(place);
        }
    }

    // The sweep at the place; None, with a Q390Warning, where it cannot be read, so that one lost
    // sweep does not cost the others.
    py::object sweepOrWarn(long long place) const
    {
        try {
            return py::cast(sweep(place));
        } catch (const py::value_error& e) {
            errors::warn(std::string(e.what()) + "; " + named(place) + " left out");
        } catch (py::error_already_set& e) {
            if (!e.matches(PyExc_OSError) && !e.matches(PyExc_ValueError))
                throw;
            errors::warn(py::str(e.value()).cast<std::string>() + "; " + named(place) + " left out");
        }
        return py::none();
    }

    // A folder recording's index: the system's bytes, and shown as the recording's name is (str
    // or bytes).
    SystemPath index() const
    {
        const std::string name = RecordingIndex::pathIn(QByteArray::fromStdString(path.bytes)).toStdString();
        const py::bytes bytes(name);
        return {name, py::isinstance<py::bytes>(path.shown) ? py::object(bytes) : py::module_::import("os").attr("fsdecode")(bytes)};
    }
};

// Opens the recording; each row of a folder's index that names no sweep to read is warned of.
std::shared_ptr<Source> open(const py::object& path)
{
    auto source = std::make_shared<Source>();
    source->path = systemPath(path, "path");
    try {
        source->reader = RecordingReader::open(QByteArray::fromStdString(source->path.bytes));
    } catch (const RecordingError& e) {
        source->raise(e);
    }
    if (!source->reader->lost().isEmpty()) {
        const std::string index = shown(source->index());
        for (const QString& lost : source->reader->lost())
            errors::warn(index + " " + lost.toStdString() + "; left out");
    }
    return source;
}

// The next item of a Python iterator; StopIteration at its end.
py::object nextItem(const py::object& iterator)
{
    auto item = py::reinterpret_steal<py::object>(PyIter_Next(iterator.ptr()));
    if (!item) {
        if (PyErr_Occurred())
            throw py::error_already_set();
        throw py::stop_iteration();
    }
    return item;
}

// q390.Recording: the sweeps at some places of a recording, a Python range of them, so that
// indices and slices mean what they mean for any sequence.
struct Recording {
    std::shared_ptr<Source> source;
    py::object places;

    py::object item(const py::object& key) const
    {
        if (py::isinstance<py::slice>(key))
            return py::cast(Recording{source, places[key]});
        long long place = 0;
        try {
            place = places[key].cast<long long>();
        } catch (py::error_already_set& e) {
            if (!e.matches(PyExc_IndexError))
                throw;
            throw py::index_error("recording index out of range");
        }
        return py::cast(source->sweep(place));
    }
};

// Iterating a Recording: an unreadable sweep is left out with a warning.
struct RecordingIterator {
    std::shared_ptr<Source> source;
    py::object places; // an iterator over them

    py::object next() const
    {
        for (;;)
            if (py::object sweep = source->sweepOrWarn(nextItem(places).cast<long long>()); !sweep.is_none())
                return sweep;
    }
};

// read_recording(path, follow=True): the sweeps from the first on, then each as it lands. A
// one-file recording's writer holds its lock while it lives (WriterLock), so once the lock is
// free, what the file holds then is the whole recording: read to its end, and the iterator ends.
// A folder's writer leaves no such mark: it is followed until interrupted.
class Following {
public:
    explicit Following(std::shared_ptr<Source> source) : source_(std::move(source)) {}

    py::object next()
    {
        for (;;) {
            if (next_ < source_->reader->size()) {
                if (py::object sweep = source_->sweepOrWarn(next_++); !sweep.is_none())
                    return sweep;
                continue;
            }
            if (ended_)
                throw py::stop_iteration();
            ended_ = source_->reader->kind() == RecordingReader::Kind::OneFile
                && !WriterLock::heldOn(QByteArray::fromStdString(source_->path.bytes));
            if (!ended_)
                py::module_::import("time").attr("sleep")(FollowSeconds);
            refresh();
        }
    }

private:
    // A folder's index is read again only when it changed: a long one costs a while to read.
    void refresh()
    {
        if (source_->reader->kind() == RecordingReader::Kind::Folder) {
            struct stat index {};
            if (::stat(source_->index().bytes.c_str(), &index) == 0 && index.st_size == seen_.st_size
                && index.st_mtim.tv_sec == seen_.st_mtim.tv_sec && index.st_mtim.tv_nsec == seen_.st_mtim.tv_nsec)
                return;
            seen_ = index;
        }
        try {
            source_->reader->refresh();
        } catch (const RecordingError& e) {
            source_->raise(e);
        }
    }

    std::shared_ptr<Source> source_;
    long long next_ = 0;
    bool ended_ = false;
    struct stat seen_ {};
};

// Whether a recording is only beginning where `path` is: nothing there yet, a folder without
// its index's header yet, or a file still empty or being laid out by a writer that has it.
bool beginning(const std::string& path)
{
    struct stat found {};
    if (::stat(path.c_str(), &found) != 0)
        return errno == ENOENT;
    if (S_ISDIR(found.st_mode)) {
        struct stat index {};
        const QByteArray name = RecordingIndex::pathIn(QByteArray::fromStdString(path));
        return ::stat(name.constData(), &index) != 0 ? errno == ENOENT : index.st_size == 0;
    }
    return found.st_size == 0 || WriterLock::heldOn(QByteArray::fromStdString(path));
}

// A recording to follow, waited for while it is only beginning.
std::shared_ptr<Source> openToFollow(const py::object& path)
{
    for (;;) {
        try {
            return open(path);
        } catch (py::error_already_set& e) {
            if (!e.matches(PyExc_OSError) || !beginning(systemPath(path, "path").bytes))
                throw;
        } catch (const py::value_error&) {
            if (!beginning(systemPath(path, "path").bytes))
                throw;
        }
        py::module_::import("time").attr("sleep")(FollowSeconds);
    }
}

py::object readRecording(const py::object& path, bool follow)
{
    if (follow)
        return py::cast(Following(openToFollow(path)));
    std::shared_ptr<Source> source = open(path);
    const long long size = source->reader->size();
    return py::cast(Recording{std::move(source), py::module_::import("builtins").attr("range")(size)});
}

py::list readFolder(const py::object& path)
{
    const std::shared_ptr<Source> source = open(path);
    py::list sweeps;
    for (long long place = 0; place < source->reader->size(); ++place)
        if (py::object sweep = source->sweepOrWarn(place); !sweep.is_none())
            sweeps.append(sweep);
    return sweeps;
}

} // namespace

void addRecording(py::module_& module)
{
    py::class_<Recording>(module, "Recording", R"(The sweeps of a recording, read one at a time: what q390.read_recording() returns.

A sequence: len(rec), rec[k] (rec[-1] the last), rec[a:b:c] (a Recording too), iteration.
rec[k] reads that sweep's records when it is asked for, so the recording is never loaded
whole; it raises the OSError of a file that cannot be read (a folder's sweep file gone) and
ValueError for a sweep that is no sweep. Iterating leaves such a sweep out with a Q390Warning
instead, as read_folder() does. The sweeps are those there when the recording was opened.)")
        .def("__len__", [](const Recording& r) { return py::len(r.places); }, "The number of sweeps.")
        .def("__getitem__", &Recording::item, py::arg("index"), "The sweep at the index, or a Recording for a slice.")
        .def("__iter__", [](const Recording& r) { return RecordingIterator{r.source, py::iter(r.places)}; },
             "The sweeps in turn, each read as it comes.")
        .def("__repr__", [](const Recording& r) {
            return "<q390.Recording " + py::repr(r.source->path.shown).cast<std::string>() + ", " + std::to_string(py::len(r.places))
                + " sweeps>";
        }, "The recording's path and its number of sweeps.");
    py::class_<RecordingIterator>(module, "RecordingIterator", "Iterating a Recording: one Sweep at each step.")
        .def("__iter__", [](RecordingIterator& i) -> RecordingIterator& { return i; }, py::return_value_policy::reference,
             "Returns the iterator itself.")
        .def("__next__", &RecordingIterator::next, "Reads the next sweep.");
    py::class_<Following>(module, "Following", "What read_recording(path, follow=True) returns: each Sweep as it lands.")
        .def("__iter__", [](Following& f) -> Following& { return f; }, py::return_value_policy::reference,
             "Returns the iterator itself.")
        .def("__next__", &Following::next, "The next sweep, waited for while none is there.");

    module.def("read_recording", &readRecording, py::arg("path"), py::arg("follow") = false,
               R"(Reads a recording of q390-rec: a folder (its data files and index.csv) or one HDF5 file (.h5).

Returns a Recording, a sequence of Sweep read one sweep at a time: len, indices (negative
ones too), slices and iteration, never the whole recording in memory. Each Sweep has what the
recording says of it: number, start, seconds, channel, range, link, note and, for a sweep a
trigger chose, trigger (its first crossing). A row of a folder's index that names no sweep to
read (a sweep not kept, a row that cannot be read) is warned of with a Q390Warning when the
recording is opened.

follow=True returns an iterator instead that yields every sweep from the first, then each as
it lands in a recording that is being written, until interrupted (KeyboardInterrupt). A
recording that is only beginning is waited for: nothing at the path yet, a folder whose
index.csv has no header yet, an .h5 file that its writer is still laying out. For an
.h5 file it ends by itself once the writer has let go of the file (its writer holds a lock on
the file while it runs, whether it then closes the file or dies) and every sweep in it is read.
A folder says nothing of its writer: following one ends only when interrupted. The recording
is looked at again ten times a second while nothing new is there (a folder's index only when
it changed).

An .h5 file is opened in SWMR mode and without HDF5's lock, so that it can be read while
q390-rec writes it, and also after its writer died. HDF5 opens a file once in a process, with
one setting of its lock: while a Recording has an .h5 file open, h5py in the same process opens
it only with locking=False (h5py.File(path, "r", swmr=True, locking=False)), and the other way
round. Raises the OSError of what cannot be opened (FileNotFoundError, PermissionError, ...),
ValueError for what is no recording.)");
    module.def("read_folder", &readFolder, py::arg("path"),
               R"(Reads a recording: the sweeps of q390-rec's folder, as its index.csv lists them.

The same as list(read_recording(path)). Each sweep has the range, channel, start, seconds,
number, link and note its index row gives. A row for a sweep that was not kept, a row that
cannot be read and a file that cannot be read are left out, each with a Q390Warning
(warnings.simplefilter("error", q390.Q390Warning) makes the first of them an exception
instead). Raises the OSError of index.csv (FileNotFoundError for a folder that holds none),
ValueError when it is no recording's index.)");
}
