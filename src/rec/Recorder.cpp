#include "rec/Recorder.h"

#include "core/recording/Pacing.h"
#include "rec/StopSignals.h"

#include <algorithm>
#include <thread>

namespace {

// How often the callback looks at the clock for the progress line.
constexpr int TickSamples = 512;
// The longest a wait for the device goes without looking for a stop.
constexpr std::chrono::milliseconds WaitSlice{50};

} // namespace

bool Recorder::limitReached() const
{
    if (options_.sweeps)
        return kept_ >= *options_.sweeps;
    return options_.seconds && seconds() >= *options_.seconds;
}

void Recorder::run()
{
    elapsed_.start();
    const Sweep::Each each = [this](const Sweep::Sample& sample) {
        if (sample.number % TickSamples == 0)
            parts_.progress.tick();
        return !StopSignals::caught();
    };
    std::optional<Pacing> pacing;
    if (options_.every)
        pacing.emplace(*options_.every);
    long long skipped = 0; // slots of the pacing passed over since the last sweep kept
    for (long long number = parts_.output.firstNumber(); !StopSignals::caught() && !limitReached();) {
        SweepRecord sweep;
        sweep.number = number;
        sweep.channel = options_.channels[(number - 1) % options_.channels.size()];
        sweep.range = options_.range;
        // The start is read before the pacing's clock, and again after a wait: so no start is
        // told earlier than its slot from the first one, however late the process runs.
        sweep.start = parts_.clock.now();
        if (pacing) {
            const double now = seconds();
            const Pacing::Slot slot = pacing->next(now);
            skipped += slot.skipped;
            if (slot.at > now) {
                if (!waitUntil(slot.at))
                    return;
                sweep.start = parts_.clock.now();
            }
        }
        sweep.link = parts_.unit.port().linkName();
        sweep.offset = seconds();
        try {
            if (!parts_.unit.sweep({sweep.channel, sweep.range}, each))
                return;
        } catch (const LineError& failure) {
            const QString reason = englishReason(failure);
            sweep.seconds = seconds() - sweep.offset;
            parts_.progress.lost();
            parts_.output.lost(sweep, reason);
            if (!failing_.isValid())
                failing_.start();
            if (!waitForDevice(sweep, reason))
                return;
            continue;
        }
        sweep.seconds = seconds() - sweep.offset;
        // The device answers again, whether the sweep is kept or not.
        failing_.invalidate();
        const SampleArray& samples = parts_.unit.samples();
        if (options_.trigger) {
            sweep.trigger = firstCrossing(samples, sweep.range, *options_.trigger);
            if (!sweep.trigger) {
                parts_.progress.passedOver();
                continue;
            }
        }
        markUnanswered(sweep);
        if (skipped > 0) {
            const QString late = QStringLiteral("%1 start%2 of --every skipped before it")
                                     .arg(skipped)
                                     .arg(skipped == 1 ? "" : "s");
            sweep.note = sweep.note.isEmpty() ? late : sweep.note + QStringLiteral("; ") + late;
            skipped = 0;
        }
        parts_.output.kept(sweep, samples);
        ++kept_;
        ++number;
        parts_.progress.kept(sweep, samples, parts_.output.confirmed(kept_));
    }
}

bool Recorder::waitUntil(double at)
{
    if (options_.seconds && at >= *options_.seconds)
        return false;
    for (double left; (left = at - seconds()) > 0;) {
        if (StopSignals::caught())
            return false;
        parts_.progress.tick();
        std::this_thread::sleep_for(std::min(std::chrono::duration<double>(left), std::chrono::duration<double>(WaitSlice)));
    }
    return !StopSignals::caught();
}

void Recorder::markUnanswered(SweepRecord& sweep)
{
    // A port with nothing on it, or a unit switched off, reads one level throughout: the sweep
    // is all one code and looks like a signal at a rail.
    if (parts_.unit.port().simulated() || parts_.unit.lineMoved())
        return;
    sweep.note = QStringLiteral("nothing answered: the data line (CTS) never moved");
    if (toldUnanswered_)
        return;
    toldUnanswered_ = true;
    parts_.progress.note(QStringLiteral("warning: %1: nothing answered in sweep %2, its data line (CTS) never moved: "
                                        "is the unit connected and switched on?")
                             .arg(options_.port)
                             .arg(sweep.number));
}

bool Recorder::waitForDevice(const SweepRecord& lost, const QString& reason)
{
    parts_.unit.close();
    const QString& port = options_.port;
    const std::optional<double>& timeout = options_.reconnectSeconds;
    const QString failed = QStringLiteral("%1: the device failed (%2); sweep %3 lost").arg(port, reason).arg(lost.number);
    if (timeout && *timeout <= 0)
        throw PortError(failed + QStringLiteral(", and --reconnect-timeout 0 waits for no device"));
    const auto pastTimeout = [&] { return timeout && failing_.elapsed() >= *timeout * 1e3; };
    if (pastTimeout())
        throw PortError(failed + QStringLiteral(", and none has been kept for %1 s").arg(*timeout));
    parts_.progress.error(failed + QStringLiteral("; opening it again every %1 s%2")
                                   .arg(parts_.retry.count() / 1e3)
                                   .arg(timeout ? QStringLiteral(" for up to %1 s").arg(*timeout - failing_.elapsed() / 1e3, 0, 'f', 1) : QString()));
    QElapsedTimer waited;
    waited.start();
    // An attempt starts `retry` after the one before started, or at once when that one took
    // longer (a chip that stopped answering spends its control requests' time-outs); the stop
    // and the time limit are looked at before each, so neither waits longer than one attempt.
    for (qint64 due = parts_.retry.count();; due = std::max(due + parts_.retry.count(), waited.elapsed())) {
        for (qint64 left; (left = due - waited.elapsed()) > 0;) {
            if (StopSignals::caught() || limitReached())
                return false;
            std::this_thread::sleep_for(std::min(std::chrono::milliseconds(left), WaitSlice));
        }
        if (StopSignals::caught() || limitReached())
            return false;
        try {
            parts_.unit.reopen();
            parts_.progress.note(QStringLiteral("%1: back after %2 s; recording goes on").arg(port).arg(waited.elapsed() / 1e3, 0, 'f', 1));
            return true;
        } catch (const PortError& failure) {
            if (pastTimeout())
                throw PortError(QStringLiteral("%1: not back within %2 s (%3)").arg(port).arg(*timeout).arg(englishReason(failure)));
        }
    }
}
