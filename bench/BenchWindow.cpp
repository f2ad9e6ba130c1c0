#include "BenchWindow.h"

#include "Probe.h"

#include <QEventLoop>
#include <QTimer>

#include <thread>

void PacedDevice::setRts(bool asserted)
{
    const std::int64_t started = probe::nowNs();
    converter_.setRts(asserted);
    pace(started);
}

void PacedDevice::setDtr(bool asserted)
{
    const std::int64_t started = probe::nowNs();
    converter_.setDtr(asserted);
    pace(started);
}

bool PacedDevice::readCts()
{
    const std::int64_t started = probe::nowNs();
    const bool cts = converter_.readCts();
    pace(started);
    return cts;
}

void PacedDevice::pace(std::int64_t startedNs)
{
    ++operations;
    // A sleep this short would oversleep many times over; a port's wait is a busy one too.
    if (perOperation < std::chrono::microseconds(200)) {
        while (probe::nowNs() - startedNs < perOperation.count()) {
        }
        return;
    }
    std::this_thread::sleep_for(perOperation);
}

BenchWindow::BenchWindow()
    : form({boxes, pump, timer, lifetime, dialog, clock, printer, serial,
            [] { return QList<PortDevice>{{QStringLiteral("/dev/paced"), QStringLiteral("/dev/paced")}}; },
            [this, signal = SignalGenerator{}](const ConversionRequest& request) mutable {
                ++conversions_;
                if (afterConversion)
                    afterConversion(conversions_);
                return signal(request);
            }})
{
    form.Form_Load();
    plot_ = form.findChild<PlotWidget*>(QStringLiteral("Picture1"));
}

void BenchWindow::runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void BenchWindow::hold()
{
    form.options().select(HoldOption);
    // What is left of the running sweep, and the repaint that shows it.
    runFor(2 * PlotWidget::SettleMs);
}
