#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>

// What the tools' command lines share, on QtCore's parser: GNU's conventions (-oFILE, -o FILE,
// --output=FILE, flags that take no value, -- ending the options), -h/--help and -V/--version.
namespace CommandLine {

// A parser with the help and version options, short options that may be run together and
// take their value attached (-oFILE), and long options with two dashes only.
void prepare(QCommandLineParser& parser);
QCommandLineOption helpOption();
QCommandLineOption versionOption();

// Parses the arguments (the program's name not among them); false when they make no sense.
bool parse(QCommandLineParser& parser, const QString& program, const QStringList& arguments);

// What the parser refused, in the tools' one-line form: "no option --colour",
// "missing value after '--range'", "unexpected value after '--append'".
QString problem(const QCommandLineParser& parser);

// The option as the user typed it, from the name the parser reports: "-o", "--range".
QString typed(const QString& name);

// The help: the usage lines, then the options and arguments a line each, as the parser lays
// them out.
QString help(const QCommandLineParser& parser, const QString& usage);

} // namespace CommandLine
