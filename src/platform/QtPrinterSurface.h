#pragma once

#include "platform/Clock.h"
#include "platform/PrinterSurface.h"
#include "platform/WindowSystem.h"

#include <QPainter>
#include <QPrinter>

#include <memory>

// The machine's default printer, one unit one twip on paper from the top-left of the
// printable area, vector lines. With no printer the page goes to a PDF in the current
// directory named like a data file, and a box says so.
class QtPrinterSurface final : public PrinterSurface {
public:
    QtPrinterSurface(MessageBoxes& boxes, const Clock& clock);
    ~QtPrinterSurface() override;

    void drawLine(float x1, float y1, float x2, float y2, std::optional<QRgb> colour = std::nullopt) override;
    void endDoc() override;

private:
    void beginDoc();
    void dropDoc();

    MessageBoxes& boxes_;
    const Clock& clock_;
    std::unique_ptr<QPrinter> printer_;
    QPainter painter_;
    QString pdfName_;     // the PDF's final name, when printing to a file
    QString pdfPartName_; // where it is written until it is complete
};
