#include "window/handlers/LoadCommand.h"

#include "core/drawing/Trace.h"
#include "core/samples/SampleFile.h"
#include "core/system/FailureWords.h"
#include "window/handlers/Procedures.h"

void LoadCommand::Command4_Click()
{
    const QString name = s_.dialog.askOpenFileName(QStringLiteral("dat"), QStringLiteral("打开文件"),
                                                   QStringLiteral("数据文件(*.dat)|*.dat"));
    if (name.isEmpty())
        return;

    // The file is read and checked before anything changes. A short file is still a sweep to
    // look at: the records it lacks read as 0, never as what the buffer held before.
    static const QString Title = QStringLiteral("取盘");
    SampleFile::Contents contents = SampleFile::inspect(name);
    if (contents.outcome == SampleFile::Contents::SystemError || contents.outcome == SampleFile::Contents::NotRegular) {
        const QString reason = contents.outcome == SampleFile::Contents::NotRegular ? QStringLiteral("不是普通文件")
                                                                                     : chineseReason(contents.errorNumber);
        s_.boxes.show(QStringLiteral("无法读取文件") + name + QStringLiteral("：") + reason, Title, MsgStyle::Exclamation);
        return;
    }
    const qsizetype found = contents.bytes.size();
    contents.bytes.append(QByteArray(SampleFile::Size - found, '\0'));

    // From here the plot and the buffer are the file's: a sweep or replay this load
    // interrupted stops when its yield returns. Work confirmed during that sweep is done now,
    // on the sweep before it, not on the file.
    s_.afterSweep.sweepEnded();
    const unsigned run = s_.runs.start();
    s_.options.select(3);
    SampleFile::decode(contents.bytes, s_.state.SampleBuffer.samples());
    s_.state.BufferRangeMode = s_.state.RangeMode;
    s_.timer.setEnabled(false);
    s_.plot.clear();
    Drawgrid1(s_.plot);
    if (found < SampleFile::Size)
        s_.boxes.show(QStringLiteral("文件%1只有%2字节，其后的记录按0读取").arg(name).arg(found), Title, MsgStyle::Exclamation);

    traceStored(s_.state.SampleBuffer, s_.state.RangeMode.range(), [&](const PlotLine& segment) {
        s_.plot.drawLine(segment.x1, segment.y1, segment.x2, segment.y2, TraceColor);
        s_.pump.pump();
        return !s_.lifetime.ended() && s_.runs.owns(run);
    });
}
