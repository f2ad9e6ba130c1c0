#include "core/system/FileNames.h"
#include "devices/QtSerialDevice.h"
#include "rec/RecTool.h"
#include "rec/StandardStreams.h"
#include "rec/StopSignals.h"

#include <QCoreApplication>

#include <clocale>
#include <cstdio>

int main(int argc, char** argv)
{
    openClosedStandardStreams();
    // The serial port's notifiers want an application object; nothing runs its event loop.
    QCoreApplication application(argc, argv);
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
    QtSerialDevice serial;
    const SystemClock clock;
    const RecTool::Outcome outcome = RecTool::run(arguments, stdout, stderr, {serial, clock});
    if (outcome.signal)
        StopSignals::endBy(outcome.signal);
    return outcome.status;
}
