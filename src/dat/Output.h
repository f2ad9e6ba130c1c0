#pragma once

#include "core/system/WholeFile.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <optional>

namespace DatTool {

// Where a result goes, settled once its data files have been read and before any work:
// standard output, or a named output written whole (an existing FIFO or device is written
// into as a stream, WholeFile's rule). No data file being read is ever an output.
class Output {
public:
    // `name` empty: standard output. Throws Stop when the name cannot be written.
    Output(const QString& name, const QStringList& inputs, std::FILE* out);

    // Throws Stop with the reason the bytes could not be written.
    void write(const QByteArray& bytes);

private:
    QString name_;
    std::FILE* stream_;
    std::optional<WholeFile> file_;
};

// The folder that takes one output for each data file, made (with the folders above it)
// when it is not there. Throws Stop when it cannot be.
void makeOutputFolder(const QString& folder);

} // namespace DatTool
