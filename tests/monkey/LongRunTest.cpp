#include "Process.h"

#include "support/StorageRig.h"
#include "support/WindowRig.h"
#include "window/handlers/PrintToFile.h"
#include "window/toolkit/QtPrinterSurface.h"
#include "window/toolkit/QtWindowSystem.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <set>

#include <malloc.h>
#if defined(__SANITIZE_ADDRESS__)
extern "C" std::size_t __sanitizer_get_current_allocated_bytes(); // the sanitizer's allocator
#endif

namespace {

// Bytes the allocator has handed out and not had back.
std::size_t heapInUse()
{
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
#endif
}

// The distinct repeating timers that fired since the last reset: a timer left running for good
// shows up within a few sweeps. Single-shot timers (the plot's next frame) come and go with
// the speed of the machine.
class Timers final : public QObject {
public:
    Timers() { qApp->installEventFilter(this); }
    ~Timers() override { qApp->removeEventFilter(this); }

    std::size_t firing() const { return fired_.size(); }
    void reset() { fired_.clear(); }

private:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        const auto* timer = qobject_cast<QTimer*>(object);
        if (event->type() == QEvent::Timer && !(timer && timer->isSingleShot()))
            fired_.insert({object, static_cast<QTimerEvent*>(event)->timerId()});
        return false;
    }
    std::set<std::pair<QObject*, int>> fired_;
};

struct Sample {
    long sweep;
    qint64 resident;
    std::size_t heap;
    int descriptors;
    std::size_t timers;
    qsizetype widgets;
};

Sample sample(long sweep, const Timers& timers)
{
    return {sweep, Process::residentBytes(), heapInUse(), Process::openDescriptors(), timers.firing(),
            QApplication::allWidgets().size()};
}

void print(const char* when, const Sample& s)
{
    std::fprintf(stderr, "long run: %s sweep %ld: RSS %.1f MiB, heap in use %zu KiB, %d descriptors, %zu repeating timers, "
                         "%lld widgets\n",
                 when, s.sweep, s.resident / 1048576.0, s.heap / 1024, s.descriptors, s.timers, static_cast<long long>(s.widgets));
}

long wantedSweeps()
{
    bool ok = false;
    const long wanted = qEnvironmentVariable("Q390_LONGRUN_SWEEPS").toLong(&ok);
    return ok && wanted > 100 ? wanted : 600;
}

class Agree final : public MessageBoxes {
public:
    int show(const QString&, const QString&, int style) override
    {
        return (style & MsgStyle::Buttons) == MsgStyle::YesNo ? MsgAnswer::Yes : MsgAnswer::Ok;
    }
};

class Chosen final : public FileDialog {
public:
    QString askOpenFileName(const QString&, const QString&, const QString&) override { return SavedName; }
};

// The window sweeping for real, on Qt's timer and event loop with the simulator behind the
// closed port, and every 50 sweeps a save, a print to PDF, a load of the saved file and Scan
// again. Between sweep 100 and the last (600, or Q390_LONGRUN_SWEEPS) nothing may grow: heap,
// resident memory, descriptors, timers or widgets.
TEST(LongRun, SweepsLeaveNoGrowthInMemoryDescriptorsOrTimers)
{
    ScratchDir scratch;
    Agree boxes;
    QtEventPump pump;
    QtSweepTimer timer;
    Chosen dialog;
    FixedClock clock{QDateTime(QDate(2010, 10, 28), QTime(14, 35, 7))};
    QtPrinterSurface printer{PrintToFile::fallback(boxes, clock), [] { return QString(); }};
    long conversions = 0;
    WindowRig w({.boxes = &boxes, .pump = &pump, .timer = &timer, .dialog = &dialog, .clock = &clock, .printer = &printer,
                 .codes = [&conversions](const ConversionRequest&) { return int(conversions++ % 4096) - 2048; },
                 .load = false});
    Form1& form = w.form;
    Timers timers;

    const long last = wantedSweeps();
    const long first = 100;
    std::optional<Sample> start, end;
    long nextCommands = 50;
    bool busy = false;
    QEventLoop loop;
    QTimer watch;
    watch.setInterval(2);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const long sweeps = conversions / SweepLength;
        if (busy || end)
            return;
        if (sweeps == first - 5 || sweeps == last - 5)
            timers.reset();
        if (sweeps >= first && !start)
            print("start", *(start = sample(sweeps, timers)));
        if (sweeps >= last) {
            print("end", *(end = sample(sweeps, timers)));
            loop.quit();
        } else if (sweeps >= nextCommands) {
            busy = true;
            nextCommands += 50;
            form.Command3_Click();
            form.Command5_Click();
            form.Command4_Click();
            form.options().select(ScanOption);
            busy = false;
        }
    });
    form.Form_Load();
    watch.start();
    loop.exec();
    form.options().select(HoldOption);
    ASSERT_TRUE(start && end);

    EXPECT_LE(end->heap, start->heap + 256 * 1024);
#if !defined(__SANITIZE_ADDRESS__) // the sanitizer's quarantine holds on to freed memory
    EXPECT_LE(end->resident, start->resident + 4 * 1048576);
#endif
    EXPECT_LE(end->descriptors, start->descriptors);
    EXPECT_LE(end->timers, start->timers);
    EXPECT_EQ(end->widgets, start->widgets);
    EXPECT_FALSE(w.lifetime.ended());
}

} // namespace
