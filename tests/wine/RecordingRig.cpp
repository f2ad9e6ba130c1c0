// A one-file recording written under Wine, for scripts/windows-test.sh to read with Linux's
// h5py and h5dump: three sweeps of a ramp (sample n of sweep k has code (n + k) mod 4096),
// flushed, then "written" on stdout; after a line on stdin, a fourth sweep and the close.
#include "core/recording/RecordingWriter.h"
#include "core/samples/Samples.h"

#include <QDateTime>

#include <cstdio>

int main(int, char** argv)
{
    RecordingWriter writer(argv[1], RecordingWriter::Create, {QStringLiteral("q390-test"), QStringLiteral(Q390_VERSION), false});
    for (int k = 1; k <= 4; ++k) {
        if (k == 4) {
            std::puts("written");
            std::fflush(stdout);
            std::getchar();
        }
        SampleArray records;
        for (int n = 0; n < SweepLength; ++n)
            records[n] = qint16((n + k) % 4096);
        writer.append({k, QDateTime::currentDateTimeUtc(), 0.004, k, Range::Unipolar, QStringLiteral("simulator"), {}, {}}, records);
        writer.flush();
    }
    writer.close();
}
