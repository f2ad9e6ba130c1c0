#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <optional>

// A name as the bytes the system layer takes: Qt's encoding of file names where the system's
// names are bytes; UTF-8 on Windows, where Qt's encoding is the ANSI code page, which cannot
// hold every wide name.
inline QByteArray nameBytes(const QString& name)
{
#ifdef Q_OS_WIN
    return name.toUtf8();
#else
    return QFile::encodeName(name);
#endif
}

// How two names of files in one folder are told apart: Windows' file systems take a name in
// any case as the same file; POSIX ones do not.
#ifdef Q_OS_WIN
constexpr Qt::CaseSensitivity FileNameCase = Qt::CaseInsensitive;
#else
constexpr Qt::CaseSensitivity FileNameCase = Qt::CaseSensitive;
#endif

// The name those bytes stand for, as Qt holds names.
inline QString nameText(const QByteArray& bytes)
{
#ifdef Q_OS_WIN
    return QString::fromUtf8(bytes);
#else
    return QFile::decodeName(bytes);
#endif
}

// A name from the command line as text, when that text names the same file again. Bytes that
// are not valid in the system's encoding become other characters, and a file of that other name
// would be read or written instead: such a name has no text.
inline std::optional<QString> nameAsText(const QByteArray& bytes)
{
    QString text = QFile::decodeName(bytes);
    if (QFile::encodeName(text) != bytes)
        return std::nullopt;
    return text;
}

// A tool's arguments given as bytes (argv[1] on) as text; none, after a line on standard error
// that names the program and the argument, when one has none.
inline std::optional<QStringList> argumentsAsText(const char* program, int argc, char** argv)
{
    QStringList arguments;
    for (int n = 1; n < argc; ++n) {
        const std::optional<QString> argument = nameAsText(argv[n]);
        if (!argument) {
            std::fprintf(stderr, "%s: %s: not a valid name in this system's encoding\n", program, argv[n]);
            return std::nullopt;
        }
        arguments << *argument;
    }
    return arguments;
}
