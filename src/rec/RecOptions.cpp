#include "rec/RecOptions.h"

#include "core/converter/ControlWord.h"
#include "core/system/CommandLine.h"

#include <QRegularExpression>

#include <initializer_list>

namespace {

long long parseCount(const QString& option, const QString& text)
{
    bool ok = false;
    const long long n = text.toLongLong(&ok);
    if (!ok || n < 1)
        throw UsageError(QStringLiteral("%1 takes a whole number from 1 up, not '%2'").arg(option, text));
    return n;
}

} // namespace

Trigger parseTrigger(const QString& text, Range range)
{
    const QStringList parts = text.split(u',');
    bool ok = false;
    Trigger trigger;
    trigger.level = parts[0].toDouble(&ok);
    const std::optional<Trigger::Slope> slope = parts.size() == 2 ? slopeNamed(parts[1]) : Trigger::Rising;
    if (!ok || !slope || parts.size() > 2)
        throw UsageError(QStringLiteral("--trigger takes a level in volts and rising or falling, such as 1.5 or -0.5,falling, not '%1'").arg(text));
    if (!withinRange(trigger.level, range))
        throw UsageError(QStringLiteral("--trigger %1: the level lies outside the %2 range's %3 to %4 V")
                             .arg(text, rangeWord(range))
                             .arg(levelsOf(range).lowest)
                             .arg(levelsOf(range).highest, 0, 'f', 4));
    trigger.slope = *slope;
    return trigger;
}

double parseDuration(const QString& option, const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^([0-9]+(?:\\.[0-9]+)?)([smh]?)$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        throw UsageError(QStringLiteral("%1 takes a duration such as 90s, 10m or 2h, not '%2'").arg(option, text));
    const QString unit = match.captured(2);
    const double scale = unit == u"h" ? 3600 : unit == u"m" ? 60 : 1;
    return match.captured(1).toDouble() * scale;
}

QList<int> parseChannels(const QString& option, const QString& text)
{
    static const QRegularExpression item(QStringLiteral("^([0-9])(?:-([0-9]))?$"));
    QList<int> channels;
    for (const QString& part : text.split(u',')) {
        const QRegularExpressionMatch match = item.match(part.trimmed());
        const int first = match.captured(1).toInt();
        const int last = match.captured(2).isEmpty() ? first : match.captured(2).toInt();
        if (!match.hasMatch() || last < first || last >= ChannelCount)
            throw UsageError(QStringLiteral("%1 takes channels 0 to %3 such as 3, 0,3,5 or 0-%3, not '%2'")
                                 .arg(option, text)
                                 .arg(ChannelCount - 1));
        for (int channel = first; channel <= last; ++channel)
            channels.append(channel);
    }
    return channels;
}

