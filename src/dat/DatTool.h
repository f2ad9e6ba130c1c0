#pragma once

#include <QStringList>

#include <cstdio>

// q390-dat: a data file as CSV, a summary, the window's picture or the printed page.
//
//     q390-dat info FILE.dat [--range auto|unipolar|bipolar]
//     q390-dat csv  FILE.dat [--range ...] [-o OUT.csv]
//     q390-dat png  FILE.dat [--range ...] -o OUT.png [--scale N]
//     q390-dat pdf  FILE.dat [--range ...] -o OUT.pdf
//
// Messages go to err, one line each, in English; results to out or to the named output, once
// the data file has been read whole: a file is written whole or not at all, an existing FIFO or
// device is written into as a stream, and the data file itself is refused. The result is the
// exit status: 0, 1 for a file that cannot be read or written, 2 for a command line that makes
// no sense.
namespace DatTool {

constexpr int Failed = 1;
constexpr int Usage = 2;

int run(const QStringList& arguments, std::FILE* out, std::FILE* err);

} // namespace DatTool
