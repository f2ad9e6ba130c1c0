#pragma once

#include "rec/SweepOutput.h"

#include <cstdio>

// The samples as CSV rows on a stream (standard output, for a pipe into a script): one header,
// then a row per sample, a sweep's rows written once it is complete. A sample's time is the
// sweep's start plus its share of the sweep's duration, counted from the recording's start.
class SampleStream final : public SweepOutput {
public:
    static constexpr const char* Header = "sweep,index,time_s,channel,range,code,volts\n";

    explicit SampleStream(std::FILE* out) : out_(out) {}

    void begin() override { put(Header); }
    void kept(const SweepRecord& sweep, const SampleArray& samples) override;
    // The stream has no place for a lost sweep; the messages tell of it.
    void lost(const SweepRecord&, const QString&) override {}

private:
    void put(const QByteArray& text);

    std::FILE* out_;
    QByteArray rows_;
};
