#pragma once

#include "dat/Request.h"
#include "dat/Sweeps.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace DatTool {

// The window's plot of one sweep, or of several overlaid, as a PNG picture or a PDF page:
// labelled (title, volts, time, a legend for several) unless the request asks for it bare.
// Throws Stop for sweeps that cannot share one plot (taken in different ranges).
QByteArray plotPng(const std::vector<DatSweep>& sweeps, const Request& request);
QByteArray plotPdf(const std::vector<DatSweep>& sweeps, const Request& request, const QString& output);

} // namespace DatTool
