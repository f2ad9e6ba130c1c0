// q390-rec as a child process (its folder and index, the rows on stdout, stop signals, a full
// disk, bad options) and its library in this process on the emulated port and FTDI chip, with
// converter codes scripted here and their stored encoding worked out by hand.

#include "EmulatedDevice.h"
#include "EmulatedUsbChip.h"
#include "core/recording/RecordingReader.h"
#include "core/samples/SampleFile.h"
#include "devices/SystemSerialDevice.h"
#include "rec/RecTool.h"
#include "rec/SweepFolder.h"
#include "support/Ramp.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ftdi.h>

#include <csignal>
#include <cstdlib>
#include <future>
#include <thread>
#include <fcntl.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>

extern char** environ;

namespace {

const QByteArray IndexHeader = "sweep,file,start,seconds,channel,range,source,link,min_v,max_v,mean_v,note,trigger";
const QByteArray OlderIndexHeader = "sweep,file,start,seconds,channel,range,source,path,min_v,max_v,mean_v,note";

struct Ended {
    int status = -1; // -1 when a signal ended it
    int signal = 0;
    QByteArray out;
    QStringList err; // its lines
};

QStringList linesOf(const QByteArray& text)
{
    return QString::fromUtf8(text).split(u'\n', Qt::SkipEmptyParts);
}

// A program started with its output (or the given descriptor) and messages in files, so that it
// can be signalled while it runs; or with both closed.
constexpr int Closed = -2;
class Child {
public:
    Child(const char* program, const QStringList& args, const QString& logs, int out = -1, int err = -1)
        : out_(logs + QStringLiteral("/out")), err_(logs + QStringLiteral("/err"))
    {
        QList<QByteArray> bytes{program};
        for (const QString& a : args)
            bytes << a.toLocal8Bit();
        std::vector<char*> argv;
        for (QByteArray& b : bytes)
            argv.push_back(b.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        if (out == Closed) {
            posix_spawn_file_actions_addclose(&files, 1);
            posix_spawn_file_actions_addclose(&files, 2);
        } else {
            if (out >= 0)
                posix_spawn_file_actions_adddup2(&files, out, 1);
            else
                posix_spawn_file_actions_addopen(&files, 1, QFile::encodeName(out_).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (err >= 0)
                posix_spawn_file_actions_adddup2(&files, err, 2);
            else
                posix_spawn_file_actions_addopen(&files, 2, QFile::encodeName(err_).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        }
        EXPECT_EQ(posix_spawn(&pid_, program, &files, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&files);
    }
    void signal(int number) const { ::kill(pid_, number); }
    // Killed when it hangs for 20 s.
    Ended wait() const
    {
        int how = 0;
        for (int waited = 0; waitpid(pid_, &how, WNOHANG) == 0; ++waited) {
            if (waited == 2000) {
                ADD_FAILURE() << "hangs";
                ::kill(pid_, SIGKILL);
            }
            usleep(10000);
        }
        QFile out(out_), err(err_);
        out.open(QIODevice::ReadOnly);
        if (err.exists())
            err.open(QIODevice::ReadOnly);
        return {WIFEXITED(how) ? WEXITSTATUS(how) : -1, WIFSIGNALED(how) ? WTERMSIG(how) : 0, out.readAll(), linesOf(err.readAll())};
    }

private:
    QString out_, err_;
    pid_t pid_ = 0;
};

// A record read by hand: the magnitude in the low 13 bits, the sign in bit 15, a negative code
// read back as its complement.
double volts(qint16 stored, bool bipolar)
{
    const int m = stored & 0x1FFF;
    return bipolar ? (stored < 0 ? -(m + 1) : m) / 1024.0 : m * 5.0 / 4096;
}

// What a Python script prints reading the file with h5py, as a user reads it (sys.argv[1]).
QByteArray h5py(const QString& file, const char* script)
{
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QString::fromUtf8(script), file});
    python.waitForFinished(60000);
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().constData();
    return python.readAllStandardOutput().trimmed();
}

// Every sweep in the file whole as h5py opens it with swmr=True: numbered 1 up, on channel 0 of
// the simulator, its codes of the unipolar range and not the fill value. Prints the count.
const char* const WholeSweeps = R"(
import h5py, sys
f = h5py.File(sys.argv[1], "r", libver="latest", swmr=True)
n = min(len(f[name]) for name in f)
assert list(f["sweep"][:n]) == list(range(1, n + 1))
assert not f["channel"][:n].any() and (f["duration"][:n] > 0).all()
for k in range(n):
    codes = f["codes"][k]
    assert codes.min() >= 0 and codes.max() <= 4095 and codes.any(), k
print(n)
)";

struct Recording : ::testing::Test {
    QTemporaryDir dir, logs;

    QString path(const QString& name) const { return dir.filePath(name); }
    Ended run(const QStringList& args, const char* program = Q390_REC) const { return Child(program, args, logs.path()).wait(); }

