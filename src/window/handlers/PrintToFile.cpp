#include "window/handlers/PrintToFile.h"

#include "core/samples/SampleFile.h"

#include <QFileInfo>

namespace PrintToFile {

QString freeName(const QDateTime& now)
{
    const QString stem = SampleFile::fileName(now).chopped(4);
    QString name = stem + QStringLiteral(".pdf");
    for (int n = 2; QFileInfo::exists(name) || QFileInfo(name).isSymLink(); ++n)
        name = QStringLiteral("%1-%2.pdf").arg(stem).arg(n);
    return name;
}

PdfFallback fallback(MessageBoxes& boxes, const Clock& clock)
{
    return {[&clock] { return freeName(clock.now()); },
            [&boxes](const QString& path) {
                boxes.show(QStringLiteral("未找到打印机，已打印到文件") + QFileInfo(path).absoluteFilePath(),
                           QStringLiteral("打印"), MsgStyle::Ok);
            }};
}

} // namespace PrintToFile
