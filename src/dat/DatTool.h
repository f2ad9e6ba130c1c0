#pragma once

#include "dat/Stop.h"

#include <QStringList>

#include <cstdio>

// q390-dat: data files as a summary, CSV rows, a labelled plot (or the window's picture), a
// page (or the printed page), or a session for sigrok's tools.
//
//     q390-dat info FILE... [--range auto|unipolar|bipolar] [-q]
//     q390-dat csv  FILE... [--range ...] [-q] [-o OUT.csv | -o DIR | -o -]
//     q390-dat png  FILE... [--range ...] [-q] -o OUT.png|DIR|- [--scale N] [--bare] [--overlay]
//     q390-dat pdf  FILE... [--range ...] [-q] -o OUT.pdf|DIR|- [--bare] [--overlay]
//     q390-dat sr   FILE... [--range ...] [-q] -o OUT.sr|-
//
// Messages go to err, one line each, in English; results to out or to the named output, each
// once its data files have been read whole: a file is written whole or not at all, an existing
// FIFO or device is written into as a stream, and no data file being read is an output.
// Several data files take a folder for their outputs, one each, unless they make one output
// together (sr, --overlay). The result is the exit status: 0, 1 when a file could not be read
// or written (the others are still done where each has its own output), 2 for a command line
// that makes no sense.
namespace DatTool {

int run(const QStringList& arguments, std::FILE* out, std::FILE* err);

// The program as main runs it: run() on standard output and error, within a GUI application on
// Qt's `platform` (none: the system's own), through which Qt reaches the system's fonts for the
// labels of plots and pages. No window is ever shown. The tool's messages are its own lines;
// Qt's notes on its set-up (no XDG_RUNTIME_DIR, say) are not for the user, its errors are.
int runProgram(const QStringList& arguments, const char* platform);

} // namespace DatTool
