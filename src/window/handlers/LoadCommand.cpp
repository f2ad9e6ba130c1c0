#include "window/handlers/LoadCommand.h"

#include "core/drawing/Trace.h"
#include "core/samples/Readings.h"
#include "core/system/FailureWords.h"
#include "window/handlers/Procedures.h"

namespace {

bool readable(const SampleFile::Contents& contents)
{
    return contents.outcome != SampleFile::Contents::SystemError && contents.outcome != SampleFile::Contents::NotRegular;
}

// A short file is still a sweep to look at: the records it lacks read as 0, never as what the
// buffer held before.
SampleArray samplesOf(const SampleFile::Contents& contents)
{
    SampleArray samples{};
    SampleFile::decode(contents.bytes + QByteArray(SampleFile::Size - contents.bytes.size(), '\0'), samples);
    return samples;
}

} // namespace

void LoadCommand::Command4_Click()
{
    const QString name = s_.dialog.askOpenFileName(QStringLiteral("dat"), QStringLiteral("打开文件"),
                                                   QStringLiteral("数据文件(*.dat)|*.dat"));
    if (!name.isEmpty())
        load(name, SampleFile::inspect(name));
}

void LoadCommand::openAtStart(const QString& name)
{
    const SampleFile::Contents contents = SampleFile::inspect(name);
    // No sweep has read the range buttons yet. The file is read in the range its records can
    // only have come from, else in the one selected, and the buttons show it.
    if (readable(contents)) {
        if (const RangeGuess guess = guessRange(samplesOf(contents)); guess.sure)
            s_.options.select(guess.range == Range::Unipolar ? UnipolarOption : BipolarOption);
        s_.state.RangeMode = selectedRange(s_.options);
    }
    load(name, contents);
}

void LoadCommand::load(const QString& name, const SampleFile::Contents& contents)
{
    // The file is read and checked before anything changes.
    static const QString Title = QStringLiteral("取盘");
    if (!readable(contents)) {
        const QString reason = contents.outcome == SampleFile::Contents::NotRegular ? QStringLiteral("不是普通文件")
                                                                                     : chineseReason(contents.errorNumber);
        s_.boxes.show(QStringLiteral("无法读取文件") + name + QStringLiteral("：") + reason, Title, MsgStyle::Exclamation);
        return;
    }

    // From here the plot and the buffer are the file's: a sweep or replay this load
    // interrupted stops when its yield returns. Work confirmed during that sweep is done now,
    // on the sweep before it, not on the file.
    s_.afterSweep.sweepEnded();
    const unsigned run = s_.runs.start();
    s_.options.select(HoldOption);
    s_.state.SampleBuffer = samplesOf(contents);
    s_.state.BufferRangeMode = s_.state.RangeMode;
    s_.timer.setEnabled(false);
    s_.plot.clear();
    Drawgrid1(s_.plot);
    if (const qsizetype found = contents.bytes.size(); found < SampleFile::Size)
        s_.boxes.show(QStringLiteral("文件%1只有%2字节，其后的记录按0读取").arg(name).arg(found), Title, MsgStyle::Exclamation);

    traceStored(s_.state.SampleBuffer, s_.state.RangeMode, [&](const PlotLine& segment) {
        s_.plot.drawLine(segment.x1, segment.y1, segment.x2, segment.y2, TraceColor);
        s_.pump.pump();
        return !s_.lifetime.ended() && s_.runs.owns(run);
    });
}
