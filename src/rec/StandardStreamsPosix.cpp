#include "rec/StandardStreams.h"

#include "core/system/FileNames.h"

#include <cerrno>
#include <clocale>
#include <fcntl.h>

bool openClosedStandardStreams()
{
    bool outputClosed = false;
    // In order, so that each open takes the lowest free number: the one found closed.
    for (int fd = 0; fd <= 2; ++fd)
        if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
            ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
            outputClosed = outputClosed || fd == 1;
        }
    return outputClosed;
}

std::optional<QStringList> programArguments(int argc, char** argv)
{
    // It takes the user's locale otherwise.
    std::setlocale(LC_MESSAGES, "C");
    return argumentsAsText("q390-rec", argc, argv);
}
