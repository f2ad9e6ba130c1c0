#pragma once

#include <QStringList>

#include <cstdio>

// q390-dat: data files as CSV, a summary, the window's picture or the printed page.
//
//     q390-dat info FILE.dat... [--range auto|unipolar|bipolar] [-q]
//     q390-dat csv  FILE.dat... [--range ...] [-q] [-o OUT.csv | -o DIR | -o -]
//     q390-dat png  FILE.dat... [--range ...] [-q] -o OUT.png|DIR|- [--scale N]
//     q390-dat pdf  FILE.dat... [--range ...] [-q] -o OUT.pdf|DIR|-
//
// Messages go to err, one line each, in English; results to out or to the named output, each
// once its data file has been read whole: a file is written whole or not at all, an existing
// FIFO or device is written into as a stream, and the data file itself is refused. Several data
// files take a folder for their outputs, one each. The result is the exit status: 0, 1 when a
// file could not be read or written (the others are still done), 2 for a command line that
// makes no sense.
namespace DatTool {

constexpr int Failed = 1;
constexpr int Usage = 2;

int run(const QStringList& arguments, std::FILE* out, std::FILE* err);

} // namespace DatTool
