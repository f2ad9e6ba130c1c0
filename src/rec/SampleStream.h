#pragma once

#include "rec/SweepOutput.h"

#include <QElapsedTimer>

#include <cstdio>
#include <optional>

// The samples as CSV rows on a stream (standard output, for a pipe into a script): one header,
// then a row per sample, a sweep's rows written once it is complete. A sample's time is the
// sweep's start plus its share of the sweep's duration, counted from the recording's start.
// With a trigger, a last column marks the first sample past the crossing: 1 there, 0 elsewhere.
//
// A reader that stops reading holds a write up only until a stop signal comes, or the time
// allowed (seconds from begin) is over and the reader has taken nothing for a second; the rows
// are then cut short, with an OutputError. A slow reader is waited for.
class SampleStream final : public SweepOutput {
public:
    static constexpr const char* Header = "sweep,index,time_s,channel,range,code,volts\n";
    static constexpr const char* TriggeredHeader = "sweep,index,time_s,channel,range,code,volts,trigger\n";

    // Throws OutputError when the stream is none, or no file, pipe, socket or character device
    // open for writing.
    SampleStream(std::FILE* out, std::optional<double> seconds, bool triggered = false);

    QString name() const override { return QStringLiteral("standard output"); }
    void begin() override;
    void kept(const SweepRecord& sweep, const SampleArray& samples) override;
    // The stream has no place for a lost sweep; the messages tell of it.
    void lost(const SweepRecord&, const QString&) override {}

private:
    void put(const QByteArray& text);
    // Throws OutputError when a stop signal came, or when the time allowed is over and the
    // reader has taken nothing since `stalled` started, for a second or more.
    void mayGoOn(const QElapsedTimer& stalled) const;
    static OutputError streamError(int error);

    std::FILE* out_;
    int fd_;
    bool regular_ = false;
    std::optional<double> seconds_;
    bool triggered_;
    QElapsedTimer elapsed_;
    QByteArray rows_;
};
