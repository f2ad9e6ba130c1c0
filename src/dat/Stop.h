#pragma once

#include <QString>

#include <cstdio>

namespace DatTool {

constexpr int Failed = 1;
constexpr int Usage = 2;

// A reason to stop, with the exit status it gives.
struct Stop {
    int status;
    QString message;
};

inline Stop usage(const QString& message)
{
    return {Usage, message + QStringLiteral(" (q390-dat --help shows the usage)")};
}

inline Stop failure(const QString& file, const QString& reason)
{
    return {Failed, file + QStringLiteral(": ") + reason};
}

// One line on standard error.
inline void say(std::FILE* err, const QString& line)
{
    std::fprintf(err, "q390-dat: %s\n", qUtf8Printable(line));
}

} // namespace DatTool
