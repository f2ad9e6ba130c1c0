#include "platform/QtPrinterSurface.h"

#include "platform/WholeFile.h"

#include <QBuffer>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>

namespace {

// One screen pixel, so the page shows the plot as the window does, at the same size.
constexpr qreal PenWidth = 15;

} // namespace

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

// The page is made in memory and written beside its name, which it takes only once complete,
// so a failure anywhere leaves neither a partial file nor a changed older one. The writer
// stops quietly at a short write, so it never writes to the file itself.
class PdfDocument final : public QtPrinterSurface::Document {
public:
    explicit PdfDocument(const QString& name) : file_(name), writer_(&page_)
    {
        if (!file_.open())
            throw PrintError(cannotWrite());
        page_.open(QIODevice::WriteOnly);
        writer_.setTitle(name);
        writer_.setCreator(QStringLiteral("Q390"));
    }
    QPagedPaintDevice& device() override { return writer_; }
    QString refusal() const override { return cannotWrite(); }
    void finish() override
    {
        if (!file_.commit(page_.data()))
            throw PrintError(cannotWrite());
    }
    QString fileName() const override { return file_.fileName(); }

private:
    QString cannotWrite() const
    {
        return QStringLiteral("无法写入文件 %1（%2）").arg(file_.fileName(), file_.reason());
    }

    WholeFile file_;
    QBuffer page_;
    QPdfWriter writer_;
};

} // namespace

QString QtPrinterSurface::systemDefaultPrinter()
{
    return QPrinterInfo::defaultPrinterName();
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
    QPagedPaintDevice& device = doc_->device();
    if (!painter_.begin(&device)) {
        const QString reason = doc_->refusal();
        doc_.reset();
        throw PrintError(reason);
    }
    // PlotSpace coordinates are twips on paper.
    painter_.scale(device.logicalDpiX() / 1440.0, device.logicalDpiY() / 1440.0);
    penColour_ = qRgb(0, 0, 0);
    painter_.setPen(QPen(QColor::fromRgb(penColour_), PenWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
}

void QtPrinterSurface::drawLine(float x1, float y1, float x2, float y2, std::optional<QRgb> colour)
{
    if (!painter_.isActive())
        beginDoc();
    if (const QRgb wanted = colour.value_or(qRgb(0, 0, 0)); wanted != penColour_) {
        penColour_ = wanted;
        QPen pen = painter_.pen();
        pen.setColor(QColor::fromRgb(wanted));
        painter_.setPen(pen);
    }
    painter_.drawLine(QLineF(x1, y1, x2, y2));
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
