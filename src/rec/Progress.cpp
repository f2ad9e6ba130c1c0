#include "rec/Progress.h"

#include "core/samples/Readings.h"

#include <algorithm>


namespace {

constexpr qint64 RefreshMs = 100;
// Past this a time is shown as this, so that an enormous --time still fits the count.
constexpr double LongestShown = 1e12;

QString clockTime(double seconds)
{
    const long long s = static_cast<long long>(std::clamp(seconds, 0.0, LongestShown));
    return QString::asprintf("%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
}

// Sweeps a second, or seconds a sweep where sweeps are slow (a USB adapter's modem lines).
QString pace(long long sweeps, double seconds)
{
    if (sweeps == 0 || seconds <= 0)
        return QStringLiteral("0 sweeps/s");
    const double rate = sweeps / seconds;
    return rate >= 1 ? QStringLiteral("%1 sweeps/s").arg(rate, 0, 'f', 1) : QStringLiteral("%1 s a sweep").arg(1 / rate, 0, 'f', 1);
}

} // namespace

Progress::Progress(std::FILE* err, Mode mode, const RecOptions& options, QString into)
    : err_(err), mode_(mode), options_(options), into_(std::move(into))
{
    elapsed_.start();
}

void Progress::say(const QString& message)
{
    clearLine();
    std::fprintf(err_, "q390-rec: %s\n", qUtf8Printable(message));
    std::fflush(err_);
}

void Progress::clearLine()
{
    if (shownAt_ >= 0)
        std::fputs("\r\033[K", err_);
    shownAt_ = -1;
}

void Progress::error(const QString& message)
{
    say(message);
}

void Progress::note(const QString& message)
{
    if (mode_ != Mode::Quiet)
        say(message);
}

void Progress::started(const QString& link, const QString& into)
{
    elapsed_.start();
    link_ = link;
    into_ = into;
    const RecOptions& o = options_;
    QStringList channels;
    for (const int channel : o.channels)
        channels << QString::number(channel);
    const QString limit = o.sweeps ? QStringLiteral("%1 sweep%2").arg(*o.sweeps).arg(*o.sweeps == 1 ? "" : "s")
        : o.seconds               ? QStringLiteral("for %1 s").arg(*o.seconds)
                                  : QStringLiteral("until stopped");
    QString paced;
    if (o.every)
        paced += QStringLiteral(", one every %1 s").arg(*o.every);
    if (o.trigger)
        paced += QStringLiteral(", those crossing %1 V %2").arg(o.trigger->level).arg(slopeWord(o.trigger->slope));
    note(QStringLiteral("recording %1: channel%2 %3, %4%5, from %6 (%7) into %8")
             .arg(limit, channels.size() == 1 ? "" : "s", channels.join(u','), rangeWord(o.range), paced, o.port, link, into_));
}

void Progress::kept(const SweepRecord& sweep, const SampleArray& samples, long long confirmed)
{
    kept_ = confirmed;
    link_ = sweep.link;
    if (due()) {
        const Summary summary = summarise(samples, sweep.range);
        lastMinimum_ = summary.minimum;
        lastMaximum_ = summary.maximum;
    }
    refresh();
}

bool Progress::due() const
{
    return mode_ == Mode::Terminal && (shownAt_ < 0 || elapsed_.elapsed() - shownAt_ >= RefreshMs);
}

void Progress::refresh()
{
    if (!due())
        return;
    const qint64 ms = elapsed_.elapsed();
    const double seconds = ms / 1e3;
    const double rate = seconds > 0 ? kept_ / seconds : 0;
    QString line = options_.sweeps ? QStringLiteral("%1/%2 sweeps").arg(kept_).arg(*options_.sweeps)
                                   : QStringLiteral("%1 sweeps").arg(kept_);
    line += QStringLiteral(", %1, %2 elapsed").arg(pace(kept_, seconds), clockTime(seconds));
    if (options_.seconds)
        line += QStringLiteral(", %1 left").arg(clockTime(*options_.seconds - seconds));
    else if (options_.sweeps && rate > 0)
        line += QStringLiteral(", %1 left").arg(clockTime((*options_.sweeps - kept_) / rate));
    if (passedOver_ > 0)
        line += QStringLiteral(", %1 without a crossing").arg(passedOver_);
    if (kept_ > 0)
        line += QStringLiteral(", last %1 to %2 V").arg(lastMinimum_, 0, 'f', 3).arg(lastMaximum_, 0, 'f', 3);
    line += QStringLiteral(", ") + link_;
    std::fprintf(err_, "\r%s\033[K", qUtf8Printable(line));
    std::fflush(err_);
    shownAt_ = ms;
}

void Progress::finished(const QString& ending)
{
    const double seconds = elapsed_.elapsed() / 1e3;
    QString summary = QStringLiteral("%1 sweep%2 kept").arg(kept_).arg(kept_ == 1 ? "" : "s");
    if (lost_ > 0)
        summary += QStringLiteral(", %1 lost").arg(lost_);
    if (passedOver_ > 0)
        summary += QStringLiteral(", %1 passed over without a crossing").arg(passedOver_);
    summary += QStringLiteral(" in %1 s (%2), into %3").arg(seconds, 0, 'f', 2).arg(pace(kept_, seconds), into_);
    if (!ending.isEmpty())
        summary += QStringLiteral("; ") + ending;
    note(summary);
}
