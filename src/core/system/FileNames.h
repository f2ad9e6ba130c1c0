#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <optional>

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