namespace {

const char* const UsageText =
    "Usage: q390-rec [--port PORT] [--channel N | --channels LIST] [--range unipolar|bipolar]\n"
    "                [--sweeps N | --time DURATION | --continuous] [--every SECONDS]\n"
    "                [--trigger LEVEL[,rising|falling]] [-o DIR | -o NAME.h5 | -o -]\n"
    "                [--format dat|csv|h5] [--compress] [--append] [--reconnect-timeout DURATION] [-q]\n"
    "       q390-rec --list-ports\n"
    "Records sweeps without a window into a folder of data files with an index, into one HDF5 file,\n"
    "or as CSV rows on standard output.\n";

struct Parser {
    QCommandLineParser parser;
    QCommandLineOption port{QStringLiteral("port"),
                            QStringLiteral("sim (the simulated converter, the default), COMn (as --list-ports numbers them), "
                                           "a device path, or ftdi: and a libftdi device string."),
                            QStringLiteral("PORT")};
    QCommandLineOption channel{QStringLiteral("channel"), QStringLiteral("The channel, 0 to 7 (default 0)."), QStringLiteral("N")};
    QCommandLineOption channels{QStringLiteral("channels"), QStringLiteral("Channels in turn, such as 0,3,5 or 0-7."),
                                QStringLiteral("LIST")};
    QCommandLineOption range{QStringLiteral("range"), QStringLiteral("unipolar (0 to +5 V, the default) or bipolar (±2 V)."),
                             QStringLiteral("RANGE")};
    QCommandLineOption sweeps{QStringLiteral("sweeps"), QStringLiteral("Ends after N sweeps (default 1)."), QStringLiteral("N")};
    QCommandLineOption time{QStringLiteral("time"), QStringLiteral("Starts no sweep after DURATION: 90s, 10m, 2h, or seconds."),
                            QStringLiteral("DURATION")};
    QCommandLineOption continuous{QStringLiteral("continuous"), QStringLiteral("Records until stopped.")};
    QCommandLineOption output{{QStringLiteral("o"), QStringLiteral("output")},
                              QStringLiteral("The folder to record into (default: q390-YYYYMMDD-HHMMSS), NAME.h5 for one "
                                             "HDF5 file, or - for CSV rows on standard output."),
                              QStringLiteral("DIR")};
    QCommandLineOption format{QStringLiteral("format"),
                              QStringLiteral("A folder's sweep files: dat (the window's data file, the default) or csv "
                                             "(q390-dat's rows); or h5: one HDF5 file."),
                              QStringLiteral("FORMAT")};
    QCommandLineOption compress{QStringLiteral("compress"), QStringLiteral("Deflates a new HDF5 file's data (after a byte shuffle).")};
    QCommandLineOption every{QStringLiteral("every"),
                             QStringLiteral("Begins a sweep at each multiple of SECONDS from the first sweep's start; a sweep that overruns "
                                            "skips the starts it missed."),
                             QStringLiteral("SECONDS")};
    QCommandLineOption trigger{QStringLiteral("trigger"),
                               QStringLiteral("Keeps only the sweeps whose signal crosses LEVEL volts, rising (the default) or "
                                              "falling; the first crossing is recorded."),
                               QStringLiteral("LEVEL[,SLOPE]")};
    QCommandLineOption append{QStringLiteral("append"),
                              QStringLiteral("Records on into a folder that holds a recording, in its format, or into an HDF5 file.")};
    QCommandLineOption reconnect{QStringLiteral("reconnect-timeout"),
                                 QStringLiteral("How long to wait for a device that dropped out (default 60s; inf: for ever)."),
                                 QStringLiteral("DURATION")};
    QCommandLineOption quiet{{QStringLiteral("q"), QStringLiteral("quiet")}, QStringLiteral("Only errors on standard error.")};
    QCommandLineOption listPorts{QStringLiteral("list-ports"),
                                 QStringLiteral("Lists the serial ports: number, device, description, and the link a sweep takes.")};

    Parser()
    {
        CommandLine::prepare(parser);
        for (const QCommandLineOption* option : {&port, &channel, &channels, &range, &sweeps, &time, &continuous, &every, &trigger,
                                                 &output, &format, &compress, &append, &reconnect, &quiet, &listPorts})
            parser.addOption(*option);
    }

    // How often options of these were given.
    int count(std::initializer_list<const QCommandLineOption*> options) const
    {
        int n = 0;
        for (const QString& name : parser.optionNames())
            for (const QCommandLineOption* option : options)
                n += option->names().contains(name);
        return n;
    }
};

} // namespace

QString RecOptions::help()
{
    return CommandLine::help(Parser().parser, QString::fromUtf8(UsageText));
}

