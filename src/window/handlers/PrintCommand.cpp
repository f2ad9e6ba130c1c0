#include "window/handlers/PrintCommand.h"

#include "core/converter/ControlWord.h"
#include "core/drawing/PrintedPage.h"

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
    // The samples are read in the range they were taken in, which is RangeMode unless a
    // sweep in another range has started since.
    drawPrintedPage(printer_, state_.SampleBuffer, ControlWord::rangeOf(state_.BufferRangeMode));
}
