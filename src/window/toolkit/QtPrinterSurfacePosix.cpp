#include "window/toolkit/QtPrinterSurface.h"

#include "window/toolkit/AwayFromWindow.h"
#include "window/toolkit/CupsPrinter.h"

namespace {

// CUPS through libcups, which gives its answer to the job; Qt's printer does not pass it on.
// The page is drawn in memory on the window's thread; the spooler is waited for away from it.
class PrinterDocument final : public QtPrinterSurface::Document {
public:
    explicit PrinterDocument(const QString& name)
        : name_(name),
          printer_(awayFromWindow([&name] { return std::make_unique<CupsPrinter>(name); })),
          page_(QStringLiteral("Q390"))
    {
        page_.device().setPageLayout(printer_->paper());
    }
    QPagedPaintDevice& device() override { return page_.device(); }
    QString refusal() const override { return QStringLiteral("打印机 %1 无法开始打印").arg(name_); }
    void finish() override
    {
        awayFromWindow([this] {
            printer_->submit(page_.bytes());
            return true;
        });
    }

private:
    QString name_;
    std::unique_ptr<CupsPrinter> printer_;
    PdfPage page_;
};

} // namespace

QString QtPrinterSurface::systemDefaultPrinter()
{
    return awayFromWindow(CupsPrinter::defaultDestination);
}

std::unique_ptr<QtPrinterSurface::Document> QtPrinterSurface::printerDocument(const QString& name)
{
    return std::make_unique<PrinterDocument>(name);
}