    // The index's rows as cells, having checked that every file in the folder is whole and named
    // by a row of its own, and every kept row's file is there.
    QList<QList<QByteArray>> indexed(const QString& folder, const QByteArray& header = IndexHeader) const
    {
        QFile index(folder + QStringLiteral("/index.csv"));
        EXPECT_TRUE(index.open(QIODevice::ReadOnly));
        const QByteArray text = index.readAll();
        EXPECT_TRUE(text.endsWith('\n'));
        QList<QByteArray> lines = text.split('\n');
        lines.removeLast();
        EXPECT_EQ(lines.value(0), header);
        QList<QList<QByteArray>> rows;
        QStringList named;
        for (const QByteArray& line : lines.mid(1)) {
            rows << line.split(',');
            if (!rows.last().value(1).isEmpty())
                named << QString::fromUtf8(rows.last()[1]);
        }
        QStringList files = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        files.removeOne(QStringLiteral("index.csv"));
        EXPECT_EQ(files, named);
        for (const QString& file : files)
            if (file.endsWith(u".dat"))
                EXPECT_EQ(QFileInfo(folder + u'/' + file).size(), SampleFile::Size) << qPrintable(file);
        return rows;
    }
};

TEST_F(Recording, AFolderOfFilesTheWindowLoadsAnIndexRowForEachAndAppendGoesOn)
{
    const QStringList args{QStringLiteral("--channels"), QStringLiteral("2,5"), QStringLiteral("--range"),
                           QStringLiteral("bipolar"),    QStringLiteral("-o"),  path(QStringLiteral("run"))};
    const Ended first = run(args + QStringList{QStringLiteral("--sweeps"), QStringLiteral("3")});
    ASSERT_EQ(first.status, 0) << qPrintable(first.err.join(u'\n'));
    EXPECT_EQ(first.err.size(), 2) << "a start line and a summary";
    const QRegularExpression isoTime(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}[+-]\\d\\d:\\d\\d$"));
    QList<QList<QByteArray>> rows = indexed(path(QStringLiteral("run")));
    ASSERT_EQ(rows.size(), 3);
    for (int k = 0; k < 3; ++k) {
        const QList<QByteArray>& cells = rows[k];
        ASSERT_EQ(cells.size(), 13);
        const int channel = k % 2 ? 5 : 2;
        EXPECT_EQ(cells[0].toInt(), k + 1);
        EXPECT_EQ(cells[1], QStringLiteral("sweep-%1-ch%2.dat").arg(k + 1, 8, 10, QChar(u'0')).arg(channel).toUtf8());
        EXPECT_TRUE(isoTime.match(QString::fromLatin1(cells[2])).hasMatch()) << cells[2].constData();
        EXPECT_GT(cells[3].toDouble(), 0);
        EXPECT_EQ(cells.mid(4, 4), (QList<QByteArray>{QByteArray::number(channel), "bipolar", "sim", "simulator"}));
        EXPECT_EQ(cells[11], "");

        const QString file = path(QStringLiteral("run/") + QString::fromUtf8(cells[1]));
        SampleArray samples{};
        const SampleFile::Contents contents = SampleFile::inspect(file); // as the window's Load reads it
        ASSERT_EQ(contents.outcome, SampleFile::Contents::Whole);
        SampleFile::decode(contents.bytes, samples);
        double low = 1e9, high = -1e9;
        for (const qint16 sample : samples) {
            low = std::min(low, volts(sample, true));
            high = std::max(high, volts(sample, true));
        }
        EXPECT_NEAR(cells[8].toDouble(), low, 1e-6);
        EXPECT_NEAR(cells[9].toDouble(), high, 1e-6);
        const Ended info = run({QStringLiteral("info"), file, QStringLiteral("--range"), QStringLiteral("bipolar")}, Q390_DAT);
        EXPECT_EQ(info.status, 0);
        EXPECT_TRUE(info.out.contains("maximum: " + cells[9] + " V\n")) << info.out.constData();
    }

    // A folder that holds files is kept as it is, unless appended to: numbering and channels go on.
    const Ended refused = run(args + QStringList{QStringLiteral("--sweeps"), QStringLiteral("1")});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err.size(), 1);
    EXPECT_EQ(indexed(path(QStringLiteral("run"))), rows);
    // An index made by an older version, its column `link` named `path` and no trigger column,
    // goes on as it is.
    QByteArray olderText = OlderIndexHeader + '\n';
    for (const QList<QByteArray>& cells : rows)
        olderText += cells.mid(0, 12).join(',') + '\n';
    QFile older(path(QStringLiteral("run/index.csv")));
    ASSERT_TRUE(older.open(QIODevice::WriteOnly) && older.write(olderText) == olderText.size());
    older.close();
    ASSERT_EQ(run(args + QStringList{QStringLiteral("--sweeps"), QStringLiteral("2"), QStringLiteral("--append")}).status, 0);
    rows = indexed(path(QStringLiteral("run")), OlderIndexHeader);
    ASSERT_EQ(rows.size(), 5);
    EXPECT_EQ(rows[3].mid(0, 2), (QList<QByteArray>{"4", "sweep-00000004-ch5.dat"}));
    EXPECT_EQ(rows[4].mid(0, 2), (QList<QByteArray>{"5", "sweep-00000005-ch2.dat"}));
    EXPECT_EQ(rows[4].size(), 12) << "rows in the older index's own columns";

    // --time alone records sweeps until the time is over.
    ASSERT_EQ(run({QStringLiteral("--time"), QStringLiteral("0.5s"), QStringLiteral("-o") + path(QStringLiteral("timed"))}).status, 0);
    EXPECT_GT(indexed(path(QStringLiteral("timed"))).size(), 1);

