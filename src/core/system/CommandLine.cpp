#include "core/system/CommandLine.h"

namespace CommandLine {

void prepare(QCommandLineParser& parser)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    parser.addOption(helpOption());
    parser.addOption(versionOption());
}

QCommandLineOption helpOption()
{
    return {{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Shows this help and ends.")};
}

QCommandLineOption versionOption()
{
    return {{QStringLiteral("V"), QStringLiteral("version")}, QStringLiteral("Shows the version and ends.")};
}

bool parse(QCommandLineParser& parser, const QString& program, const QStringList& arguments)
{
    return parser.parse(QStringList{program} + arguments);
}

QString typed(const QString& name)
{
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

QString problem(const QCommandLineParser& parser)
{
    if (const QStringList unknown = parser.unknownOptionNames(); !unknown.isEmpty())
        return QStringLiteral("no option %1").arg(typed(unknown.first()));
    // The parser's sentence, as a clause of the tools' line.
    QString text = parser.errorText();
    if (text.endsWith(u'.'))
        text.chop(1);
    if (!text.isEmpty())
        text[0] = text[0].toLower();
    return text;
}

QString help(const QCommandLineParser& parser, const QString& usage)
{
    // The parser's own first line names the program by its path and lists no commands.
    return usage + parser.helpText().section(u'\n', 1);
}

} // namespace CommandLine
