#include "platform/QtPrinterSurface.h"

#include "storage/SampleFile.h"

#include <QDir>
#include <QFile>
#include <QPrinterInfo>

QtPrinterSurface::QtPrinterSurface(MessageBoxes& boxes, const Clock& clock) : boxes_(boxes), clock_(clock) {}

QtPrinterSurface::~QtPrinterSurface()
{
    dropDoc();
}

void QtPrinterSurface::beginDoc()
{
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    if (info.isNull()) {
        QString name = SampleFile::fileName(clock_.now());
        name.replace(name.size() - 4, 4, QStringLiteral(".pdf"));
        pdfName_ = QDir::current().absoluteFilePath(name);
        pdfPartName_ = pdfName_ + QStringLiteral(".part");
        printer_->setOutputFormat(QPrinter::PdfFormat);
        printer_->setOutputFileName(pdfPartName_);
    } else {
        printer_->setPrinterName(info.printerName());
    }
    if (!painter_.begin(printer_.get())) {
        dropDoc();
        throw PrintError(info.isNull() ? QStringLiteral("无法写入文件 %1").arg(QDir::toNativeSeparators(pdfPartName_))
                                       : QStringLiteral("打印机 %1 无法开始打印").arg(info.printerName()));
    }
    const qreal scale = printer_->resolution() / 1440.0;
    painter_.scale(scale, scale);
    painter_.setPen(QPen(Qt::black, 0));
}

void QtPrinterSurface::drawLine(float x1, float y1, float x2, float y2, std::optional<QRgb> colour)
{
    if (!painter_.isActive())
        beginDoc();
    const QColor wanted = colour ? QColor::fromRgb(*colour) : QColor(Qt::black);
    if (painter_.pen().color() != wanted)
        painter_.setPen(QPen(wanted, 0));
    painter_.drawLine(QLineF(x1, y1, x2, y2));
}

void QtPrinterSurface::endDoc()
{
    if (!painter_.isActive())
        return;
    const bool finished = painter_.end();
    const QString pdfName = pdfName_, part = pdfPartName_;
    printer_.reset();
    pdfName_.clear();
    pdfPartName_.clear();
    if (!finished) {
        if (!part.isEmpty())
            QFile::remove(part);
        throw PrintError(QStringLiteral("打印机未能完成文档"));
    }
    if (part.isEmpty())
        return;
    QFile::remove(pdfName);
    if (!QFile::rename(part, pdfName)) {
        QFile::remove(part);
        throw PrintError(QStringLiteral("无法写入文件 %1").arg(QDir::toNativeSeparators(pdfName)));
    }
    boxes_.show(QStringLiteral("未找到打印机，已打印到文件") + QFileInfo(pdfName).fileName(), QStringLiteral("打印"), MsgStyle::Ok);
}

void QtPrinterSurface::dropDoc()
{
    if (painter_.isActive())
        painter_.end();
    printer_.reset();
    if (!pdfPartName_.isEmpty())
        QFile::remove(pdfPartName_);
    pdfName_.clear();
    pdfPartName_.clear();
}