    // Started with stdout and stderr closed: its messages go nowhere, not into its files.
    EXPECT_EQ(Child(Q390_REC, {QStringLiteral("--sweeps"), QStringLiteral("2"), QStringLiteral("--output=") + path(QStringLiteral("closed"))}, logs.path(), Closed).wait().status, 0);
    EXPECT_EQ(indexed(path(QStringLiteral("closed"))).size(), 2);
}

TEST_F(Recording, StdoutHasAHeaderAndARowPerSampleEveryChannelInTurnInTimeOrder)
{
    const Ended r = run({QStringLiteral("--channels"), QStringLiteral("0-7"), QStringLiteral("--sweeps"), QStringLiteral("8"),
                         QStringLiteral("-o"), QStringLiteral("-")});
    ASSERT_EQ(r.status, 0);
    QList<QByteArray> lines = r.out.split('\n');
    ASSERT_EQ(lines.size(), 1 + 8 * SweepLength + 1);
    EXPECT_EQ(lines[0], "sweep,index,time_s,channel,range,code,volts");
    double last = 0;
    for (int row = 1; row <= 8 * SweepLength; ++row) {
        const QList<QByteArray> cells = lines[row].split(',');
        ASSERT_EQ(cells.size(), 7);
        const int sweep = (row - 1) / SweepLength;
        ASSERT_EQ(cells[0].toInt(), sweep + 1);
        ASSERT_EQ(cells[1].toInt(), (row - 1) % SweepLength + 1);
        ASSERT_GE(cells[2].toDouble(), last) << row;
        last = cells[2].toDouble();
        ASSERT_EQ(cells[3].toInt(), sweep) << row;
        ASSERT_EQ(cells[4], "unipolar");
        ASSERT_NEAR(cells[6].toDouble(), cells[5].toInt() * 5.0 / 4096, 1e-6) << row;
    }

    for (const QString& ask : {QStringLiteral("-h"), QStringLiteral("--help")}) {
        const Ended help = run({ask});
        EXPECT_EQ(help.status, 0);
        for (const char* option : {"-V, --version", "--port <PORT>", "-o, --output <DIR>", "--append", "-q, --quiet", "--list-ports"})
            EXPECT_TRUE(help.out.contains(option)) << option;
    }
    EXPECT_EQ(run({QStringLiteral("-V")}).out, "q390-rec " Q390_VERSION "\n");
}

TEST_F(Recording, AStopSignalLeavesWholeFilesAndIndexAndEndsTheProcessByIt)
{
    // The last: rows into a pipe nobody reads (| sleep 30), a write blocked when the signal comes.
    const struct {
        int signal;
        bool blockedPipe;
    } rows[] = {{SIGINT, false}, {SIGTERM, false}, {SIGHUP, false}, {SIGKILL, false}, {SIGTERM, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.signal);
        const QString out = path(QStringLiteral("signal%1").arg(row.signal));
        int pipe[2];
        ASSERT_EQ(::pipe(pipe), 0);
        const Child child(Q390_REC, {QStringLiteral("--continuous"), QStringLiteral("-o"), row.blockedPipe ? QStringLiteral("-") : out},
                          logs.path(), row.blockedPipe ? pipe[1] : -1);
        ::close(pipe[1]);
        QFile index(out + QStringLiteral("/index.csv"));
        int queued = 0; // bytes in the pipe, until it is full (a page's room may stay free)
        for (int wait = 0; wait < 3000 && (row.blockedPipe ? ioctl(pipe[0], FIONREAD, &queued) == 0 && queued < fcntl(pipe[0], F_GETPIPE_SZ) - PIPE_BUF
                                            : !index.open(QIODevice::ReadOnly) || index.readAll().count('\n') < 4); ++wait) {
            index.close();
            usleep(10000);
        }
        QElapsedTimer sent;
        sent.start();
        child.signal(row.signal);
        const Ended r = child.wait();
        EXPECT_LT(sent.elapsed(), 2000);
        ::close(pipe[0]);
        EXPECT_EQ(r.signal, row.signal);
        if (row.signal == SIGKILL) {
            // As a killed run leaves it, and surely so: a row cut short, a temporary file and a
            // sweep file two numbers past the last.
            const QString last = QDir(out).entryList({QStringLiteral("sweep-*")}, QDir::Files, QDir::Name).last();
            ASSERT_TRUE(QFile::copy(out + u'/' + last, out + QString::asprintf("/sweep-%08lld-", last.mid(6, 8).toLongLong() + 2) + last.mid(15)));
            index.close();
            ASSERT_TRUE(QFile(out + QStringLiteral("/.q390-left")).open(QIODevice::WriteOnly) && index.open(QIODevice::Append) && index.write("77,sweep-0") == 10);
            index.close();
            ASSERT_EQ(run({QStringLiteral("--append"), QStringLiteral("-o"), out}).status, 0);
            const QList<QList<QByteArray>> kept = indexed(out);
            for (int n = 0; n < kept.size(); ++n)
                EXPECT_EQ(kept[n].value(0).toLongLong(), n + 1);
            continue;
        }
        if (!row.blockedPipe)
            EXPECT_GE(indexed(out).size(), 3);
        EXPECT_TRUE(r.err.value(1).contains(u"stopped by SIG")) << qPrintable(r.err.join(u'\n'));
    }
}

TEST_F(Recording, OneHdf5FileReadsInH5pyAsVoltsPerSweepAndAppendTriggerAndPacingGoOn)
{
    const QString file = path(QStringLiteral("run.h5"));
    const QStringList args{QStringLiteral("--channels"), QStringLiteral("2,5"), QStringLiteral("--range"), QStringLiteral("bipolar"),
                           QStringLiteral("-o"), file};
    ASSERT_EQ(run(args + QStringList{QStringLiteral("--sweeps"), QStringLiteral("3")}).status, 0);
    EXPECT_EQ(run(args).status, 1) << "a file that is there is only appended to";
    ASSERT_EQ(run(args + QStringList{QStringLiteral("--sweeps"), QStringLiteral("2"), QStringLiteral("--append")}).status, 0);
    // A bipolar code's volts by hand: code / 1024.
    EXPECT_EQ(h5py(file, R"(
import h5py, sys
f = h5py.File(sys.argv[1], "r")
k = 3
volts = f["codes"][k] * f["volts_per_code"][k]
assert abs(volts - f["codes"][k] / 1024.0).max() == 0 and f["codes"][k].min() >= -2048 and f["codes"][k].max() <= 2047
assert f.attrs["samples_per_sweep"] == 8192 and f.attrs["program"] == "q390-rec" and f["volts_per_code"].attrs["units"] == "V"
assert (f["start"][1:] >= f["start"][:-1]).all() and f["start"].attrs["units"] == "s" and f["codes"].chunks == (1, 8192)
print(list(f["sweep"][:]), list(f["channel"][:]), set(f["range"].asstr()[:]), set(f["link"].asstr()[:]), set(f["trigger"][:]))
)"),
              "[1, 2, 3, 4, 5] [2, 5, 2, 5, 2] {'bipolar'} {'simulator'} {-1}");

    // Kept only when the signal crosses 2.5 V rising: numpy finds the same first crossing.
    const QString triggered = path(QStringLiteral("triggered.h5"));
    ASSERT_EQ(run({QStringLiteral("--channels"), QStringLiteral("0-7"), QStringLiteral("--trigger"), QStringLiteral("2.5"),
                   QStringLiteral("--sweeps"), QStringLiteral("4"), QStringLiteral("--compress"), QStringLiteral("-o"), triggered}).status, 0);
    EXPECT_EQ(h5py(triggered, R"(
import h5py, numpy, sys
f = h5py.File(sys.argv[1], "r")
for k in range(len(f["sweep"])):
    v = f["codes"][k] * f["volts_per_code"][k]
    crossings = numpy.nonzero((v[:-1] < 2.5) & (v[1:] >= 2.5))[0] + 1
    assert f["trigger"][k] == crossings[0], k
print(len(f["sweep"]), f["codes"].compression)
)"),
              "4 gzip");
    ASSERT_EQ(run({QStringLiteral("--trigger"), QStringLiteral("2.5"), QStringLiteral("-o"), path(QStringLiteral("folder"))}).status, 0);
    EXPECT_GT(indexed(path(QStringLiteral("folder"))).value(0).value(12).toInt(), 0) << "the index's trigger column";
    const Ended rows = run({QStringLiteral("--trigger"), QStringLiteral("2.5"), QStringLiteral("-o"), QStringLiteral("-")});
    const QList<QByteArray> lines = rows.out.split('\n');
    EXPECT_EQ(lines.value(0), "sweep,index,time_s,channel,range,code,volts,trigger");
    EXPECT_EQ(rows.out.count(",1\n"), 1) << "one row marks the crossing";
    for (qsizetype n = 2; n < lines.size(); ++n)
        if (lines[n].endsWith(",1"))
            EXPECT_TRUE(lines[n - 1].split(',')[6].toDouble() < 2.5 && lines[n].split(',')[6].toDouble() >= 2.5) << n;

    // Sweep k begun k × 0.1 s after the first, never before (starts are told to the millisecond;
    // a late one leaves less time before the next).
    const QString paced = path(QStringLiteral("paced.h5"));
    ASSERT_EQ(run({QStringLiteral("--every"), QStringLiteral("0.1"), QStringLiteral("--sweeps"), QStringLiteral("3"), QStringLiteral("-o"), paced}).status, 0);
    EXPECT_EQ(h5py(paced, R"(
import h5py, sys
f = h5py.File(sys.argv[1], "r")
print(all(s - f["start"][0] >= k * 0.1 - 0.001 for k, s in enumerate(f["start"])), set(f["note"].asstr()[:]))
)"),
              "True {''}");

    // A stop signal closes the file whole: a plain open reads it.
    const QString stopped = path(QStringLiteral("stopped.h5"));
    const Child child(Q390_REC, {QStringLiteral("--continuous"), QStringLiteral("-o"), stopped}, logs.path());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    child.signal(SIGINT);
    EXPECT_EQ(child.wait().signal, SIGINT);
    EXPECT_GT(h5py(stopped, "import h5py, sys\nprint(len(h5py.File(sys.argv[1], 'r')['sweep']))").toLongLong(), 0);
}

// Killed at moments of a paced recording (a sweep each 50 ms, about 1 ms long, its flush a few
// after it): at the start, within a sweep, within its flush, between sweeps, and well on, while
// readers follow it. Every sweep the progress line counted as kept is there and whole; --append
// goes on and clears the file's mark.
TEST_F(Recording, KilledAtAnyMomentAnHdf5FileHoldsEverySweepToldKeptAndAppendGoesOn)
{
    const struct {
        int slot;
        double into; // ms after the slot's start
    } moments[] = {{0, 0}, {4, 0.3}, {4, 2.5}, {4, 25}, {20, 1.5}};
    for (const auto& moment : moments) {
        SCOPED_TRACE(moment.slot * 1000 + moment.into);
        const QString file = path(QStringLiteral("killed%1-%2.h5").arg(moment.slot).arg(moment.into));
        const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_TRUE(terminal >= 0 && grantpt(terminal) == 0 && unlockpt(terminal) == 0);
        const int err = ::open(ptsname(terminal), O_RDWR | O_NOCTTY);
        const Child child(Q390_REC, {QStringLiteral("--continuous"), QStringLiteral("--every"), QStringLiteral("0.05"), QStringLiteral("-o"), file},
                          logs.path(), -1, err);
        ::close(err);
        QByteArray told;
        QElapsedTimer since;
        for (char bytes[4096]; !told.contains('\n');) // the start line
            told.append(bytes, std::max<ssize_t>(0, ::read(terminal, bytes, sizeof bytes)));
        since.start();
        const qint64 due = qint64((moment.slot * 50 + moment.into) * 1e6);
        std::unique_ptr<RecordingReader> reader;
        long long seen = 0;
        if (moment.slot > 10) {
            std::this_thread::sleep_for(std::chrono::milliseconds(moment.slot * 25));
            reader = RecordingReader::open(QFile::encodeName(file));
            seen = reader->size();
        }
        while (since.nsecsElapsed() < due)
            ;
        child.signal(SIGKILL);
        child.wait();
        fcntl(terminal, F_SETFL, O_NONBLOCK);
        for (char bytes[4096]; const ssize_t n = std::max<ssize_t>(0, ::read(terminal, bytes, sizeof bytes));)
            told.append(bytes, n);
        ::close(terminal);
        static const QRegularExpression count(QStringLiteral("\r(\\d+) sweeps"));
        long long kept = 0;
        for (QRegularExpressionMatchIterator m = count.globalMatch(QString::fromUtf8(told)); m.hasNext();)
            kept = m.next().captured(1).toLongLong();
        if (reader)
            EXPECT_GT(reader->refresh(), seen) << "a reader follows the file as it grows";
        reader.reset();
        const long long there = h5py(file, WholeSweeps).toLongLong();
        EXPECT_GE(there, kept);
        const Ended appended = run({QStringLiteral("--sweeps"), QStringLiteral("1"), QStringLiteral("-o"), file, QStringLiteral("--append")});
        EXPECT_EQ(appended.status, 0) << qPrintable(appended.err.join(u'\n'));
        EXPECT_TRUE(appended.err.value(0).endsWith(u"the mark it left is cleared")) << qPrintable(appended.err.join(u'\n'));
        EXPECT_EQ(h5py(file, "import h5py, sys\nprint(len(h5py.File(sys.argv[1], 'r')['sweep']))").toLongLong(), there + 1);
    }
}

TEST_F(Recording, AFullDiskOrAFileSizeLimitEndsWithTheFirstSweepNotKeptNothingPartialAndAppendGoesOn)
{
    const QString disk = path(QStringLiteral("disk"));
    QDir().mkdir(disk);
    const bool mounted = ::mount("tmpfs", QFile::encodeName(disk).constData(), "tmpfs", 0, "size=100k") == 0;
    const struct {
        QString folder;
        QStringList command;
        QString reason;
        int fit; // sweeps kept when written one by one; 0 when not worked out
    } table[] = {
        // 25 pages: the index's page, and six files of four pages each.
        {disk + QStringLiteral("/rec"), {QStringLiteral(Q390_REC)}, QStringLiteral("No space left on device"), 6},
        // Files smaller than the limit (20 KiB or 40 KiB): the index reaches it first.
        {path(QStringLiteral("limited")),
         {QStringLiteral("/bin/sh"), QStringLiteral("-c"), QStringLiteral("ulimit -f 40 && exec \"$0\" \"$@\""), QStringLiteral(Q390_REC)},
         QStringLiteral("File too large"),
         0},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.reason.toStdString());
        if (row.fit && !mounted) {
            std::printf("no small tmpfs for a full disk here: %s\n", std::strerror(errno));
            continue;
        }
        const QByteArray program = row.command[0].toLocal8Bit();
        const Ended r = run(row.command.mid(1) + QStringList{QStringLiteral("--continuous"), QStringLiteral("-o"), row.folder}, program.constData());
        QList<QList<QByteArray>> rows = indexed(row.folder);
        EXPECT_EQ(r.status, 1);
        ASSERT_EQ(r.err.size(), 2);
        const long long firstLost = rows.value(rows.size() - 1).value(0).toLongLong() + 1;
        EXPECT_TRUE(r.err[1].endsWith(QStringLiteral(": %1; sweep %2 is the first not kept").arg(row.reason).arg(firstLost))) << qPrintable(r.err[1]);
        if (row.fit)
            EXPECT_EQ(rows.size(), row.fit);
        else {
            // Appended to with no limit, after a row cut short (as by an older version ended by the limit).
            QFile index(row.folder + QStringLiteral("/index.csv"));
            ASSERT_TRUE(index.open(QIODevice::Append));
            index.write("9,sweep-00");
            index.close();
            ASSERT_EQ(run({QStringLiteral("--sweeps"), QStringLiteral("2"), QStringLiteral("--append"), QStringLiteral("-o"), row.folder}).status, 0);
            EXPECT_EQ(indexed(row.folder).size(), rows.size() + 2);
        }
    }
    if (mounted)
        ::umount(QFile::encodeName(disk).constData());
}

