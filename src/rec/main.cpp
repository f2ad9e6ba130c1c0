#include "devices/SystemSerialDevice.h"
#include "rec/RecTool.h"
#include "rec/StandardStreams.h"
#include "rec/StopSignals.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    const bool outputClosed = openClosedStandardStreams();
    // The serial port's notifiers want an application object; nothing runs its event loop.
    QCoreApplication application(argc, argv);
    const std::optional<QStringList> arguments = programArguments(argc, argv);
    if (!arguments)
        return RecTool::Failed;
    SystemSerialDevice serial;
    const SystemClock clock;
    const RecTool::Outcome outcome = RecTool::run(*arguments, outputClosed ? nullptr : stdout, stderr, {serial, clock});
    if (outcome.signal)
        StopSignals::endBy(outcome.signal);
    return outcome.status;
}
