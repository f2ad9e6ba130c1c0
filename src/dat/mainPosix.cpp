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
    QStringList arguments;
    for (int n = 1; n < argc; ++n) {
        const std::optional<QString> argument = nameAsText(argv[n]);
        if (!argument) {
            std::fprintf(stderr, "q390-dat: %s: not a valid name in this system's encoding\n", argv[n]);
            return DatTool::Failed;
        }
        arguments << *argument;
    }
    return DatTool::run(arguments, stdout, stderr);
}
