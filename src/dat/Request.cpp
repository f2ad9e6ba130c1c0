#include "dat/Request.h"

#include "core/system/CommandLine.h"
#include "dat/Stop.h"

#include <QDir>
#include <QFileInfo>

namespace DatTool {
namespace {

constexpr int MaxScale = 16;

const char* const UsageText =
    "Usage: q390-dat info FILE... [--range RANGE] [-q]\n"
    "       q390-dat csv  FILE... [--range RANGE] [-q] [-o OUT.csv | -o DIR | -o -]\n"
    "       q390-dat png  FILE... [--range RANGE] [-q] -o OUT.png|DIR|- [--scale N] [--bare] [--overlay]\n"
    "       q390-dat pdf  FILE... [--range RANGE] [-q] -o OUT.pdf|DIR|- [--bare] [--overlay]\n"
    "       q390-dat sr   FILE... [--range RANGE] [-q] -o OUT.sr|-\n"
    "       q390-dat h5   FOLDER [--sweeps N[-M]] -o RUN.h5\n"
    "       q390-dat dat  RUN.h5... [--sweeps N[-M]] -o DIR\n"
    "A sweep's data file as a summary, CSV rows, a labelled plot, a page, or a session for sigrok's tools;\n"
    "an HDF5 recording wherever a data file goes (--sweeps picks its sweeps); a recording's folder\n"
    "as one HDF5 file and back.\n";

// Which options each command takes besides --sweeps and --quiet.
struct Command {
    const char16_t* name;
    bool output, scale, look, range, needsOutput;
};
constexpr Command Commands[] = {
    {u"info", false, false, false, true, false},
    {u"csv", true, false, false, true, false},
    {u"png", true, true, true, true, true},
    {u"pdf", true, false, true, true, true},
    {u"sr", true, false, false, true, true},
    {u"h5", true, false, false, false, true},
    {u"dat", true, false, false, false, true},
};

const Command* commandNamed(const QString& name)
{
    for (const Command& c : Commands)
        if (name == QStringView(c.name))
            return &c;
    return nullptr;
}

struct Parser {
    QCommandLineParser parser;
    QCommandLineOption range{QStringLiteral("range"),
                             QStringLiteral("The range the sweep was taken in: auto (the default: from the recording's index or the records), unipolar or bipolar."),
                             QStringLiteral("RANGE")};
    QCommandLineOption output{{QStringLiteral("o"), QStringLiteral("output")},
                              QStringLiteral("csv, png, pdf, sr: the output file, - for standard output (csv's default), or "
                                             "for csv, png and pdf a folder (several data files, or a name ending in /) that "
                                             "takes NAME.csv, NAME.png or NAME.pdf for each NAME.dat, made when it is not there."),
                              QStringLiteral("FILE")};
    QCommandLineOption scale{QStringLiteral("scale"), QStringLiteral("png: N pixels for every 15 twips, 1 to 16 (default 1)."),
                             QStringLiteral("N")};
    QCommandLineOption bare{QStringLiteral("bare"),
                            QStringLiteral("png, pdf: the window's picture or the printed page alone, without axes and title.")};
    QCommandLineOption overlay{QStringLiteral("overlay"),
                               QStringLiteral("png, pdf: every sweep on one plot, a colour and a legend entry for each channel or sweep.")};
    QCommandLineOption sweeps{QStringLiteral("sweeps"),
                              QStringLiteral("Of an HDF5 recording (and h5's folder), only the sweeps numbered N, or N to M."),
                              QStringLiteral("N[-M]")};
    QCommandLineOption quiet{{QStringLiteral("q"), QStringLiteral("quiet")},
                             QStringLiteral("Only errors on standard error, not the range the records told.")};

    Parser()
    {
        CommandLine::prepare(parser);
        for (const QCommandLineOption* option : {&range, &output, &scale, &bare, &overlay, &sweeps, &quiet})
            parser.addOption(*option);
        parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("info, csv, png, pdf, sr, h5 or dat."));
        parser.addPositionalArgument(QStringLiteral("FILE"),
                                     QStringLiteral("Data files (16384 bytes of records, or a sweep's CSV from q390-rec) or HDF5 "
                                                    "recordings, one or more; for h5 a recording's folder."));
    }
};

} // namespace

QString Request::outputFor(const QString& name) const
{
    if (intoFolder)
        return QDir::toNativeSeparators(QDir(output).filePath(name + u'.' + command));
    return toStdout() ? QString() : output;
}

QString sameFileKey(const QString& name)
{
    const QString path = QDir::cleanPath(QFileInfo(name).absoluteFilePath());
#ifdef Q_OS_WIN
    return path.toCaseFolded();
#else
    return path;
#endif
}

QString helpText()
{
    return CommandLine::help(Parser().parser, QString::fromUtf8(UsageText));
}