RecOptions RecOptions::parse(const QStringList& args)
{
    Parser p;
    if (!CommandLine::parse(p.parser, QStringLiteral("q390-rec"), args))
        throw UsageError(CommandLine::problem(p.parser));
    const QCommandLineParser& line = p.parser;
    RecOptions r;
    if (line.isSet(CommandLine::helpOption().names().first()))
        r.task = Task::Help;
    else if (line.isSet(CommandLine::versionOption().names().first()))
        r.task = Task::Version;
    else if (line.isSet(p.listPorts))
        r.task = Task::ListPorts;
    if (r.task != Task::Record)
        return r;
    if (const QStringList stray = line.positionalArguments(); !stray.isEmpty())
        throw UsageError(QStringLiteral("'%1' is no option; every value follows its option").arg(stray.first()));
    if (p.count({&p.sweeps, &p.time, &p.continuous}) > 1)
        throw UsageError(QStringLiteral("one limit at a time: --sweeps, --time or --continuous"));
    if (p.count({&p.channel, &p.channels}) > 1)
        throw UsageError(QStringLiteral("--channel or --channels, once"));
    if (line.isSet(p.port)) {
        r.port = line.value(p.port);
        if (r.port.isEmpty())
            throw UsageError(QStringLiteral("--port needs a port: sim, COMn, a device path or ftdi:DEVICE"));
    }
    if (line.isSet(p.channel)) {
        r.channels = parseChannels(QStringLiteral("--channel"), line.value(p.channel));
        if (r.channels.size() != 1)
            throw UsageError(QStringLiteral("--channel takes one channel from 0 to 7, not '%1' (--channels takes a list)")
                                 .arg(line.value(p.channel)));
    }
    if (line.isSet(p.channels))
        r.channels = parseChannels(QStringLiteral("--channels"), line.value(p.channels));
    if (line.isSet(p.range)) {
        const QString value = line.value(p.range);
        const std::optional<Range> range = rangeNamed(value);
        if (!range)
            throw UsageError(QStringLiteral("--range takes unipolar or bipolar, not '%1'").arg(value));
        r.range = *range;
    }
    if (line.isSet(p.sweeps))
        r.sweeps = parseCount(QStringLiteral("--sweeps"), line.value(p.sweeps));
    if (line.isSet(p.time)) {
        const QString value = line.value(p.time);
        r.seconds = parseDuration(QStringLiteral("--time"), value);
        if (*r.seconds <= 0)
            throw UsageError(QStringLiteral("--time takes a duration above 0, not '%1'").arg(value));
        r.sweeps.reset();
    }
    if (line.isSet(p.continuous))
        r.sweeps.reset();
    const bool outputGiven = line.isSet(p.output);
    if (outputGiven) {
        const QString value = line.value(p.output);
        if (value.isEmpty())
            throw UsageError(QStringLiteral("-o needs a folder, or - for standard output"));
        r.toStdout = value == u"-";
        r.folder = r.toStdout ? QString() : value;
    }
    r.oneFile = r.folder.endsWith(QStringLiteral(".h5"), Qt::CaseInsensitive);
    if (line.isSet(p.format)) {
        const QString value = line.value(p.format);
        r.format = formatNamed(value);
        if (value == u"h5")
            r.oneFile = true;
        else if (!r.format)
            throw UsageError(QStringLiteral("--format takes dat, csv or h5, not '%1'").arg(value));
        else if (r.oneFile)
            throw UsageError(QStringLiteral("-o %1 writes one HDF5 file; --format %2 is for a folder's files").arg(r.folder, value));
    }
    r.compress = line.isSet(p.compress);
    if (r.compress && !r.oneFile)
        throw UsageError(QStringLiteral("--compress is for one HDF5 file: -o NAME.h5 or --format h5"));
    if (line.isSet(p.every)) {
        const QString value = line.value(p.every);
        r.every = parseDuration(QStringLiteral("--every"), value);
        if (*r.every <= 0)
            throw UsageError(QStringLiteral("--every takes a duration above 0, not '%1'").arg(value));
    }
    if (line.isSet(p.trigger))
        r.trigger = parseTrigger(line.value(p.trigger), r.range);
    r.append = line.isSet(p.append);
    if (line.isSet(p.reconnect)) {
        const QString value = line.value(p.reconnect);
        if (value == u"inf")
            r.reconnectSeconds.reset();
        else
            r.reconnectSeconds = parseDuration(QStringLiteral("--reconnect-timeout"), value);
    }
    r.quiet = line.isSet(p.quiet);
    if (r.toStdout && (r.format || r.oneFile || r.append))
        throw UsageError(QStringLiteral("-o - writes CSV rows to standard output; --format and --append are for a folder or a file"));
    if (r.append && !outputGiven)
        throw UsageError(QStringLiteral("--append needs the folder: -o DIR"));
    return r;
}
