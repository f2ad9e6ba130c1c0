#include "printing/PrintCommand.h"

#include "display/Grid.h"
#include "display/Trace.h"

PrintCommand::PrintCommand(const AcquisitionState& state, PrinterSurface& printer, SweepTimer& timer, MessageBoxes& boxes,
                           AfterSweep& afterSweep)
    : state_(state), printer_(printer), timer_(timer), boxes_(boxes), afterSweep_(afterSweep)
{
}

void PrintCommand::Command5_Click()
{
    if (boxes_.show(QStringLiteral("打印机准备好？"), QStringLiteral("打印口状态"), MsgStyle::OkCancel) == MsgAnswer::Cancel) {
        reporting([this] { printer_.endDoc(); });
        return;
    }
    timer_.setEnabled(false);
    afterSweep_.run([this] {
        reporting([this] {
            printPage();
            printer_.endDoc();
        });
    });
}

template <class Operation>
void PrintCommand::reporting(Operation operation)
{
    try {
        operation();
    } catch (const PrintError& error) {
        boxes_.show(QStringLiteral("打印失败：") + error.reason(), QStringLiteral("打印"), MsgStyle::Exclamation);
    }
}

void PrintCommand::printPage()
{
    // A document left open by an earlier operation is finished first.
    printer_.endDoc();
    for (const PlotLine& line : gridLines())
        printer_.drawLine(line.x1, line.y1, line.x2, line.y2);

    const auto trace = [this](int (*plotValueOf)(qint16)) {
        TraceRun run;
        for (int n = 1; n <= SweepLength; ++n) {
            const PlotLine s = run.segment(n, plotValueOf(state_.SampleBuffer[n]));
            printer_.drawLine(s.x1, s.y1, s.x2, s.y2, TraceColor);
        }
    };
    // The samples are read in the range they were taken in, which is RangeMode unless a
    // sweep in another range has started since.
    if (isUnipolar(state_.BufferRangeMode))
        trace(PlotValue::storedUnipolar);
    if (isBipolar(state_.BufferRangeMode))
        trace(PlotValue::storedBipolar);
}
