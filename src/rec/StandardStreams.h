#pragma once

#include <QStringList>

#include <optional>

// Descriptors 0 to 2 that are closed are opened on /dev/null, before anything else opens a
// file that would take their number and receive what is meant for standard output or errors.
// True when standard output was one of them: what is meant for it then has nowhere to go.
bool openClosedStandardStreams();

// The program's arguments as text, its name not among them, once the application object is
// there; none, after a line on standard error, when one is no valid name in this system's
// encoding. Windows gives them in its wide characters, never its ANSI code page, and standard
// output is then made to write its bytes as they are, so that the rows are the same bytes as on
// every other system. Elsewhere the system's texts in messages stay English, as the tool's own.
std::optional<QStringList> programArguments(int argc, char** argv);
