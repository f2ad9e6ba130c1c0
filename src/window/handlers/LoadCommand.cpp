#include "window/handlers/LoadCommand.h"

#include "core/converter/ControlWord.h"
#include "core/drawing/Grid.h"
#include "core/drawing/Trace.h"
#include "core/samples/SampleFile.h"

void LoadCommand::Command4_Click()
{
    const QString name = s_.dialog.askOpenFileName(QStringLiteral("dat"), QStringLiteral("打开文件"),
                                                   QStringLiteral("数据文件(*.dat)|*.dat"));
    if (name.isEmpty())
        return;

    // The file is read and checked before anything changes.
    QByteArray bytes;
    try {
        bytes = SampleFile::read(name);
    } catch (const FileError& error) {
        s_.boxes.show(QStringLiteral("无法读取文件") + name + QStringLiteral("：") + error.reason(), QStringLiteral("取盘"), MsgStyle::Exclamation);
        return;
    }

    // From here the plot and the buffer are the file's: a sweep or replay this load
    // interrupted stops when its yield returns. Work confirmed during that sweep is done now,
    // on the sweep before it, not on the file.
    s_.afterSweep.sweepEnded();
    const unsigned run = s_.runs.start();
    s_.options.select(3);
    SampleFile::decode(bytes, s_.state.SampleBuffer);
    s_.state.BufferRangeMode = s_.state.RangeMode;
    s_.timer.setEnabled(false);
    s_.plot.clear();
    Drawgrid1(s_.plot);

    traceStored(s_.state.SampleBuffer, ControlWord::rangeOf(s_.state.RangeMode), [&](const PlotLine& segment) {
        s_.plot.drawLine(segment.x1, segment.y1, segment.x2, segment.y2, TraceColor);
        s_.pump.pump();
        return !s_.lifetime.ended() && s_.runs.owns(run);
    });
}
