#include "window/toolkit/QtPrinterSurface.h"

#include "core/drawing/PdfPage.h"
#include "core/system/FailureWords.h"
#include "core/system/WholeFile.h"

namespace {

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

QtPrinterSurface::QtPrinterSurface(PdfFallback fallback, DefaultPrinter defaultPrinter)
    : fallback_(std::move(fallback)), defaultPrinter_(std::move(defaultPrinter))
{
}

QtPrinterSurface::~QtPrinterSurface() = default;

void QtPrinterSurface::beginDoc()
{
    if (const QString printer = defaultPrinter_(); !printer.isEmpty()) {
        doc_ = printerDocument(printer);
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
