#include "dat/DatTool.h"

#include "dat/CsvRows.h"
#include "dat/InfoText.h"
#include "dat/Output.h"
#include "dat/PlotExport.h"
#include "dat/Request.h"
#include "dat/Session.h"
#include "dat/Stop.h"
#include "dat/Sweeps.h"

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
    return sigrokSession(sweeps, output);
}

// Every data file into one output, or nothing written when one cannot be read.
int combine(const Request& request, std::FILE* out, std::FILE* err)
{
    SweepReader reader(request, err);
    std::vector<DatSweep> sweeps;
    int status = 0;
    for (const QString& input : request.inputs) {
        try {
            sweeps.push_back(reader.read(input));
        } catch (const Stop& stop) {
            say(err, stop.message);
            status = stop.status;
        }
    }
    if (status != 0)
        return status;
    const QString target = request.outputFor({});
    Output output(target, request.inputs, out);
    for (DatSweep& sweep : sweeps)
        reader.chooseRange(sweep);
    output.write(result(request, sweeps, target));
    return 0;
}

// Each data file in turn, each output whole; a file that fails is named and the others still
// done, the status then 1.
int eachApart(const Request& request, std::FILE* out, std::FILE* err)
{
    // Said once rather than for every data file.
    if (request.intoFolder)
        makeOutputFolder(request.output);
    SweepReader reader(request, err);
    int status = 0;
    bool written = false;
    for (const QString& input : request.inputs) {
        try {
            std::vector<DatSweep> sweep{reader.read(input)};
            const QString target = request.outputFor(input);
            Output output(target, {input}, out);
            reader.chooseRange(sweep.front());
            QByteArray bytes = result(request, sweep, target);
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

} // namespace DatTool
