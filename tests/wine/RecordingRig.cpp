// A one-file recording written under Wine, for scripts/windows-test.sh to read with Linux's
// h5py and h5dump: three sweeps (every code of sweep k is k), flushed, then "written" on
// stdout; after a line on stdin, a fourth sweep and the close.
#include "core/recording/RecordingWriter.h"

#include <QDateTime>

#include <iostream>

int main(int, char** argv)
{
    RecordingWriter writer(argv[1], RecordingWriter::Create, {QStringLiteral("q390-test"), QStringLiteral(Q390_VERSION), false});
    for (int k = 1; k <= 4; ++k) {
        if (k == 4) {
            writer.flush();
            std::cout << "written" << std::endl;
            std::cin.get();
        }
        SampleArray records;
        records.fill(qint16(k));
        writer.append({k, QDateTime::currentDateTimeUtc(), 0.004, k, Range::Unipolar, QStringLiteral("simulator"), {}, {}}, records);
    }
    writer.close();
}
