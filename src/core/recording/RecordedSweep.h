#pragma once

#include "core/samples/Range.h"
#include "core/system/Failure.h"

#include <QDateTime>
#include <QString>

#include <optional>

// A recording that cannot be read or written: the system's error number (FailureKind::System),
// or the reason in English words (FailureKind::Worded), the file's name left to the caller.
class RecordingError : public Failure {
public:
    using Failure::Failure;
};

// What a recording says of one sweep it kept, the same for both kinds of recording.
struct RecordedSweep {
    long long number = 0;          // from 1, rising in recording order
    QDateTime start;               // when it began, in UTC to the millisecond; invalid where not told
    std::optional<double> seconds; // how long it took
    int channel = 0;
    Range range = Range::Unipolar;
    QString link;                  // how it reached the converter: simulator, modem-lines, ftdi-bitbang
    QString note;                  // what is doubtful about it; empty when nothing
    std::optional<int> trigger;    // with a trigger: the index (from 0) of the first sample past its crossing
};
