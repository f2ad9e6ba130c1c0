// Writes the desktop's icons from the window icon's picture: q390-<size>.png for each size
// given, q390.svg, and q390.ico (every size up to 256, for Windows), into the folder given first.

#include "core/drawing/ScopeArt.h"

#include <QBuffer>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QImage>

#include <cstdio>

namespace {

// The icon file Windows reads: a directory of entries, each a PNG (Windows Vista and later).
QByteArray iconFile(const QList<QImage>& images)
{
    QList<QByteArray> pngs;
    for (const QImage& image : images) {
        QBuffer png;
        png.open(QIODevice::WriteOnly);
        image.save(&png, "PNG");
        pngs.append(png.data());
    }
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint16(0) << quint16(1) << quint16(images.size());
    quint32 offset = 6 + 16 * images.size();
    for (qsizetype n = 0; n < images.size(); ++n) {
        // A side of 256 is written as 0.
        const quint8 side = quint8(images[n].width() & 0xFF);
        out << side << side << quint8(0) << quint8(0) << quint16(1) << quint16(32) << quint32(pngs[n].size()) << offset;
        offset += pngs[n].size();
    }
    for (const QByteArray& png : pngs)
        out.writeRawData(png.constData(), int(png.size()));
    return bytes;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: q390-icons FOLDER SIZE...\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    QList<QImage> iconImages;
    for (int n = 2; n < argc; ++n) {
        const int size = std::atoi(argv[n]);
        QImage image(size, size, QImage::Format_RGB32);
        QPainter p(&image);
        ScopeArt(size, false).paint(p);
        p.end();
        if (size <= 256)
            iconImages.append(image);
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
    QFile ico(folder.filePath(QStringLiteral("q390.ico")));
    if (!ico.open(QIODevice::WriteOnly) || ico.write(iconFile(iconImages)) < 0) {
        std::fprintf(stderr, "q390-icons: cannot write q390.ico\n");
        return 1;
    }
    return 0;
}
