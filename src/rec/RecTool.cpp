#include "rec/RecTool.h"

#include "devices/FtdiTransport.h"
#include "devices/Unit.h"
#include "rec/Progress.h"
#include "rec/RecOptions.h"
#include "rec/Recorder.h"
#include "rec/SampleStream.h"
#include "rec/StopSignals.h"
#include "rec/SweepFile.h"
#include "rec/SweepFolder.h"

#include <cerrno>
#include <csignal>
#include <memory>
#include <unistd.h>

namespace RecTool {
namespace {

QString signalName(int signal)
{
    switch (signal) {
    case SIGINT: return QStringLiteral("SIGINT");
    case SIGTERM: return QStringLiteral("SIGTERM");
#ifdef SIGBREAK
    case SIGBREAK: return QStringLiteral("Ctrl-Break");
#endif
    default: return QStringLiteral("SIGHUP");
    }
}

// The port's failure, the port named once: the recorder's own failures name it already.
QString portFailure(const QString& port, const PortError& failure)
{
    return failure.kind() == FailureKind::Worded ? failure.detail() : port + QStringLiteral(": ") + englishReason(failure);
}

// How a sweep would reach the converter through a port, as the recorder names it:
// "ftdi-bitbang" where the device is an FTDI chip that can be driven in synchronous bit-bang
// mode, "modem-lines" otherwise, with the reason when it is an FTDI chip that cannot be.
QString linkFor(const PortEntry& port)
{
    const std::optional<QString> barrier = ftdiBarrier(port.device, port.description);
    if (!barrier)
        return QStringLiteral("modem-lines");
    return barrier->isEmpty() ? QStringLiteral("ftdi-bitbang") : QStringLiteral("modem-lines (an FTDI chip, but %1)").arg(*barrier);
}

// A line for each numbered port: number, device, description and the link a sweep takes there,
// apart by tabs; a line on err when there is none.
void listPorts(std::FILE* out, std::FILE* err, const PortMap::DeviceList& devices)
{
    const PortMap map(devices);
    bool any = false;
    for (const PortEntry& port : map.entries()) {
        if (port.device.isEmpty())
            continue;
        std::fprintf(out, "%s\t%s\t%s\t%s\n", qUtf8Printable(portName(port.number)), qUtf8Printable(port.device),
                     qUtf8Printable(port.description), qUtf8Printable(linkFor(port)));
        any = true;
    }
    if (!any)
        std::fputs("q390-rec: no serial ports (--port sim records from the simulated converter)\n", err);
}

void usageError(std::FILE* err, const UsageError& usage)
{
    std::fprintf(err, "q390-rec: %s (q390-rec --help shows the usage)\n", qUtf8Printable(usage.detail()));
}

} // namespace

Outcome run(const QStringList& arguments, std::FILE* out, std::FILE* err, Seams seams)
{
    RecOptions options;
    try {
        options = RecOptions::parse(arguments);
    } catch (const UsageError& usage) {
        usageError(err, usage);
        return {Usage};
    }
    if (!out && options.task != RecOptions::Task::Record) {
        std::fprintf(err, "q390-rec: standard output: %s\n", qUtf8Printable(englishReason(EBADF)));
        return {Failed};
    }
    switch (options.task) {
    case RecOptions::Task::Help:
        std::fputs(qUtf8Printable(RecOptions::help()), out);
        return {};
    case RecOptions::Task::Version:
        std::fprintf(out, "q390-rec %s\n", Q390_VERSION);
        return {};
    case RecOptions::Task::ListPorts:
        listPorts(out, err, seams.devices);
        return {};
    case RecOptions::Task::Record:
        break;
    }

    const QString folder = options.folder.isEmpty()
        ? QStringLiteral("q390-") + seams.clock.now().toString(QStringLiteral("yyyyMMdd-HHmmss")) + (options.oneFile ? ".h5" : "")
        : options.folder;
    const Progress::Mode mode = options.quiet ? Progress::Mode::Quiet
        : ::isatty(fileno(err))               ? Progress::Mode::Terminal
                                              : Progress::Mode::Lines;
    Progress progress(err, mode, options, options.toStdout ? QStringLiteral("standard output") : folder);
    const StopSignals stopSignals;
    Outcome outcome;
    QString ending;
    {
        PortMap ports(std::move(seams.devices));
        Unit unit({seams.serial, ports, std::move(seams.simulator)});
        try {
            std::unique_ptr<SweepOutput> output;
            if (options.toStdout)
                output = std::make_unique<SampleStream>(out, options.seconds, options.trigger.has_value());
            else if (options.oneFile)
                output = std::make_unique<SweepFile>(folder,
                                                     options.folder.isEmpty() ? SweepFile::NextFreeName
                                                         : options.append     ? SweepFile::Append
                                                                              : SweepFile::Fresh,
                                                     options.compress);
            else
                output = std::make_unique<SweepFolder>(folder, options.format,
                                                       options.folder.isEmpty() ? SweepFolder::NextFreeName
                                                           : options.append     ? SweepFolder::Append
                                                                                : SweepFolder::Fresh,
                                                       options.port);
            unit.open(options.port);
            output->begin();
            if (!output->mended().isEmpty())
                progress.note(output->mended());
            progress.started(unit.port().linkName(), output->name());
            Recorder recorder(options, {unit, *output, progress, seams.clock, seams.retry});
            recorder.run();
            unit.close();
            output->finish();
            progress.confirmed(output->confirmed(recorder.handed()));
        } catch (const UsageError& usage) {
            // A folder whose format the command line contradicts.
            usageError(err, usage);
            outcome.status = Usage;
            return outcome;
        } catch (const PortError& failure) {
            progress.error(portFailure(options.port, failure));
            outcome.status = Failed;
        } catch (const OutputError& failure) {
            // Rows the stop signal cut short, or that failed as the signal came (a reader ended
            // by the same Ctrl-C): the signal ends the process, below.
            const bool stopped = options.toStdout && StopSignals::caught();
            if (!stopped && options.toStdout && failure.errorNumber() == EPIPE) {
#ifdef SIGPIPE
                // The reader of the rows went away: the process ends as a writer to a closed pipe does.
                outcome.signal = SIGPIPE;
                ending = QStringLiteral("standard output was closed");
#else
                // No such signal on Windows: a closed pipe ends the writer with a failure.
                progress.error(QStringLiteral("standard output was closed"));
                outcome.status = Failed;
#endif
            } else if (!stopped) {
                progress.error(failure.detail());
                outcome.status = Failed;
            }
        }
    }
    if (!outcome.status && !outcome.signal && StopSignals::caught()) {
        outcome.signal = StopSignals::caught();
        ending = QStringLiteral("stopped by %1, the sweep under way dropped").arg(signalName(outcome.signal));
    }
    // A failure's reason is the last word.
    if (!outcome.status)
        progress.finished(ending);
    return outcome;
}

} // namespace RecTool
