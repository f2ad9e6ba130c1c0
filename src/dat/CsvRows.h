#pragma once

#include "dat/Sweeps.h"

#include <QByteArray>

namespace DatTool {

// The records as CSV, a row each, numbers in the C locale: index,stored,code,volts, and where
// the recording's index tells them time_s (the sample's time from the sweep's start, nine
// decimals), channel and start (the sweep's, the same on every row).
QByteArray csvRows(const DatSweep& sweep);

} // namespace DatTool
