#pragma once

#include "core/samples/Range.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace DatTool {

// What the command line asks for, checked whole before any file is read.
struct Request {
    enum Task { Convert, Help, Version };
    Task task = Convert;
    QString command;
    QStringList inputs;
    QString output; // empty or "-": standard output
    bool intoFolder = false; // the output is a folder that takes one file per input
    std::optional<Range> range; // none: decided from the index or the records
    int scale = 1;
    bool quiet = false;
    bool bare = false;    // png, pdf: the window's picture or the printed page, nothing around it
    bool overlay = false; // png, pdf: every sweep on one plot
    struct Numbers {
        long long first, last;
    };
    std::optional<Numbers> sweeps; // a recording's sweeps numbered so; none: all of them

    bool toStdout() const { return output.isEmpty() || output == u"-"; }
    // One output made of every input (a session, an overlay, a recording) rather than one for each.
    bool combined() const { return command == u"sr" || command == u"h5" || overlay; }
    // Where the result for the sweep of that name goes; empty for standard output.
    QString outputFor(const QString& name) const;
};

// Throws Stop with the usage status for a command line that makes no sense.
Request parseRequest(const QStringList& arguments);

// The usage lines and a line for each option.
QString helpText();

// Two names the file system takes for one file alike: on Windows letters that differ in case only.
QString sameFileKey(const QString& name);

} // namespace DatTool