// The file is grown ahead of the library's writes: the disk found full there stops the recording
// between flushes, and h5py reads every sweep before the first not kept.
TEST_F(Recording, AFullDiskOrAFileSizeLimitLeavesAnHdf5FileWithEverySweepBeforeTheFirstNotKept)
{
    const QString disk = path(QStringLiteral("disk"));
    QDir().mkdir(disk);
    const bool mounted = ::mount("tmpfs", QFile::encodeName(disk).constData(), "tmpfs", 0, "size=3m") == 0;
    const struct {
        QString file;
        QStringList command;
        QString reason;
    } table[] = {
        {disk + QStringLiteral("/run.h5"), {QStringLiteral(Q390_REC)}, QStringLiteral("No space left on device")},
        {path(QStringLiteral("limited.h5")),
         {QStringLiteral("/bin/sh"), QStringLiteral("-c"), QStringLiteral("ulimit -f 3000 && exec \"$0\" \"$@\""), QStringLiteral(Q390_REC)},
         QStringLiteral("File too large")},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.reason.toStdString());
        if (row.file.startsWith(disk) && !mounted)
            continue;
        const QByteArray program = row.command[0].toLocal8Bit();
        const Ended r = run(row.command.mid(1) + QStringList{QStringLiteral("--continuous"), QStringLiteral("-o"), row.file}, program.constData());
        EXPECT_EQ(r.status, 1);
        ASSERT_EQ(r.err.size(), 2);
        const long long there = h5py(row.file, WholeSweeps).toLongLong();
        EXPECT_GT(there, 10);
        EXPECT_TRUE(r.err[1].endsWith(QStringLiteral(": %1; sweep %2 is the first not kept").arg(row.reason).arg(there + 1))) << qPrintable(r.err[1]);
    }
    if (mounted)
        ::umount(QFile::encodeName(disk).constData());
}

