#pragma once

#include "core/drawing/PdfPage.h"
#include "window/toolkit/PrinterSurface.h"

#include <functional>
#include <memory>

// The machine's default printer, one unit one twip on paper from the top-left of the
// printable area, vector lines: through libcups where CUPS is the print system, so that a
// job it refuses is a failure; through Qt's printer on Windows. With no printer the page goes
// to a PDF file instead. While CUPS is waited for, the window goes on handling its events.
class QtPrinterSurface final : public PrinterSurface {
public:
    // The name of the printer to print on, empty when the machine has none (with CUPS: when it
    // names no default destination that it has, as on a machine where no scheduler runs; a
    // scheduler that does not answer is a PrintError).
    using DefaultPrinter = std::function<QString()>;
    static QString systemDefaultPrinter();
    explicit QtPrinterSurface(PdfFallback fallback, DefaultPrinter defaultPrinter = systemDefaultPrinter);
    ~QtPrinterSurface() override;

    void drawLine(float x1, float y1, float x2, float y2, std::optional<QRgb> colour = std::nullopt) override;
    void endDoc() override;

    // The printer's or the PDF file's side of one document.
    class Document {
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

private:
    // The printer's side, each system's own: CUPS (QtPrinterSurfacePosix.cpp) or Qt's printer
    // (QtPrinterSurfaceWin.cpp).
    static std::unique_ptr<Document> printerDocument(const QString& name);
    void beginDoc();

    PdfFallback fallback_;
    DefaultPrinter defaultPrinter_;
    std::unique_ptr<Document> doc_;
    // Declared after the document it paints on, so that it ends before the document goes.
    PagePainter painter_;
};
