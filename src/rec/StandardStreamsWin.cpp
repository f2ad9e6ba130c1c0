#include "rec/StandardStreams.h"

#include <QCoreApplication>

#include <cstdio>

#include <fcntl.h>
#include <io.h>

bool openClosedStandardStreams()
{
    bool outputClosed = false;
    // A program started without standard handles has streams on no file: they write into NUL,
    // so that a message has somewhere to go and no later file takes their place.
    const struct {
        std::FILE* stream;
        const char* mode;
    } streams[] = {{stdin, "r"}, {stdout, "w"}, {stderr, "w"}};
    for (const auto& standard : streams)
        if (_fileno(standard.stream) < 0 || _get_osfhandle(_fileno(standard.stream)) < 0) {
            std::freopen("NUL", standard.mode, standard.stream);
            outputClosed = outputClosed || standard.stream == stdout;
        }
    return outputClosed;
}

std::optional<QStringList> programArguments(int, char**)
{
    _setmode(_fileno(stdout), _O_BINARY);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return arguments;
}
