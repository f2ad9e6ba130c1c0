// A one-file recording written under Wine, for scripts/windows-test.sh to read with Linux's
// h5py and h5dump: SWEEPS sweeps of a ramp (sample n of sweep k has code (n + k) mod 4096),
// flushed, then "written" on stdout; after a line on stdin, one sweep more and the close.
#include "core/recording/RecordingWriter.h"
#include "core/samples/Samples.h"

#include <QDateTime>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    RecordingWriter writer(argv[1], RecordingWriter::Create, {QStringLiteral("q390-test"), QStringLiteral(Q390_VERSION), false});
    const auto append = [&](int k) {
        SampleArray records;
        for (int n = 0; n < SweepLength; ++n)
            records[n] = qint16((n + k) % 4096);
        writer.append({k, QDateTime::currentDateTimeUtc(), 0.004, k % 8, Range::Unipolar, QStringLiteral("simulator"), {}, {}}, records);
    };
    const int sweeps = std::atoi(argv[2]);
    for (int k = 1; k <= sweeps; ++k)
        append(k);
    writer.flush();
    std::puts("written");
    std::fflush(stdout);
    std::getchar();
    append(sweeps + 1);
    writer.close();
}