TEST_F(Recording, BadOptionsAreAUsageErrorAndAnUnusableOutputOrPortAFailureEachInOneLine)
{
    QFile file(path(QStringLiteral("file")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const QString none = path(QStringLiteral("none"));
    // A FIFO for an index, and an index whose numbering cannot go on.
    QDir().mkdir(path(QStringLiteral("fifo")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path(QStringLiteral("fifo/index.csv"))).constData(), 0600), 0);
    QDir().mkdir(path(QStringLiteral("huge")));
    QFile huge(path(QStringLiteral("huge/index.csv")));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
    huge.write(IndexHeader + "\n9223372036854775807,,2026-12-07T15:47:41.123+01:00,1,0,unipolar,sim,simulator,,,,x,\n");
    huge.close();
    QDir().mkdir(path(QStringLiteral("dat")));
    QFile(path(QStringLiteral("dat/sweep-00000001-ch0.dat"))).open(QIODevice::WriteOnly);
    QDir().mkdir(path(QStringLiteral("link")));
    ASSERT_TRUE(QFile::link(path(QStringLiteral("dat/index.csv")), path(QStringLiteral("link/index.csv"))));
    QFile datIndex(path(QStringLiteral("dat/index.csv")));
    ASSERT_TRUE(datIndex.open(QIODevice::WriteOnly) && datIndex.write(IndexHeader + '\n') == IndexHeader.size() + 1);
    // A pseudo-terminal, which opens as a port but fails every modem-line call.
    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(terminal >= 0 && ::grantpt(terminal) == 0 && ::unlockpt(terminal) == 0);
    const struct {
        QStringList args;
        int status;
        int lines = 1; // on stderr
    } table[] = {
        {{QStringLiteral("--bogus")}, 2},
        {{QStringLiteral("--channel"), QStringLiteral("8")}, 2},
        {{QStringLiteral("--channel"), QStringLiteral("0-3")}, 2},
        {{QStringLiteral("--channels"), QStringLiteral("3-1")}, 2},
        {{QStringLiteral("--channel"), QStringLiteral("1"), QStringLiteral("--channels"), QStringLiteral("2")}, 2},
        {{QStringLiteral("--range"), QStringLiteral("5V")}, 2},
        {{QStringLiteral("--sweeps"), QStringLiteral("0")}, 2},
        {{QStringLiteral("--time"), QStringLiteral("5x")}, 2},
        {{QStringLiteral("--sweeps"), QStringLiteral("2"), QStringLiteral("--continuous")}, 2},
        {{QStringLiteral("--format"), QStringLiteral("png")}, 2},
        {{QStringLiteral("--compress")}, 2},
        {{QStringLiteral("-o"), path(QStringLiteral("x.h5")), QStringLiteral("--format"), QStringLiteral("csv")}, 2},
        {{QStringLiteral("-o"), QStringLiteral("-"), QStringLiteral("--format"), QStringLiteral("h5")}, 2},
        {{QStringLiteral("--trigger"), QStringLiteral("5")}, 2},
        {{QStringLiteral("--trigger"), QStringLiteral("1,up")}, 2},
        {{QStringLiteral("--every"), QStringLiteral("0")}, 2},
        {{QStringLiteral("-o"), QStringLiteral("-"), QStringLiteral("--append")}, 2},
        {{QStringLiteral("--reconnect-timeout"), QStringLiteral("soon")}, 2},
        {{QStringLiteral("-o")}, 2},
        {{QStringLiteral("stray")}, 2},
        {{QStringLiteral("--append=no")}, 2},
        {{QStringLiteral("--quiet=yes")}, 2},
        {{QStringLiteral("--"), QStringLiteral("--sweeps")}, 2},
        {{QStringLiteral("-o"), path(QStringLiteral("dat")), QStringLiteral("--append"), QStringLiteral("--format"), QStringLiteral("csv")}, 2},
        {{QStringLiteral("-o"), file.fileName()}, 1},
        {{QStringLiteral("-o"), path(QStringLiteral("fifo")), QStringLiteral("--append")}, 1},
        {{QStringLiteral("-o"), path(QStringLiteral("huge")), QStringLiteral("--append")}, 1},
        {{QStringLiteral("-o"), path(QStringLiteral("dat"))}, 1},
        {{QStringLiteral("-o"), path(QStringLiteral("dat")), QStringLiteral("--append")}, 1},
        {{QStringLiteral("-o"), path(QStringLiteral("link")), QStringLiteral("--append")}, 1},
        {{QStringLiteral("--port"), path(QStringLiteral("ttyNone")), QStringLiteral("-o"), none}, 1},
        {{QStringLiteral("--port"), QString::fromLatin1(::ptsname(terminal)), QStringLiteral("--reconnect-timeout"), QStringLiteral("0.5s"),
          QStringLiteral("-q"), QStringLiteral("-o"), path(QStringLiteral("pty"))}, 1, 2},
        {{QStringLiteral("-c"), QStringLiteral("exec \"$0\" -o - >&-"), QStringLiteral(Q390_REC)}, 1},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.args.join(u' ').toStdString());
        const Ended r = row.args.value(0) == u"-c" ? run(row.args, "/bin/sh") : run(row.args);
        EXPECT_EQ(r.status, row.status);
        ASSERT_EQ(r.err.size(), row.lines) << qPrintable(r.err.join(u'\n'));
        EXPECT_TRUE(r.err[0].startsWith(u"q390-rec: ")) << qPrintable(r.err[0]);
        EXPECT_EQ(r.err[0].endsWith(u"(q390-rec --help shows the usage)"), row.status == 2) << qPrintable(r.err[0]);
        EXPECT_TRUE(r.out.isEmpty());
    }
    EXPECT_FALSE(QFileInfo::exists(none)) << "a folder made for a port that did not open";
    ::close(terminal);
}

