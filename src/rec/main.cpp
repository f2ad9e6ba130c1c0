#include "core/system/FileNames.h"
#include "devices/SystemSerialDevice.h"
#include "rec/RecTool.h"
#include "rec/StandardStreams.h"
#include "rec/StopSignals.h"

#include <QCoreApplication>

#include <clocale>
#include <cstdio>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#endif

int main(int argc, char** argv)
{
    const bool outputClosed = openClosedStandardStreams();
    // The serial port's notifiers want an application object; nothing runs its event loop.
    QCoreApplication application(argc, argv);
#ifdef Q_OS_WIN
    // The rows on standard output are the same bytes as on every other system.
    _setmode(_fileno(stdout), _O_BINARY);
    // As the system gives them: Windows' wide characters there, never its ANSI code page.
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
#else
    // It takes the user's locale; the system's texts in messages stay English, like the tool's own.
    std::setlocale(LC_MESSAGES, "C");
    QStringList arguments;
    for (int n = 1; n < argc; ++n) {
        const std::optional<QString> argument = nameAsText(argv[n]);
        if (!argument) {
            std::fprintf(stderr, "q390-rec: %s: not a valid name in this system's encoding\n", argv[n]);
            return RecTool::Failed;
        }
        arguments << *argument;
    }
#endif
    SystemSerialDevice serial;
    const SystemClock clock;
    const RecTool::Outcome outcome = RecTool::run(arguments, outputClosed ? nullptr : stdout, stderr, {serial, clock});
    if (outcome.signal)
        StopSignals::endBy(outcome.signal);
    return outcome.status;
}
