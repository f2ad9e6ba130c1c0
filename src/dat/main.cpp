#include "dat/DatTool.h"

#include <csignal>

int main(int argc, char** argv)
{
    // Past a file-size limit a write fails with its reason instead of ending the program. A
    // reader that stops early (q390-dat csv … | head) still ends it quietly by SIGPIPE, as it
    // ends the other tools of a pipeline.
    std::signal(SIGXFSZ, SIG_IGN);
    QStringList arguments;
    for (int n = 1; n < argc; ++n)
        arguments << QString::fromLocal8Bit(argv[n]);
    return DatTool::run(arguments, stdout, stderr);
}
