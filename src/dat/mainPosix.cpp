#include "core/system/FileNames.h"
#include "dat/DatTool.h"

#include <csignal>
#include <cstdio>

int main(int argc, char** argv)
{
    // Past a file-size limit a write fails with its reason instead of ending the program. A
    // reader that stops early (q390-dat csv … | head) still ends it quietly by SIGPIPE, as it
    // ends the other tools of a pipeline.
    std::signal(SIGXFSZ, SIG_IGN);
    const std::optional<QStringList> arguments = argumentsAsText("q390-dat", argc, argv);
    // Qt's off-screen platform serves without a display, whatever the environment names.
    return arguments ? DatTool::runProgram(*arguments, "offscreen") : DatTool::Failed;
}
