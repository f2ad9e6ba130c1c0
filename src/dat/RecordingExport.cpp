#include "dat/RecordingExport.h"

#include "core/recording/RecordingWriter.h"
#include "core/system/FailureWords.h"
#include "core/system/FileNames.h"
#include "dat/Stop.h"

#include <QFile>
#include <QFileInfo>

namespace DatTool {

void writeRecording(const std::vector<DatSweep>& sweeps, const QString& output)
{
    if (QFileInfo::exists(output) || QFileInfo(output).isSymLink())
        throw failure(output, QStringLiteral("exists; h5 makes a new recording and replaces nothing"));
    const QString part = output + QStringLiteral(".q390-part");
    try {
        RecordingWriter writer(nameBytes(part), RecordingWriter::Create,
                               {QStringLiteral("q390-dat"), QStringLiteral(Q390_VERSION), false});
        for (const DatSweep& sweep : sweeps)
            writer.append(sweep.recording->sweep(sweep.place), sweep.records());
        writer.close();
    } catch (const RecordingError& error) {
        // A part left by an earlier run is not this run's to remove.
        if (error.errorNumber() != EEXIST)
            QFile::remove(part);
        throw failure(error.errorNumber() == EEXIST ? part : output, englishReason(error));
    }
    if (!QFile::rename(part, output)) {
        QFile::remove(part);
        throw failure(output, QStringLiteral("the recording could not take its name"));
    }
}

} // namespace DatTool
