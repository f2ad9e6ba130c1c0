#pragma once

#include "rec/RecOptions.h"
#include "rec/SweepOutput.h"

#include <QElapsedTimer>

#include <cstdio>

// What q390-rec tells on standard error, each message one line "q390-rec: ...". On a terminal,
// one progress line refreshed at most ten times a second; elsewhere a start line and a closing
// summary only; quiet, errors only. Counts the sweeps the output has written for sure.
class Progress {
public:
    enum class Mode { Quiet, Lines, Terminal };

    // `into` names the output until the recording begins: a folder, or standard output.
    Progress(std::FILE* err, Mode mode, const RecOptions& options, QString into);

    void error(const QString& message);
    void note(const QString& message);

    // The recording begins, on the link named ("simulator", "modem-lines" or "ftdi-bitbang"),
    // into the output named (a folder's name is settled once it is made).
    void started(const QString& link, const QString& into);
    // A sweep handed to the output, and how many are written for sure (confirmed) by now. The
    // levels of the samples are read only when the progress line shows them.
    void kept(const SweepRecord& sweep, const SampleArray& samples, long long confirmed);
    // The sweeps written for sure once the output has finished.
    void confirmed(long long count) { kept_ = count; }
    void lost() { ++lost_; }
    // A sweep the trigger passed over: its signal did not cross the level.
    void passedOver() { ++passedOver_; }
    // Now and then within a sweep, so that the time shown moves on during a slow one.
    void tick() { refresh(); }
    // The closing summary, with how the recording ended when not at its limit.
    void finished(const QString& ending = {});

private:
    void say(const QString& message);
    void refresh();
    // Whether the progress line is drawn at the next refresh.
    bool due() const;
    void clearLine();

    std::FILE* err_;
    Mode mode_;
    const RecOptions& options_;
    QElapsedTimer elapsed_;
    qint64 shownAt_ = -1; // when the progress line was last drawn, ms; -1 while none is there
    long long kept_ = 0, lost_ = 0, passedOver_ = 0;
    double lastMinimum_ = 0, lastMaximum_ = 0;
    QString into_, link_;
};
