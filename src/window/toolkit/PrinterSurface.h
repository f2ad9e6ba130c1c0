#pragma once

#include "core/system/Failure.h"

#include <QRgb>
#include <QString>

#include <functional>
#include <optional>

// The printer failed (none reachable, the page could not be started, the file not written).
// A surface that throws has already dropped the document it had begun.
class PrintError : public Failure {
public:
    using Failure::Failure;
};

// The printer as the print command sees it: lines in twips on the current page, and the end
// of a document. The first line after an end begins a new document; an end with nothing
// drawn since the last one prints nothing. An operation that waits on the print system lets
// the window handle its events meanwhile.
class PrinterSurface {
public:
    virtual ~PrinterSurface() = default;
    // Without a colour the line is drawn in the printer's default colour, black.
    virtual void drawLine(float x1, float y1, float x2, float y2, std::optional<QRgb> colour = std::nullopt) = 0;
    virtual void endDoc() = 0;
};

// Where a page goes on a machine with no printer: the file a page is written to, and what
// follows once it is.
struct PdfFallback {
    std::function<QString()> fileName;
    std::function<void(const QString& path)> written;
};
