#pragma once

#include "core/recording/Trigger.h"
#include "core/samples/Range.h"
#include "core/samples/SampleFormat.h"
#include "core/system/Failure.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// A command line that makes no sense; the program says why and ends with status 2.
class UsageError : public Failure {
public:
    using Failure::Failure;
};

// What q390-rec was asked to do.
struct RecOptions {
    enum class Task { Record, Help, Version, ListPorts };

    Task task = Task::Record;
    QString port = QStringLiteral("sim");
    QList<int> channels{0}; // sweep k (from 1) takes channels[(k - 1) mod their number]
    Range range = Range::Unipolar;
    // The limit: a number of sweeps kept, or seconds after which no sweep starts; neither
    // records until stopped.
    std::optional<long long> sweeps = 1;
    std::optional<double> seconds;
    QString folder; // the folder or the HDF5 file; empty: a new one named by the start time
    bool toStdout = false;
    bool oneFile = false; // one HDF5 file (-o NAME.h5, --format h5) instead of a folder
    std::optional<SampleFormat> format; // a folder's files; none: the appended folder's own, or dat
    bool append = false;
    bool compress = false; // a new HDF5 file's datasets deflated
    std::optional<double> every; // seconds between the sweeps' starts
    std::optional<Trigger> trigger;
    std::optional<double> reconnectSeconds = 60; // none: wait for ever
    bool quiet = false;

    bool continuous() const { return !sweeps && !seconds; }

    // Throws UsageError.
    static RecOptions parse(const QStringList& arguments);
    // The usage and a line for each option.
    static QString help();
};

// "90s", "10m", "2h", or a number of seconds; throws UsageError naming the option.
double parseDuration(const QString& option, const QString& text);
// "LEVEL[,rising|falling]", the level within the range; throws UsageError.
Trigger parseTrigger(const QString& text, Range range);
// "3", "0,3,5", "0-7", "0-2,6": channels 0 to 7 in the order given; throws UsageError.
QList<int> parseChannels(const QString& option, const QString& text);
