#include "FileBench.h"

#include "Probe.h"

#include "core/samples/SampleFile.h"

#include <QFile>
#include <QTemporaryDir>

FileWrites measureFileWrites(int files)
{
    QTemporaryDir dir;
    SampleArray samples{};
    std::vector<double> whole, plain;
    for (int n = 0; n < files; ++n) {
        samples[n % SweepLength] = qint16(n);
        auto start = probe::nowNs();
        SampleFile::write(dir.filePath(QStringLiteral("w%1.dat").arg(n)), samples);
        whole.push_back((probe::nowNs() - start) / 1e6);

        start = probe::nowNs();
        QFile file(dir.filePath(QStringLiteral("p%1.dat").arg(n)));
        if (!file.open(QIODevice::WriteOnly) || file.write(SampleFile::encode(samples)) != SampleFile::Size)
            qFatal("cannot write %s", qPrintable(file.fileName()));
        file.close();
        plain.push_back((probe::nowNs() - start) / 1e6);
    }
    return {probe::median(whole), probe::median(plain)};
}
