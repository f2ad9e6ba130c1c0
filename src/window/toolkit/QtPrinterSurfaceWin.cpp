#include "window/toolkit/QtPrinterSurface.h"

#include <QPrinter>
#include <QPrinterInfo>

namespace {

// Qt's printer on Windows, where CUPS is not the print system.
class PrinterDocument final : public QtPrinterSurface::Document {
public:
    explicit PrinterDocument(const QString& name) : name_(existing(name)), printer_(QPrinter::HighResolution)
    {
        printer_.setPrinterName(name);
        printer_.setDocName(QStringLiteral("Q390"));
    }
    QPagedPaintDevice& device() override { return printer_; }
    QString refusal() const override { return QStringLiteral("打印机 %1 无法开始打印").arg(name_); }
    void finish() override {}

private:
    // A printer that has gone since it was named must not become another one, or a file.
    static const QString& existing(const QString& name)
    {
        if (QPrinterInfo::printerInfo(name).isNull())
            throw PrintError(QStringLiteral("找不到打印机 %1").arg(name));
        return name;
    }

    QString name_;
    QPrinter printer_;
};

} // namespace

QString QtPrinterSurface::systemDefaultPrinter()
{
    return QPrinterInfo::defaultPrinterName();
}

std::unique_ptr<QtPrinterSurface::Document> QtPrinterSurface::printerDocument(const QString& name)
{
    return std::make_unique<PrinterDocument>(name);
}
