#include "dat/DatTool.h"

#include "core/samples/SampleFile.h"
#include "dat/CsvRows.h"
#include "dat/InfoText.h"
#include "dat/Output.h"
#include "dat/PlotExport.h"
#include "dat/RecordingExport.h"
#include "dat/Request.h"
#include "dat/Session.h"
#include "dat/Stop.h"
#include "dat/Sweeps.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QHash>

#include <utility>
#include <vector>

namespace DatTool {
namespace {

QByteArray result(const Request& request, const std::vector<DatSweep>& sweeps, const QString& output)
{
    if (request.command == u"info")
        return infoText(sweeps.front());
    if (request.command == u"csv")
        return csvRows(sweeps.front());
    if (request.command == u"png")
        return plotPng(sweeps, request);
    if (request.command == u"pdf")
        return plotPdf(sweeps, request, output);
    if (request.command == u"dat")
        return SampleFile::encode(sweeps.front().records());
    return sigrokSession(sweeps, output);
}

// Every input's sweeps, in order, and the inputs that cannot be read with why.
struct Inputs {
    std::vector<DatSweep> sweeps;
    std::vector<std::pair<QString, Stop>> unread;

    // Names the inputs that cannot be read; the status they give.
    int sayUnread(std::FILE* err) const
    {
        for (const auto& [input, stop] : unread)
            say(err, stop.message);
        return unread.empty() ? 0 : unread.back().second.status;
    }
};

Inputs readAll(const Request& request, SweepReader& reader)
{
    Inputs read;
    for (const QString& input : request.inputs) {
        try {
            for (DatSweep& sweep : reader.read(input))
                read.sweeps.push_back(std::move(sweep));
        } catch (const Stop& stop) {
            read.unread.emplace_back(input, stop);
        }
    }
    return read;
}

// Two outputs of one name would leave only the last: refused as the command line is, before
// anything else is said. An input that could not be read counts under its file's name.
void checkNames(const Request& request, const Inputs& read)
{
    QHash<QString, QString> made;
    const auto take = [&](const QString& name, const QString& source) {
        const QString output = request.outputFor(name);
        QString& other = made[sameFileKey(output)];
        if (!other.isEmpty())
            throw usage(QStringLiteral("'%1' and '%2' would both be written to %3").arg(other, source, output));
        other = source;
    };
    for (const DatSweep& sweep : read.sweeps)
        take(sweep.name, sweep.source());
    for (const auto& [input, stop] : read.unread)
        take(QFileInfo(input).completeBaseName(), input);
}

// Every sweep into one output, or nothing written when an input cannot be read.
int combine(const Request& request, std::FILE* out, std::FILE* err)
{
    SweepReader reader(request, err);
    Inputs read = readAll(request, reader);
    if (const int status = read.sayUnread(err))
        return status;
    std::vector<DatSweep>& sweeps = read.sweeps;
    if (sweeps.empty())
        throw failure(request.inputs.join(QStringLiteral(", ")), QStringLiteral("no sweep to write"));
    const QString target = request.outputFor({});
    if (request.command == u"h5") {
        writeRecording(sweeps, target);
        return 0;
    }
    Output output(target, request.inputs, out);
    for (DatSweep& sweep : sweeps)
        reader.chooseRange(sweep);
    output.write(result(request, sweeps, target));
    return 0;
}

// Each sweep in turn, each output whole; a sweep that fails is named and the others still
// done, the status then 1.
int eachApart(const Request& request, std::FILE* out, std::FILE* err)
{
    SweepReader reader(request, err);
    Inputs read = readAll(request, reader);
    if (request.command != u"info" && !request.intoFolder && read.sweeps.size() > 1)
        throw usage(QStringLiteral("%1 of several sweeps needs -o DIR, a folder for one output each").arg(request.command));
    if (request.intoFolder)
        checkNames(request, read);
    int status = read.sayUnread(err);
    // Said once rather than for every sweep.
    if (request.intoFolder && !read.sweeps.empty())
        makeOutputFolder(request.output);
    bool written = false;
    for (DatSweep& sweep : read.sweeps) {
        try {
            const QString target = request.outputFor(sweep.name);
            Output output(target, {sweep.input}, out);
            reader.chooseRange(sweep);
            QByteArray bytes = result(request, {sweep}, target);
            // Blocks of info apart by an empty line.
            if (written && request.command == u"info")
                bytes.prepend('\n');
            output.write(bytes);
            written = true;
        } catch (const Stop& stop) {
            say(err, stop.message);
            status = stop.status;
        }
    }
    return status;
}

} // namespace

int run(const QStringList& arguments, std::FILE* out, std::FILE* err)
{
    try {
        const Request request = parseRequest(arguments);
        switch (request.task) {
        case Request::Help:
            std::fputs(qUtf8Printable(helpText()), out);
            return 0;
        case Request::Version:
            std::fprintf(out, "q390-dat %s\n", Q390_VERSION);
            return 0;
        case Request::Convert:
            break;
        }
        return request.combined() ? combine(request, out, err) : eachApart(request, out, err);
    } catch (const Stop& stop) {
        say(err, stop.message);
        return stop.status;
    }
}

int runProgram(const QStringList& arguments, const char* platform)
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "q390-dat: %s\n", qUtf8Printable(text));
    });
    QByteArray name = "q390-dat", option = "-platform", chosen = platform ? platform : "";
    char* argv[] = {name.data(), option.data(), chosen.data(), nullptr};
    int argc = platform ? 3 : 1;
    const QGuiApplication application(argc, argv);
    return run(arguments, stdout, stderr);
}

} // namespace DatTool
