#include "rec/SampleStream.h"

#include "core/samples/SampleCsv.h"

#include <cerrno>

void SampleStream::kept(const SweepRecord& sweep, const SampleArray& samples)
{
    rows_.clear();
    const QByteArray lead = QByteArray::number(sweep.number) + ',';
    const QByteArray channelRange = ',' + QByteArray::number(sweep.channel) + ',' + rangeWord(sweep.range).toLatin1() + ',';
    for (int n = 1; n <= SweepLength; ++n) {
        const Reading r = reading(samples[n], sweep.range);
        rows_ += lead;
        rows_ += QByteArray::number(n);
        rows_ += ',';
        appendFixed(rows_, sweep.offset + sweep.seconds * (n - 1) / SweepLength);
        rows_ += channelRange;
        rows_ += QByteArray::number(r.code);
        rows_ += ',';
        appendFixed(rows_, r.volts);
        rows_ += '\n';
    }
    put(rows_);
}

void SampleStream::put(const QByteArray& text)
{
    errno = 0;
    if (std::fwrite(text.constData(), 1, std::size_t(text.size()), out_) != std::size_t(text.size()) || std::fflush(out_) != 0)
        throw OutputError(QStringLiteral("standard output: %1").arg(englishReason(errno ? errno : EIO)), errno);
}
