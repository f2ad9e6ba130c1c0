#include "window/toolkit/QtPrinterSurface.h"

#include "core/drawing/PdfPage.h"
#include "core/system/FailureWords.h"
#include "core/system/WholeFile.h"

#ifdef Q_OS_WIN
#include <QPrinter>
#include <QPrinterInfo>
#else
#include "window/toolkit/AwayFromWindow.h"
#include "window/toolkit/CupsPrinter.h"
#endif

class QtPrinterSurface::Document {
public:
    virtual ~Document() = default;
    virtual QPagedPaintDevice& device() = 0;
    // Why a painter could not start on the device.
    virtual QString refusal() const = 0;
    // Hands the finished page over, once the painter has ended. Throws PrintError.
    virtual void finish() = 0;
    // The file the page went to, empty when it went to a printer.
    virtual QString fileName() const { return {}; }
};

namespace {

#ifdef Q_OS_WIN
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
#else
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
#endif

// The page is made in memory and written beside its name, which it takes only once complete,
// so a failure anywhere leaves neither a partial file nor a changed older one. The writer
// stops quietly at a short write, so it never writes to the file itself.
class PdfDocument final : public QtPrinterSurface::Document {
public:
    explicit PdfDocument(const QString& name) : file_(name, WholeFile::NeverReplace), page_(name)
    {
        if (!file_.open())
            throw PrintError(cannotWrite());
    }
    QPagedPaintDevice& device() override { return page_.device(); }
    QString refusal() const override { return cannotWrite(); }
    void finish() override
    {
        if (!file_.commit(page_.bytes()))
            throw PrintError(cannotWrite());
    }
    QString fileName() const override { return file_.fileName(); }

private:
    QString cannotWrite() const
    {
        return QStringLiteral("无法写入文件 %1（%2）").arg(file_.fileName(), chineseReason(file_.errorNumber()));
    }

    WholeFile file_;
    PdfPage page_;
};

} // namespace

QString QtPrinterSurface::systemDefaultPrinter()
{
#ifdef Q_OS_WIN
    return QPrinterInfo::defaultPrinterName();
#else
    return awayFromWindow(CupsPrinter::defaultDestination);
#endif
}

QtPrinterSurface::QtPrinterSurface(PdfFallback fallback, DefaultPrinter defaultPrinter)
    : fallback_(std::move(fallback)), defaultPrinter_(std::move(defaultPrinter))
{
}

QtPrinterSurface::~QtPrinterSurface() = default;

void QtPrinterSurface::beginDoc()
{
    if (const QString printer = defaultPrinter_(); !printer.isEmpty()) {
        doc_ = std::make_unique<PrinterDocument>(printer);
    } else {
        doc_ = std::make_unique<PdfDocument>(fallback_.fileName());
    }
    if (!painter_.begin(doc_->device())) {
        const QString reason = doc_->refusal();
        doc_.reset();
        throw PrintError(reason);
    }
}

void QtPrinterSurface::drawLine(float x1, float y1, float x2, float y2, std::optional<QRgb> colour)
{
    if (!painter_.isActive())
        beginDoc();
    painter_.drawLine(x1, y1, x2, y2, colour);
}

void QtPrinterSurface::endDoc()
{
    if (!painter_.isActive())
        return;
    const bool ended = painter_.end();
    const std::unique_ptr<Document> doc = std::move(doc_);
    if (!ended)
        throw PrintError(QStringLiteral("打印机未能完成文档"));
    doc->finish();
    if (const QString file = doc->fileName(); !file.isEmpty())
        fallback_.written(file);
}
