#pragma once

#include "core/system/Clock.h"
#include "window/toolkit/PrinterSurface.h"
#include "window/toolkit/WindowSystem.h"

// Where the page goes on a machine with no printer: a PDF in the current directory named like
// the data file of that minute with ".pdf". A printout never replaces a file: when the name is
// taken, the first free one of "-2", "-3", ... before ".pdf" is used. A box gives its full path.
namespace PrintToFile {

QString freeName(const QDateTime& now);
PdfFallback fallback(MessageBoxes& boxes, const Clock& clock);

} // namespace PrintToFile
