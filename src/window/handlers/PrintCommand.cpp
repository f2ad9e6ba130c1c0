#include "window/handlers/PrintCommand.h"

#include "core/drawing/PrintedPage.h"
#include "core/system/FailureWords.h"

PrintCommand::PrintCommand(const AcquisitionState& state, PrinterSurface& printer, SweepTimer& timer, MessageBoxes& boxes,
                           AfterSweep& afterSweep)
    : state_(state), printer_(printer), timer_(timer), boxes_(boxes), afterSweep_(afterSweep)
{
}

void PrintCommand::Command5_Click()
{
    if (printing_)
        return;
    if (boxes_.show(QStringLiteral("打印机准备好？"), QStringLiteral("打印口状态"), MsgStyle::OkCancel) == MsgAnswer::Cancel) {
        reporting([this] { printer_.endDoc(); });
        return;
    }
    timer_.setEnabled(false);
    afterSweep_.run(PrintButton, [this] {
        const AfterSweep::Hold hold(afterSweep_);
        printing_ = true;
        reporting([this] { printPage(); });
        printing_ = false;
    });
}

template <class Operation>
void PrintCommand::reporting(Operation operation)
{
    try {
        operation();
    } catch (const PrintError& error) {
        boxes_.show(QStringLiteral("打印失败：") + chineseReason(error), QStringLiteral("打印"), MsgStyle::Exclamation);
    }
}

void PrintCommand::printPage()
{
    // A load while the print system is waited for replaces the buffer, not the page. The
    // samples are read in the range they were taken in, which is RangeMode unless a sweep in
    // another range has started since.
    const SampleArray samples = state_.SampleBuffer;
    const std::optional<Range> range = state_.BufferRangeMode;
    // A document left open by an earlier operation is finished first.
    printer_.endDoc();
    drawPrintedPage(printer_, samples, range);
    printer_.endDoc();
}
