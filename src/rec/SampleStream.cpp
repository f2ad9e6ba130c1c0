#include "rec/SampleStream.h"

#include "core/samples/SampleCsv.h"
#include "rec/StopSignals.h"

#include <cerrno>

void SampleStream::begin()
{
    elapsed_.start();
    put(triggered_ ? TriggeredHeader : Header);
}

void SampleStream::kept(const SweepRecord& sweep, const SampleArray& samples)
{
    rows_.clear();
    const QByteArray lead = QByteArray::number(sweep.number) + ',';
    const QByteArray channelRange = ',' + QByteArray::number(sweep.channel) + ',' + rangeWord(sweep.range).toLatin1() + ',';
    for (int n = 0; n < SweepLength; ++n) {
        const Reading r = reading(samples[n], sweep.range);
        rows_ += lead;
        rows_ += QByteArray::number(n + 1);
        rows_ += ',';
        appendFixed(rows_, sweep.offset + sweep.seconds * n / SweepLength);
        rows_ += channelRange;
        rows_ += QByteArray::number(r.code);
        rows_ += ',';
        appendFixed(rows_, r.volts);
        if (triggered_)
            rows_ += n == sweep.trigger ? ",1" : ",0";
        rows_ += '\n';
    }
    put(rows_);
}

void SampleStream::mayGoOn(const QElapsedTimer& stalled) const
{
    // Past the time allowed, a reader that takes nothing for this long is taken to read no more.
    constexpr qint64 StalledMs = 1000;
    if (StopSignals::caught())
        throw OutputError(QStringLiteral("standard output: stopped part-way through a write"), EINTR);
    if (seconds_ && elapsed_.elapsed() >= *seconds_ * 1e3 && stalled.elapsed() >= StalledMs)
        throw OutputError(QStringLiteral("standard output: not read when the time allowed was over; the last sweep's rows are cut short"), ETIMEDOUT);
}

OutputError SampleStream::streamError(int error)
{
    return OutputError(QStringLiteral("standard output: %1").arg(englishReason(error)), error);
}
