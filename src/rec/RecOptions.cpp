#include "rec/RecOptions.h"

#include "core/converter/ControlWord.h"

#include <QRegularExpression>

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

RecOptions RecOptions::parse(const QStringList& args)
{
    static const QStringList Valued{QStringLiteral("--port"),   QStringLiteral("--channel"), QStringLiteral("--channels"),
                                    QStringLiteral("--range"),  QStringLiteral("--sweeps"),  QStringLiteral("--time"),
                                    QStringLiteral("-o"),       QStringLiteral("--format"),  QStringLiteral("--reconnect-timeout")};
    RecOptions r;
    int limits = 0, channelOptions = 0;
    bool formatGiven = false, outputGiven = false;
    for (qsizetype n = 0; n < args.size(); ++n) {
        QString option = args[n];
        QString value;
        if (option.startsWith(u"--") && option.contains(u'=')) {
            value = option.section(u'=', 1);
            option = option.section(u'=', 0, 0);
        } else if (Valued.contains(option)) {
            if (++n == args.size())
                throw UsageError(QStringLiteral("option %1 needs a value").arg(option));
            value = args[n];
        }
        if (option == u"--port") {
            if (value.isEmpty())
                throw UsageError(QStringLiteral("--port needs a port: sim, COMn, a device path or ftdi:DEVICE"));
            r.port = value;
        } else if (option == u"--channel" || option == u"--channels") {
            r.channels = parseChannels(option, value);
            if (option == u"--channel" && r.channels.size() != 1)
                throw UsageError(QStringLiteral("--channel takes one channel from 0 to 7, not '%1' (--channels takes a list)").arg(value));
            ++channelOptions;
        } else if (option == u"--range") {
            const std::optional<Range> range = rangeNamed(value);
            if (!range)
                throw UsageError(QStringLiteral("--range takes unipolar or bipolar, not '%1'").arg(value));
            r.range = *range;
        } else if (option == u"--sweeps") {
            r.sweeps = parseCount(option, value);
            ++limits;
        } else if (option == u"--time") {
            r.seconds = parseDuration(option, value);
            if (*r.seconds <= 0)
                throw UsageError(QStringLiteral("--time takes a duration above 0, not '%1'").arg(value));
            r.sweeps.reset();
            ++limits;
        } else if (option == u"--continuous") {
            r.sweeps.reset();
            ++limits;
        } else if (option == u"-o") {
            if (value.isEmpty())
                throw UsageError(QStringLiteral("-o needs a folder, or - for standard output"));
            r.toStdout = value == u"-";
            r.folder = r.toStdout ? QString() : value;
            outputGiven = true;
        } else if (option == u"--format") {
            const std::optional<SampleFormat> format = formatNamed(value);
            if (!format)
                throw UsageError(QStringLiteral("--format takes dat or csv, not '%1'").arg(value));
            r.format = *format;
            formatGiven = true;
        } else if (option == u"--append") {
            r.append = true;
        } else if (option == u"--reconnect-timeout") {
            if (value == u"inf")
                r.reconnectSeconds.reset();
            else
                r.reconnectSeconds = parseDuration(option, value);
        } else if (option == u"--quiet") {
            r.quiet = true;
        } else {
            throw UsageError(option.startsWith(u'-') ? QStringLiteral("no option %1").arg(option)
                                                : QStringLiteral("'%1' is no option; every value follows its option").arg(option));
        }
    }
    if (limits > 1)
        throw UsageError(QStringLiteral("one limit at a time: --sweeps, --time or --continuous"));
    if (channelOptions > 1)
        throw UsageError(QStringLiteral("--channel or --channels, once"));
    if (r.toStdout && (formatGiven || r.append))
        throw UsageError(QStringLiteral("-o - writes CSV rows to standard output; --format and --append are for a folder"));
    if (r.append && !outputGiven)
        throw UsageError(QStringLiteral("--append needs the folder: -o DIR"));
    return r;
}