// With every writer waiting for work, a sweep handed over is written at once, not when more come.
TEST_F(Recording, AKeptSweepIsOnTheDiskWithItsRowBeforeTheRecordingEnds)
{
    SweepFolder folder(path(QStringLiteral("one")), SampleFormat::Dat, SweepFolder::Fresh, QStringLiteral("sim"));
    folder.begin();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    SweepRecord sweep;
    sweep.number = 1;
    sweep.start = QDateTime::currentDateTime();
    folder.kept(sweep, SampleArray{});
    QFile index(path(QStringLiteral("one/index.csv")));
    QElapsedTimer waited;
    waited.start();
    while (!(QFileInfo::exists(path(QStringLiteral("one/sweep-00000001-ch0.dat"))) && index.open(QIODevice::ReadOnly) && index.readAll().count('\n') == 2)
           && waited.elapsed() < 5000) {
        index.close();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_LT(waited.elapsed(), 5000) << "the sweep waited for the end of the recording";
    folder.finish();
}

// The library in this process, with the given device, looking for a device that dropped out every millisecond.
struct Here {
    RecTool::Outcome outcome;
    QByteArray out;
    QStringList err;
};
Here recordHere(const QStringList& args, PortMap::DeviceList devices)
{
    SystemSerialDevice serial;
    const SystemClock clock;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    Here here{RecTool::run(args, out, err, {serial, clock, std::move(devices), SignalGenerator{}, std::chrono::milliseconds(1)}), {}, {}};
    const auto readBack = [](std::FILE* f) {
        QFile file;
        std::rewind(f);
        file.open(f, QIODevice::ReadOnly);
        const QByteArray bytes = file.readAll();
        std::fclose(f);
        return bytes;
    };
    here.out = readBack(out);
    here.err = linesOf(readBack(err));
    return here;
}

void expectStored(const QString& file, int channel, bool unipolar, long first)
{
    SampleArray samples{};
    const SampleFile::Contents contents = SampleFile::inspect(file);
    ASSERT_EQ(contents.outcome, SampleFile::Contents::Whole) << qPrintable(file);
    SampleFile::decode(contents.bytes, samples);
    for (int i = 0; i < SweepLength; ++i)
        ASSERT_EQ(samples[i], storedSample(rampCode({channel, unipolar}, first + i), unipolar)) << qPrintable(file) << " " << i;
}

TEST_F(Recording, OnTheEmulatedPortTheFilesHoldTheConvertersCodesAndAPulledAdapterIsWaitedFor)
{
    EmulatedDevice tty(Ramp{});
    // Listed under a stable name of its own while it is plugged in, as a by-id link is.
    bool plugged = true;
    const auto devices = [&] { return plugged ? QList<PortDevice>{{tty.path(), QStringLiteral("usb-Q390-if00")}} : QList<PortDevice>{}; };
    const QString out = path(QStringLiteral("port"));
    const Here first = recordHere({QStringLiteral("--port"), tty.path(), QStringLiteral("--channels"), QStringLiteral("3,6"),
                                   QStringLiteral("--range"), QStringLiteral("bipolar"), QStringLiteral("--sweeps"),
                                   QStringLiteral("2"), QStringLiteral("-o"), out}, devices);
    ASSERT_EQ(first.outcome.status, 0) << qPrintable(first.err.join(u'\n'));
    EXPECT_EQ(indexed(out).value(1).value(7), "modem-lines");
    expectStored(out + QStringLiteral("/sweep-00000001-ch3.dat"), 3, false, 0);
    expectStored(out + QStringLiteral("/sweep-00000002-ch6.dat"), 6, false, SweepLength);

    // --format csv: q390-dat's rows, worked out by hand from the ramp's codes 16384 on (-545, -508, … 10).
    ASSERT_EQ(recordHere({QStringLiteral("--port"), tty.path(), QStringLiteral("--channel"), QStringLiteral("3"), QStringLiteral("--range"),
                          QStringLiteral("bipolar"), QStringLiteral("--format"), QStringLiteral("csv"), QStringLiteral("-o"), path(QStringLiteral("csv"))},
                         devices).outcome.status, 0);
    QFile csv(path(QStringLiteral("csv/sweep-00000001-ch3.csv")));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QList<QByteArray> csvLines = csv.readAll().split('\n');
    EXPECT_EQ(csvLines.mid(0, 3), (QList<QByteArray>{"index,stored,code,volts", "1,-32224,-545,-0.532227", "2,-32261,-508,-0.496094"}));
    EXPECT_EQ(csvLines.value(16), "16,10,10,0.009766");
    // Appended to without --format: the folder's own.
    ASSERT_EQ(run({QStringLiteral("-o"), path(QStringLiteral("csv")), QStringLiteral("--append")}).status, 0);
    EXPECT_TRUE(QFileInfo::exists(path(QStringLiteral("csv/sweep-00000002-ch0.csv"))));
    const Here listed = recordHere({QStringLiteral("--list-ports")}, devices);
    EXPECT_EQ(listed.out, "COM1\t" + tty.path().toUtf8() + "\t\tmodem-lines\n");

    // CTS held, as on a port with nothing attached: told once, noted in every row.
    tty.ctsHeld = false;
    const QString unanswered = path(QStringLiteral("unanswered"));
    const Here held = recordHere({QStringLiteral("--port"), tty.path(), QStringLiteral("--sweeps"), QStringLiteral("2"),
                                  QStringLiteral("-o"), unanswered}, devices);
    tty.ctsHeld.reset();
    ASSERT_EQ(held.outcome.status, 0) << qPrintable(held.err.join(u'\n'));
    EXPECT_EQ(held.err.filter(u"nothing answered").size(), 1) << qPrintable(held.err.join(u'\n'));
    EXPECT_TRUE(held.err.filter(u"nothing answered").value(0).contains(tty.path()));
    for (const QList<QByteArray>& row : {indexed(unanswered).value(0), indexed(unanswered).value(1)})
        EXPECT_EQ(row.value(11), "nothing answered: the data line (CTS) never moved");
    EXPECT_EQ(indexed(out).value(0).value(11), "");

    // Pulled out during the second sweep of the next run, listed again (plugged back) at the
    // third look for it; the first two looks are the unit's own as it opens the port.
    tty.pullOutAt(FrameOperations * SweepLength + 5000);
    int looks = 0;
    const Here pulled = recordHere({QStringLiteral("--port"), tty.path(), QStringLiteral("--sweeps"), QStringLiteral("3"),
                                    QStringLiteral("-o"), out, QStringLiteral("--append")},
                                   [&] {
                                       if (++looks == 5)
                                           tty.plugBack();
                                       plugged = looks <= 2 || looks >= 5;
                                       return devices();
                                   });
    ASSERT_EQ(pulled.outcome.status, 0) << qPrintable(pulled.err.join(u'\n'));
    const QList<QList<QByteArray>> rows = indexed(out);
    ASSERT_EQ(rows.size(), 6);
    EXPECT_EQ(rows[3].mid(0, 2), (QList<QByteArray>{"4", ""}));
    EXPECT_EQ(rows[3].value(11), "Input/output error");
    EXPECT_EQ(rows[4].mid(0, 2), (QList<QByteArray>{"4", "sweep-00000004-ch0.dat"}));
    EXPECT_EQ(rows[5].value(0), "5");
    EXPECT_TRUE(pulled.err.join(u'\n').contains(u"the device failed (Input/output error); sweep 4 lost")) << qPrintable(pulled.err.join(u'\n'));

    // Gone for longer than allowed: status 1 and the reason.
    tty.pullOutAt(100);
    const Here gone = recordHere({QStringLiteral("--port"), tty.path(), QStringLiteral("--reconnect-timeout"),
                                  QStringLiteral("0.05s"), QStringLiteral("-o"), QStringLiteral("-")}, devices);
    EXPECT_EQ(gone.outcome.status, 1);
    EXPECT_TRUE(gone.err.value(gone.err.size() - 1).contains(u"not back within 0.05 s")) << qPrintable(gone.err.join(u'\n'));
}

TEST_F(Recording, OnTheEmulatedChipTheRowsHoldTheConvertersCodesAndASignalGivesTheChipBack)
{
    // Ctrl-C during the second sweep.
    SimulatedConverter converter(Ramp{0, [](long n) {
                                              if (n == SweepLength + 1000)
                                                  std::raise(SIGINT);
                                          }});
    EmulatedUsbChip chip({}, {[&](bool a) { converter.setRts(a); }, [&](bool a) { converter.setDtr(a); }, [&] { return converter.readCts(); }});
    const Here r = recordHere({QStringLiteral("--port"), QStringLiteral("ftdi:i:0x0403:0x6001"), QStringLiteral("--channel"),
                               QStringLiteral("4"), QStringLiteral("--sweeps"), QStringLiteral("3"), QStringLiteral("-o"), QStringLiteral("-")},
                              [] { return QList<PortDevice>{}; });
    EXPECT_EQ(r.outcome.signal, SIGINT);
    EXPECT_EQ(r.outcome.status, 0);
    const QList<QByteArray> lines = r.out.split('\n');
    ASSERT_EQ(lines.size(), 1 + SweepLength + 1) << "the first sweep's rows, and none of the sweep the signal stopped";
    for (int i = 1; i <= SweepLength; ++i)
        ASSERT_EQ(lines[i].split(',').value(5).toInt(), rampCode({4, true}, i - 1)) << i;
    EXPECT_TRUE(r.err.join(u'\n').contains(u"(ftdi-bitbang)")) << qPrintable(r.err.join(u'\n'));
    EXPECT_FALSE(chip.open);
    EXPECT_EQ(chip.bitmode, BITMODE_RESET) << "left in bit-bang mode";
    EXPECT_TRUE(chip.kernelDriverAttached);

    // Plugged in but no longer answering: each attempt to open it again spends a control
    // request's time-out (the transfers' deadline, 1 s), longer than the retry interval.
    // Ctrl-C ends the wait within about one attempt.
    chip.failAtWrite(50, EmulatedUsbChip::Failure::StopsAnswering);
    QElapsedTimer sent;
    std::promise<void> ended; // no signal once the recording has ended, which a test process would not survive
    std::thread ctrlC([&, ending = ended.get_future()] {
        if (ending.wait_for(std::chrono::milliseconds(4500)) == std::future_status::timeout) {
            sent.start();
            ::kill(::getpid(), SIGINT);
        }
    });
    const Here stalled = recordHere({QStringLiteral("--port"), QStringLiteral("ftdi:i:0x0403:0x6001"), QStringLiteral("--continuous"),
                                     QStringLiteral("-o"), QStringLiteral("-")}, [] { return QList<PortDevice>{}; });
    ended.set_value();
    const qint64 after = sent.isValid() ? sent.elapsed() : 0;
    ctrlC.join();
    EXPECT_EQ(stalled.outcome.signal, SIGINT) << qPrintable(stalled.err.join(u'\n'));
    EXPECT_LT(after, 2000);
    EXPECT_FALSE(chip.open);
}

} // namespace