Request parseRequest(const QStringList& args)
{
    Parser p;
    const bool parsed = CommandLine::parse(p.parser, QStringLiteral("q390-dat"), args);
    Request r;
    r.command = p.parser.positionalArguments().value(0);
    const Command* command = commandNamed(r.command);
    if (!parsed) {
        const bool unknown = !p.parser.unknownOptionNames().isEmpty() && command;
        throw usage(unknown ? r.command + QStringLiteral(" has ") + CommandLine::problem(p.parser) : CommandLine::problem(p.parser));
    }
    if (p.parser.isSet(CommandLine::helpOption().names().first())) {
        r.task = Request::Help;
        return r;
    }
    if (p.parser.isSet(CommandLine::versionOption().names().first())) {
        r.task = Request::Version;
        return r;
    }
    if (!command)
        throw usage(r.command.isEmpty() ? QStringLiteral("no command given")
                                        : QStringLiteral("unknown command '%1'").arg(r.command));
    // Each command takes the options that mean something to it.
    for (const QString& name : p.parser.optionNames()) {
        const bool taken = (p.output.names().contains(name) && command->output) || (p.scale.names().contains(name) && command->scale)
            || ((p.bare.names().contains(name) || p.overlay.names().contains(name)) && command->look)
            || (p.range.names().contains(name) && command->range) || p.sweeps.names().contains(name)
            || p.quiet.names().contains(name);
        if (!taken)
            throw usage(QStringLiteral("%1 has no option %2").arg(r.command, CommandLine::typed(name)));
    }
    if (p.parser.isSet(p.range)) {
        const QString value = p.parser.value(p.range);
        r.range = rangeNamed(value);
        if (!r.range && value != AutomaticRange)
            throw usage(QStringLiteral("--range takes auto, unipolar or bipolar, not '%1'").arg(value));
    }
    if (p.parser.isSet(p.scale)) {
        const QString value = p.parser.value(p.scale);
        bool number = false;
        r.scale = value.toInt(&number);
        if (!number || r.scale < 1 || r.scale > MaxScale)
            throw usage(QStringLiteral("--scale takes a whole number from 1 to %1, not '%2'").arg(MaxScale).arg(value));
    }
    if (p.parser.isSet(p.output)) {
        r.output = p.parser.value(p.output);
        if (r.output.isEmpty())
            throw usage(QStringLiteral("-o needs a file name, or - for standard output"));
    }
    if (p.parser.isSet(p.sweeps)) {
        const QString value = p.parser.value(p.sweeps);
        const QStringList ends = value.split(u'-');
        bool first = false, last = false;
        r.sweeps = Request::Numbers{ends.value(0).toLongLong(&first), ends.value(ends.size() - 1).toLongLong(&last)};
        if (ends.size() > 2 || !first || !last || r.sweeps->first < 1 || r.sweeps->last < r.sweeps->first)
            throw usage(QStringLiteral("--sweeps takes a sweep's number or two, N-M, from 1 and rising, not '%1'").arg(value));
    }
    r.quiet = p.parser.isSet(p.quiet);
    r.bare = p.parser.isSet(p.bare);
    r.overlay = p.parser.isSet(p.overlay);
    r.inputs = p.parser.positionalArguments().mid(1);
    if (r.inputs.isEmpty())
        throw usage(QStringLiteral("%1 needs a data file").arg(r.command));
    const Stop datNeedsFolder = usage(QStringLiteral("dat needs -o DIR, a folder for the data files"));
    if (r.output.isEmpty() && command->needsOutput)
        throw r.command == u"dat" ? datNeedsFolder : usage(QStringLiteral("%1 needs -o OUT.%1").arg(r.command));
    if (!command->output)
        return r;
    const bool namesFolder = r.output.endsWith(u'/') || r.output.endsWith(QDir::separator());
    if (r.command == u"h5" && (r.inputs.size() > 1 || r.toStdout() || namesFolder))
        throw usage(QStringLiteral("h5 makes one recording's folder into one file: q390-dat h5 FOLDER -o RUN.h5"));
    if (r.command == u"dat" && r.toStdout())
        throw datNeedsFolder;
    if (r.combined()) {
        if (namesFolder)
            throw usage(QStringLiteral("%1 writes one file of every data file: -o OUT.%2, not a folder")
                            .arg(r.overlay ? QStringLiteral("--overlay") : r.command, r.command));
        return r;
    }
    r.intoFolder = namesFolder || (r.inputs.size() > 1 && !r.toStdout()) || r.command == u"dat";
    if (r.inputs.size() > 1 && !r.intoFolder)
        throw usage(QStringLiteral("%1 of several data files needs -o DIR, a folder for one output each").arg(r.command));
    return r;
}

} // namespace DatTool
