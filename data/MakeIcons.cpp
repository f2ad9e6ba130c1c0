// Writes the desktop's icons from the window icon's picture: q390-<size>.png for each size
// given, and q390.svg, into the folder given first.

#include "core/drawing/ScopeArt.h"

#include <QDir>
#include <QFile>
#include <QImage>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: q390-icons FOLDER SIZE...\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    for (int n = 2; n < argc; ++n) {
        const int size = std::atoi(argv[n]);
        QImage image(size, size, QImage::Format_RGB32);
        QPainter p(&image);
        ScopeArt(size, false).paint(p);
        p.end();
        if (!image.save(folder.filePath(QStringLiteral("q390-%1.png").arg(size)))) {
            std::fprintf(stderr, "q390-icons: cannot write the %d-pixel icon\n", size);
            return 1;
        }
    }
    // Laid out on a 64-pixel grid, so that its lines stay thin when the desktop scales it up.
    QFile svg(folder.filePath(QStringLiteral("q390.svg")));
    if (!svg.open(QIODevice::WriteOnly) || svg.write(ScopeArt(64, false).svg()) < 0) {
        std::fprintf(stderr, "q390-icons: cannot write q390.svg\n");
        return 1;
    }
    return 0;
}
