#pragma once

#include "dat/Sweeps.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace DatTool {

// The sweeps as one sigrok session (version 2: a zip of "version", "metadata" and one file of
// little-endian 32-bit floats for each analog channel), which sigrok-cli and PulseView open.
//
// One analog channel for each Q390 channel among the sweeps, "CH0" to "CH7" in their order
// ("CH?" for sweeps whose channel no index tells), in volts. The sweeps follow one another in
// the order given, 8192 samples each, with the time between them left out; while a sweep of
// one channel runs, the other channels hold NaN, since nothing measured them then. The sample
// rate is the sweeps' samples over their summed durations, where the index gives them, in
// whole hertz (sigrok's unit; at least 1); with no duration known there is none.
//
// The session is made in memory from the sweeps' records, a sweep's floats at a time.
// Throws Stop naming `output` when the archive cannot be made.
QByteArray sigrokSession(const std::vector<DatSweep>& sweeps, const QString& output);

} // namespace DatTool
