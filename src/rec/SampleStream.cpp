#include "rec/SampleStream.h"

#include "core/samples/SampleCsv.h"

void SampleStream::begin()
{
    elapsed_.start();
    put(Header);
}

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
