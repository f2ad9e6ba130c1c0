#include "dat/DatTool.h"

#include <cstdio>

#include <fcntl.h>
#include <io.h>

// Windows hands the arguments over in its wide characters (file names in any script, whatever
// the ANSI code page). Standard output is binary, so that the rows are the same bytes as on
// every other system.
int wmain(int argc, wchar_t** argv)
{
    _setmode(_fileno(stdout), _O_BINARY);
    QStringList arguments;
    for (int n = 1; n < argc; ++n)
        arguments << QString::fromWCharArray(argv[n]);
    return DatTool::runProgram(arguments, nullptr);
}
