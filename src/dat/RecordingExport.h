#pragma once

#include "dat/Sweeps.h"

#include <QString>

#include <vector>

namespace DatTool {

// The sweeps of a recording, as it describes them and with their records exactly, into one new
// HDF5 recording. It is written under a temporary name beside `output` and takes the name only
// once closed whole; a name that is taken is refused, never replaced. Throws Stop.
void writeRecording(const std::vector<DatSweep>& sweeps, const QString& output);

} // namespace DatTool
