#pragma once

#include "dat/Sweeps.h"

#include <QByteArray>

namespace DatTool {

// A sweep summed up, a line each: the file, its range and records, what the recording's index
// says of it (sweep number, channel, start, duration) where it says it, then the volts.
QByteArray infoText(const DatSweep& sweep);

} // namespace DatTool
