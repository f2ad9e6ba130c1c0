// q390-dat run as a process on crafted data files: the codes and volts of every record, the
// range it picks, the picture and the page it draws, and every way its input can be wrong.

#include "core/drawing/PlotSpace.h"
#include "core/samples/SampleFile.h"
#include "support/FileSizeLimit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Result {
    int status = -1;
    QByteArray out;
    QStringList err; // its lines
};

Result dat(const QStringList& args, const QString& program = QStringLiteral(Q390_DAT))
{
    QProcess p;
    p.start(program, args);
    EXPECT_TRUE(p.waitForFinished(30000)) << args.join(u' ').toStdString();
    Result r{p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(), {}};
    r.err = QString::fromUtf8(p.readAllStandardError()).split(u'\n', Qt::SkipEmptyParts);
    return r;
}

// As nobody when the tests run as root, whom no permission stops.
Result datAsUser(const QStringList& args)
{
    if (geteuid() != 0)
        return dat(args);
    return dat(QStringList{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups"),
                           QStringLiteral(Q390_DAT)} + args, QStringLiteral("setpriv"));
}

QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct DatFiles : ::testing::Test {
    QTemporaryDir dir;

    QString path(const QString& name) const { return dir.filePath(name); }
    QString write(const QString& name, const SampleArray& samples) const
    {
        QFile f(path(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(SampleFile::encode(samples));
        return path(name);
    }
    QStringList entries() const { return QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System); }
    // A recording as q390-rec leaves it: rec/sweep-N.dat and an index row each ("N,channel,range,seconds").
    QString recording(const QStringList& rows, const SampleArray& samples) const
    {
        QDir(dir.path()).mkdir(QStringLiteral("rec"));
        QByteArray index = "sweep,file,start,seconds,channel,range\n";
        for (const QString& row : rows) {
            const QStringList c = row.split(u',');
            write(QStringLiteral("rec/sweep-%1.dat").arg(c[0]), samples);
            index += QStringLiteral("%1,sweep-%1.dat,2026-01-02T03:04:0%1.678+01:00,%4,%2,%3\n").arg(c[0], c[1], c[2], c[3]).toUtf8();
        }
        QFile f(path(QStringLiteral("rec/index.csv")));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(index) == index.size());
        return path(QStringLiteral("rec/sweep-%1.dat"));
    }
};

// A tool's text output, or "" when it fails.
QString textOf(const QString& tool, const QStringList& args)
{
    QProcess p;
    p.start(tool, args);
    return p.waitForFinished(30000) && p.exitCode() == 0 ? QString::fromUtf8(p.readAllStandardOutput()) : QString();
}

// Stored records, and by hand: unipolar code and volts, bipolar code and volts.
struct Row {
    qint16 stored;
    int uCode;
    const char* uVolts;
    int bCode;
    const char* bVolts;
};
const Row Table[] = {
    {0, 0, "0.000000", 0, "0.000000"},
    {4095, 4095, "4.998779", 4095, "3.999023"},
    {2047, 2047, "2.498779", 2047, "1.999023"},
    {-32768, 0, "0.000000", -1, "-0.000977"},           // -0: the converter's -1
    {2047 - 32768, 2047, "2.498779", -2048, "-2.000000"}, // the converter's -2048
    {-1, 8191, "9.998779", -8192, "-8.000000"},
    {-2048, 6144, "7.500000", -6145, "-6.000977"},
    {0x6005, 5, "0.006104", 5, "0.004883"},              // bits 13 and 14 are dropped
};
constexpr int TableRows = int(std::size(Table));

TEST_F(DatFiles, CsvGivesEveryRecordsCodeAndVoltsInBothRangesAndInfoSumsThemUp)
{
    SampleArray samples{};
    for (int n = 0; n < TableRows; ++n)
        samples[n] = Table[n].stored;
    samples[SweepLength - 1] = 1000;
    const QString file = write(QStringLiteral("t.dat"), samples);

    for (const bool bipolar : {false, true}) {
        SCOPED_TRACE(bipolar);
        const QString range = bipolar ? QStringLiteral("bipolar") : QStringLiteral("unipolar");
        const Result r = dat({QStringLiteral("csv"), file, QStringLiteral("--range"), range});
        ASSERT_EQ(r.status, 0);
        EXPECT_TRUE(r.err.isEmpty()) << "the range named only where the records tell it";
        const QList<QByteArray> lines = r.out.split('\n');
        ASSERT_EQ(lines.size(), SweepLength + 2); // the header, the records, and after the last newline nothing
        EXPECT_EQ(lines[0], "index,stored,code,volts");
        EXPECT_TRUE(lines.last().isEmpty());
        for (int n = 1; n <= SweepLength; ++n) {
            const QList<QByteArray> cells = lines[n].split(',');
            ASSERT_EQ(cells.size(), 4) << n;
            EXPECT_EQ(cells[0].toInt(), n);
            EXPECT_EQ(cells[1].toInt(), samples[n - 1]);
            if (n <= TableRows) {
                const Row& row = Table[n - 1];
                EXPECT_EQ(cells[2].toInt(), bipolar ? row.bCode : row.uCode) << n;
                EXPECT_EQ(cells[3], bipolar ? row.bVolts : row.uVolts) << n;
            }
        }
        EXPECT_EQ(lines[SweepLength], bipolar ? "8192,1000,1000,0.976562" : "8192,1000,1000,1.220703");

        const Result info = dat({QStringLiteral("info"), file, QStringLiteral("--range=") + range});
        ASSERT_EQ(info.status, 0);
        const QString text = QString::fromUtf8(info.out);
        // Unipolar: -0, the converter's -2048, -1 and -2048 have bit 15 set, and two of them a
        // magnitude above 4095. Bipolar: 4095, -1 and -2048 lie beyond 2047.
        EXPECT_TRUE(text.contains(bipolar ? u"impossible in this range: 3\n" : u"impossible in this range: 4\n")) << text.toStdString();
        EXPECT_TRUE(text.contains(bipolar ? u"minimum: -8.000000 V\n" : u"minimum: 0.000000 V\n")) << text.toStdString();
        EXPECT_TRUE(text.contains(bipolar ? u"maximum: 3.999023 V\n" : u"maximum: 9.998779 V\n")) << text.toStdString();
    }

    // Written to a file with -o, the same text.
    const Result toFile = dat({QStringLiteral("csv"), file, QStringLiteral("--range"), QStringLiteral("bipolar"),
                               QStringLiteral("-o"), path(QStringLiteral("t.csv"))});
    ASSERT_EQ(toFile.status, 0);
    EXPECT_TRUE(toFile.out.isEmpty());
    QFile csv(path(QStringLiteral("t.csv")));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    EXPECT_EQ(csv.readAll(), dat({QStringLiteral("csv"), file, QStringLiteral("--range"), QStringLiteral("bipolar")}).out);
    // That text is a sweep's file of q390-rec --format csv: read as CSV, not as records.
    const auto summary = [](const QString& input) {
        return dat({QStringLiteral("info"), input, QStringLiteral("--range"), QStringLiteral("bipolar")}).out.split('\n').mid(1);
    };
    EXPECT_EQ(summary(path(QStringLiteral("t.csv"))), summary(file));
}

TEST_F(DatFiles, AutoRangeIsBipolarForASignUnipolarForALargeMagnitudeAndSaysWhenItCannotTell)
{
    SampleArray samples{};
    samples[100] = 2047;
    const QString small = write(QStringLiteral("small.dat"), samples);
    samples[300] = qint16(-32768 + 5);
    const QString sign = write(QStringLiteral("sign.dat"), samples);
    samples[200] = 2048;
    const QString neither = write(QStringLiteral("neither.dat"), samples); // impossible in both ranges
    samples[300] = 0;
    const QString large = write(QStringLiteral("large.dat"), samples);

    const auto firstLine = [](const QString& file) {
        const Result r = dat({QStringLiteral("info"), file});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err.size(), 1);
        return r.err.value(0);
    };
    EXPECT_EQ(firstLine(sign), QStringLiteral("q390-dat: %1: range bipolar (±2V), from the records").arg(sign));
    EXPECT_EQ(firstLine(large), QStringLiteral("q390-dat: %1: range unipolar ( +5V), from the records").arg(large));
    for (const QString& file : {small, neither})
        EXPECT_EQ(firstLine(file),
                  QStringLiteral("q390-dat: %1: the records do not tell the range; taking unipolar ( +5V) (--range sets it)").arg(file));
}

TEST_F(DatFiles, PngIsTheWindowsPlotAndPdfThePrintedPage)
{
    // A step: 1100 for the first half, 3900 for the second, unipolar.
    SampleArray samples{};
    for (int n = 0; n < SweepLength; ++n)
        samples[n] = n < 4096 ? 1100 : 3900;
    const QString file = write(QStringLiteral("step.dat"), samples);

    for (const int scale : {1, 3}) {
        SCOPED_TRACE(scale);
        const QString png = path(QStringLiteral("s%1.png").arg(scale));
        ASSERT_EQ(dat({QStringLiteral("png"), file, QStringLiteral("-o"), png, QStringLiteral("--scale"), QString::number(scale),
                       QStringLiteral("--bare")}).status, 0);
        const QImage image = QImage(png).convertToFormat(QImage::Format_RGB32);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), QSize((8200 * scale + 14) / 15 + 1, (5000 * scale + 14) / 15 + 1));
        const auto at = [&](int x, int y) { return image.pixel(x * scale / 15, y * scale / 15) & 0xFFFFFF; };
        EXPECT_EQ(at(300, 0), GridColor & 0xFFFFFF);
        EXPECT_EQ(at(0, 700), GridColor & 0xFFFFFF);
        EXPECT_EQ(at(2460, 300), GridColor & 0xFFFFFF);
        EXPECT_EQ(at(2000, 5000 - 1100), TraceColor & 0xFFFFFF);
        EXPECT_EQ(at(6000, 5000 - 3900), TraceColor & 0xFFFFFF);
        EXPECT_EQ(at(4097, 2250), TraceColor & 0xFFFFFF);
        EXPECT_EQ(at(300, 300), 0u);
        EXPECT_EQ(at(2000, 5000 - 3900), 0u);
    }

    // The page: 114 grid lines and 8192 trace segments, each stroked on its own.
    const QString pdf = path(QStringLiteral("step.pdf"));
    ASSERT_EQ(dat({QStringLiteral("pdf"), file, QStringLiteral("-o"), pdf, QStringLiteral("--bare")}).status, 0);
    QFile f(pdf);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    EXPECT_EQ(bytes.count("/Type /Page\n"), 1);
    const QRegularExpressionMatch stream =
        QRegularExpression(QStringLiteral("/Filter /FlateDecode\\s*>>\\s*stream\\r?\\n"))
            .match(QString::fromLatin1(bytes));
    ASSERT_TRUE(stream.hasMatch());
    const QByteArray packed = bytes.mid(stream.capturedEnd());
    QByteArray sized(4, '\0');
    qToBigEndian<quint32>(64u << 20, sized.data());
    const QByteArray content = qUncompress(sized + packed.left(packed.indexOf("endstream")));
    EXPECT_EQ(content.count("\nS\n"), 114 + SweepLength);
    EXPECT_EQ(content.count(" l\n"), 114 + SweepLength);
}

TEST_F(DatFiles, BadInputIsOneLineNamingTheFileAndTheReasonAndLeavesNoOutput)
{
    const QString good = write(QStringLiteral("good.dat"), SampleArray{});
    const QString out = path(QStringLiteral("out.png"));
    QFile shortFile(path(QStringLiteral("short.dat")));
    ASSERT_TRUE(shortFile.open(QIODevice::WriteOnly));
    shortFile.write(QByteArray(SampleFile::Size - 1, '\0'));
    shortFile.close();
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.dat")));
    ASSERT_EQ(mkfifo(qPrintable(path(QStringLiteral("fifo.dat"))), 0600), 0);
    const QString locked = write(QStringLiteral("locked.dat"), SampleArray{});
    ASSERT_EQ(chmod(qPrintable(locked), 0), 0);
    ASSERT_EQ(chmod(qPrintable(dir.path()), 0755), 0); // for nobody
    const QString link = path(QStringLiteral("link.dat"));
    ASSERT_TRUE(QFile::link(good, link));
    ASSERT_TRUE(QFile::link(path(QStringLiteral("loop.dat")), path(QStringLiteral("loop.dat"))));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("closed")) && QFile::copy(good, path(QStringLiteral("closed/in.dat"))));
    ASSERT_EQ(chmod(qPrintable(path(QStringLiteral("closed"))), 0700), 0); // nobody may not enter
    QFile cut(path(QStringLiteral("cut.csv")));
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly) && cut.write(dat({QStringLiteral("csv"), good, QStringLiteral("-q")}).out.left(20000)) == 20000);
    cut.close();
    const QStringList before = entries();

    struct Case {
        QStringList args;
        int status;
        QString mentioned; // in the one line on stderr
    };
    const Case cases[] = {
        {{QStringLiteral("png"), path(QStringLiteral("none.dat")), QStringLiteral("-o"), out}, 1, QStringLiteral("none.dat: no such file")},
        {{QStringLiteral("png"), path(QStringLiteral("short.dat")), QStringLiteral("-o"), out}, 1, QStringLiteral("short.dat: only 16383 bytes")},
        {{QStringLiteral("png"), path(QStringLiteral("folder.dat")), QStringLiteral("-o"), out}, 1, QStringLiteral("folder.dat: is a folder")},
        {{QStringLiteral("png"), path(QStringLiteral("fifo.dat")), QStringLiteral("-o"), out}, 1, QStringLiteral("fifo.dat: not a regular file")},
        {{QStringLiteral("csv"), QStringLiteral("/dev/zero")}, 1, QStringLiteral("/dev/zero: not a regular file")},
        {{QStringLiteral("csv"), good + QStringLiteral("/in.dat")}, 1, QStringLiteral("good.dat/in.dat: Not a directory")},
        {{QStringLiteral("csv"), path(QStringLiteral("loop.dat"))}, 1, QStringLiteral("loop.dat: Too many levels of symbolic links")},
        {{QStringLiteral("-c"), QStringLiteral("exec \"$0\" csv \"$1/$(printf '\\377.dat')\""), QStringLiteral(Q390_DAT), dir.path()}, 1,
         QStringLiteral("not a valid name in this system's encoding")},
        {{QStringLiteral("png"), good, QStringLiteral("-o"), path(QStringLiteral("no/such/folder.png"))}, 1, QStringLiteral("no/such/folder.png: No such file or directory")},
        {{QStringLiteral("pdf"), good, QStringLiteral("-o"), path(QStringLiteral("folder.dat"))}, 1, QStringLiteral("folder.dat: ")},
        {{QStringLiteral("csv"), good, QStringLiteral("-o"), good}, 1, QStringLiteral("good.dat: is the data file being read; nothing written")},
        {{QStringLiteral("csv"), good, QStringLiteral("-o"), link}, 1, QStringLiteral("link.dat: is the data file being read")},
        {{QStringLiteral("plot"), good}, 2, QStringLiteral("unknown command 'plot'")},
        {{}, 2, QStringLiteral("no command given")},
        {{QStringLiteral("csv"), good, QStringLiteral("--colour")}, 2, QStringLiteral("csv has no option --colour")},
        {{QStringLiteral("info"), good, QStringLiteral("-o"), out}, 2, QStringLiteral("info has no option -o")},
        {{QStringLiteral("csv"), good, QStringLiteral("--scale"), QStringLiteral("2")}, 2, QStringLiteral("csv has no option --scale")},
        {{QStringLiteral("csv"), good, QStringLiteral("--range"), QStringLiteral("both")}, 2, QStringLiteral("--range takes auto, unipolar or bipolar")},
        {{QStringLiteral("csv"), good, QStringLiteral("--range")}, 2, QStringLiteral("missing value after '--range'")},
        {{QStringLiteral("csv"), good, QStringLiteral("--quiet=no")}, 2, QStringLiteral("unexpected value after '--quiet'")},
        {{QStringLiteral("csv"), QStringLiteral("--"), QStringLiteral("-q")}, 1, QStringLiteral("-q: no such file")},
        {{QStringLiteral("csv"), good, path(QStringLiteral("closed/good.dat")), QStringLiteral("-o"), dir.path()}, 2,
         QStringLiteral("would both be written to")},
        {{QStringLiteral("png"), good, QStringLiteral("-o"), out, QStringLiteral("--scale"), QStringLiteral("0")}, 2, QStringLiteral("--scale takes a whole number")},
        {{QStringLiteral("png"), good}, 2, QStringLiteral("png needs -o OUT.png")},
        {{QStringLiteral("csv")}, 2, QStringLiteral("csv needs a data file")},
        {{QStringLiteral("csv"), good, QStringLiteral("-qo"), good + QStringLiteral("/sub/")}, 1,
         QStringLiteral("good.dat/sub/: Not a directory")},
        {{QStringLiteral("csv"), good, good}, 2, QStringLiteral("csv of several data files needs -o DIR")},
        {{QStringLiteral("info"), path(QStringLiteral("cut.csv"))}, 1, QStringLiteral("cut.csv: begins as a sweep's CSV but is not one")},
        {{QStringLiteral("info"), good, QStringLiteral("--overlay")}, 2, QStringLiteral("info has no option --overlay")},
        {{QStringLiteral("sr"), good, QStringLiteral("--bare"), QStringLiteral("-o-")}, 2, QStringLiteral("sr has no option --bare")},
        {{QStringLiteral("sr"), good}, 2, QStringLiteral("sr needs -o OUT.sr")},
        {{QStringLiteral("pdf"), QStringLiteral("--overlay"), good, QStringLiteral("-o"), dir.path() + u'/'}, 2,
         QStringLiteral("--overlay writes one file of every data file: -o OUT.pdf, not a folder")},
        {{QStringLiteral("sr"), good, path(QStringLiteral("none.dat")), QStringLiteral("-o"), out}, 1, QStringLiteral("none.dat: no such file")},
        {{QStringLiteral("sr"), path(QStringLiteral("link.dat")), QStringLiteral("-o"), good}, 1, QStringLiteral("good.dat: is the data file being read")},
        {{QStringLiteral("info"), good, QStringLiteral("--sweeps"), QStringLiteral("3-2")}, 2, QStringLiteral("--sweeps takes a sweep's number or two")},
        {{QStringLiteral("h5"), dir.path(), good, QStringLiteral("-o"), out}, 2, QStringLiteral("h5 makes one recording's folder into one file")},
        {{QStringLiteral("dat"), good, QStringLiteral("-o-")}, 2, QStringLiteral("dat needs -o DIR")},
        {{QStringLiteral("h5"), dir.path(), QStringLiteral("-o"), out}, 1, QStringLiteral("index.csv: No such file or directory")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        const Result r = c.args.value(0) == u"-c" ? dat(c.args, QStringLiteral("sh")) : dat(c.args);
        EXPECT_EQ(r.status, c.status);
        ASSERT_EQ(r.err.size(), 1) << r.err.join(u'\n').toStdString();
        EXPECT_TRUE(r.err[0].startsWith(u"q390-dat: ")) << r.err[0].toStdString();
        EXPECT_TRUE(r.err[0].contains(c.mentioned)) << r.err[0].toStdString();
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_EQ(entries(), before);
    }

    EXPECT_EQ(bytesOf(good), SampleFile::encode(SampleArray{}));

    for (const QString& unreadable : {locked, path(QStringLiteral("closed/in.dat"))}) {
        const Result r = datAsUser({QStringLiteral("csv"), unreadable});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err.join(u'\n').toStdString(), QStringLiteral("q390-dat: %1: Permission denied").arg(unreadable).toStdString());
    }
    EXPECT_EQ(entries(), before);

    // A full disk, or a file-size limit, behind standard output: a reason, not a signal.
    const FileSizeLimit limit(8192);
    for (const bool limited : {false, true}) {
        QProcess p;
        p.setStandardOutputFile(limited ? path(QStringLiteral("big.csv")) : QStringLiteral("/dev/full"));
        p.start(QStringLiteral(Q390_DAT), {QStringLiteral("csv"), good, QStringLiteral("--range"), QStringLiteral("unipolar")});
        ASSERT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 1);
        EXPECT_TRUE(p.readAllStandardError().endsWith(limited ? "q390-dat: standard output: File too large\n"
                                                              : "q390-dat: standard output: No space left on device\n"));
    }
}

TEST_F(DatFiles, AnOutputInAFolderThatTakesNoNewFileIsWrittenInPlaceOrKeptByteForByte)
{
    const QString good = write(QStringLiteral("good.dat"), SampleArray{});
    const QString out = write(QStringLiteral("out.csv"), SampleArray{});
    ASSERT_EQ(chmod(qPrintable(out), 0666), 0);
    ASSERT_EQ(chmod(qPrintable(dir.path()), 0555), 0);
    {
        FileSizeLimit limit(8192);
        const Result r = datAsUser({QStringLiteral("csv"), good, QStringLiteral("-o"), out});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err.value(1), QStringLiteral("q390-dat: %1: File too large").arg(out));
    }
    EXPECT_EQ(datAsUser({QStringLiteral("csv"), path(QStringLiteral("none.dat")), QStringLiteral("-o"), out}).status, 1);
    EXPECT_EQ(bytesOf(out), SampleFile::encode(SampleArray{}));
    EXPECT_EQ(datAsUser({QStringLiteral("csv"), good, QStringLiteral("-o"), out}).status, 0);
    EXPECT_EQ(bytesOf(out), dat({QStringLiteral("csv"), good}).out);
    // Another's file that may be written but not given away: written in place, its owner kept.
    ASSERT_EQ(chmod(qPrintable(dir.path()), 0777), 0);
    EXPECT_EQ(datAsUser({QStringLiteral("png"), good, QStringLiteral("-o"), out}).status, 0);
    struct stat owner {};
    EXPECT_TRUE(::stat(qPrintable(out), &owner) == 0 && owner.st_uid == geteuid() && bytesOf(out).startsWith("\x89PNG"));
    EXPECT_EQ(entries(), (QStringList{QStringLiteral("good.dat"), QStringLiteral("out.csv")}));
    ASSERT_EQ(chmod(qPrintable(dir.path()), 0700), 0);
}

TEST_F(DatFiles, AFifoOutputOrTheProgramsOwnStandardOutputIsWrittenIntoNotReplaced)
{
    const QString good = write(QStringLiteral("good.dat"), SampleArray{});
    const QString log = path(QStringLiteral("log.csv"));
    QFile kept(log);
    ASSERT_TRUE(kept.open(QIODevice::WriteOnly) && kept.write("kept\n") == 5);
    kept.close();
    QProcess appending; // -o /dev/stdout >> log.csv
    appending.setStandardOutputFile(log, QIODevice::Append);
    appending.start(QStringLiteral(Q390_DAT), {QStringLiteral("csv"), good, QStringLiteral("-o"), QStringLiteral("/dev/stdout")});
    ASSERT_TRUE(appending.waitForFinished(30000));
    EXPECT_EQ(bytesOf(log), "kept\n" + dat({QStringLiteral("csv"), good}).out);

    const QString fifo = path(QStringLiteral("csv.fifo")), link = path(QStringLiteral("fifo.csv")); // also through a link
    ASSERT_TRUE(mkfifo(qPrintable(fifo), 0600) == 0 && QFile::link(fifo, link));
    QProcess reader; // another program
    reader.setStandardOutputFile(path(QStringLiteral("read.csv")));
    reader.start(QStringLiteral("cat"), {fifo});
    EXPECT_EQ(dat({QStringLiteral("csv"), good, QStringLiteral("-o"), link}).status, 0);
    ASSERT_TRUE(reader.waitForFinished(30000));
    EXPECT_EQ(bytesOf(path(QStringLiteral("read.csv"))), dat({QStringLiteral("csv"), good}).out);
    EXPECT_FALSE(QFileInfo(fifo).isFile());
    EXPECT_TRUE(QFileInfo(link).isSymLink());
}

TEST_F(DatFiles, CommandLinesFollowGnuConventionsAndSeveralFilesGiveAnOutputEach)
{
    const QString good = write(QStringLiteral("good.dat"), SampleArray{});
    SampleArray negative{};
    negative[1] = qint16(-32768); // the sign alone: bipolar
    const QString sign = write(QStringLiteral("sign.dat"), negative);
    const QByteArray csv = dat({QStringLiteral("csv"), good, QStringLiteral("--range=unipolar")}).out;
    QDir(dir.path()).mkdir(QStringLiteral("out"));
    const QString help = QStringLiteral("help");
    const struct {
        QStringList args;
        QByteArray out; // "help": a line per option
        int errLines;
        QStringList written; // each as its own csv
    } table[] = {
        {{QStringLiteral("--help")}, "help", 0, {}},
        {{QStringLiteral("csv"), QStringLiteral("-h")}, "help", 0, {}},
        {{QStringLiteral("-V")}, "q390-dat " Q390_VERSION "\n", 0, {}},
        {{QStringLiteral("csv"), good, QStringLiteral("-q"), QStringLiteral("-o-")}, csv, 0, {}},
        {{QStringLiteral("csv"), good, QStringLiteral("-o"), QStringLiteral("-")}, csv, 1, {}},
        {{QStringLiteral("csv"), QStringLiteral("-qo") + path(QStringLiteral("a.csv")), good}, {}, 0, {QStringLiteral("a.csv")}},
        {{QStringLiteral("csv"), QStringLiteral("--output=") + path(QStringLiteral("b.csv")), QStringLiteral("--range=unipolar"), good}, {}, 0,
         {QStringLiteral("b.csv")}},
        {{QStringLiteral("csv"), good, sign, QStringLiteral("-o"), path(QStringLiteral("out"))}, {}, 2,
         {QStringLiteral("out/good.csv"), QStringLiteral("out/sign.csv")}},
        {{QStringLiteral("info"), good, sign, QStringLiteral("--quiet")}, {}, 0, {}},
        {{QStringLiteral("csv"), good, QStringLiteral("-qo"), path(QStringLiteral("made/deeper/"))}, {}, 0, {QStringLiteral("made/deeper/good.csv")}},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.args.join(u' ').toStdString());
        const Result r = dat(row.args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err.size(), row.errLines) << r.err.join(u'\n').toStdString();
        if (row.out == "help") {
            for (const char* option : {"-h, --help", "-V, --version", "--range <RANGE>", "-o, --output <FILE>", "--scale <N>", "-q, --quiet",
                                       "--bare", "--overlay"})
                EXPECT_TRUE(r.out.contains(option)) << option;
        } else if (row.args[0] == u"info") {
            EXPECT_EQ(r.out.count("file: "), 2);
            EXPECT_TRUE(r.out.contains("\n\nfile: " + sign.toUtf8() + "\nrange: bipolar"));
        } else {
            EXPECT_EQ(r.out, row.out);
        }
        for (const QString& file : row.written)
            EXPECT_EQ(bytesOf(path(file)), file.endsWith(u"sign.csv") ? dat({QStringLiteral("csv"), sign}).out : csv) << qPrintable(file);
    }
}

TEST_F(DatFiles, ARecordingsIndexGivesTheTimeChannelAndStartToCsvInfoAndTheLabels)
{
    SampleArray samples{};
    for (int n = 0; n < SweepLength; ++n)
        samples[n] = qint16(n % 4096);
    const QString sweep = recording({"1,0,unipolar,0.8192", "2,3,unipolar,0.8192", "3,0,unipolar,", "4,1,bipolar,1"}, samples);
    const QString start = QStringLiteral("2026-01-02T03:04:01.678+01:00");

    // The time of sample i: (i - 1) × 0.8192 s / 8192, that is (i - 1) × 100 µs.
    const QList<QByteArray> rows = dat({QStringLiteral("csv"), sweep.arg(1)}).out.split('\n');
    EXPECT_EQ(rows[0], "index,stored,code,volts,time_s,channel,start");
    EXPECT_EQ(rows[2], "2,1,1,0.001221,0.000100000,0," + start.toUtf8());
    EXPECT_EQ(rows[8192], "8192,4095,4095,4.998779,0.819100000,0," + start.toUtf8());
    EXPECT_EQ(dat({QStringLiteral("csv"), sweep.arg(3)}).out.left(41), "index,stored,code,volts,channel,start\n1,0");
    EXPECT_TRUE(dat({QStringLiteral("info"), sweep.arg(1)}).out.contains("channel: 0\nstart: " + start.toUtf8() + "\nduration: 0.819200 s\n"));

    // The page's words, read back as text: pdftotext joins a line's words with spaces.
    const auto words = [&](const QStringList& args) {
        const QString pdf = path(QStringLiteral("page.pdf"));
        EXPECT_EQ(dat(QStringList{QStringLiteral("pdf"), QStringLiteral("-o"), pdf} + args).status, 0);
        EXPECT_TRUE(textOf(QStringLiteral("pdfinfo"), {pdf}).contains(u"Page size:       842 x 595 pts (A4)")); // landscape
        return textOf(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")}).simplified();
    };
    const struct {
        QStringList inputs;
        QStringList shown;
    } pages[] = {
        {{sweep.arg(1)}, {"sweep-1.dat, channel 0, unipolar ( +5V), started 2026-01-02 03:04:01.678+01:00", "V 6 5 4 3 2 1 0",
                          "0 100 200 300 400 500 600 700 800 time (ms) 0.61 V/div, 82 ms/div"}},
        {{sweep.arg(4)}, {"channel 1, bipolar (±2V)", "2.0 1.5 1.0 0.5 0.0 -0.5 -1.0 -1.5 -2.0", "0 200 400 600 800 1000 time (ms) 0.488 V/div, 100 ms/div"}},
        {{sweep.arg(1), sweep.arg(2)}, {"2 sweeps, unipolar ( +5V), the first started 2026-01-02 03:04:01.678+01:00", "channel 0 channel 3",
                                        "82 ms/div"}},
        {{sweep.arg(1), sweep.arg(3)}, {"2 sweeps, channel 0,", "sweep-1.dat, 03:04:01.678", "sweep-3.dat, 03:04:03.678",
                                        "8000 sample 0.61 V/div, 820 samples/div"}},
        {{path(QStringLiteral("rec/none.dat"))}, {}}, // a failure: no page
    };
    write(QStringLiteral("rec/none.dat"), samples); // in the recording's folder, not in its index
    for (const auto& page : pages) {
        SCOPED_TRACE(page.inputs.join(u' ').toStdString());
        const QString text = words(QStringList{QStringLiteral("--overlay")} + page.inputs);
        for (const QString& shown : page.shown)
            EXPECT_TRUE(text.contains(shown)) << text.toStdString();
        if (page.shown.isEmpty())
            EXPECT_TRUE(text.startsWith(u"none.dat, unipolar ( +5V) V 6")) << text.toStdString();
    }
    const Result mixed = dat({QStringLiteral("png"), QStringLiteral("--overlay"), sweep.arg(1), sweep.arg(4), QStringLiteral("-o"), path("m.png")});
    EXPECT_EQ(mixed.status, 1);
    EXPECT_EQ(mixed.err.value(0), QStringLiteral("q390-dat: %1: was taken in bipolar (±2V) and %2 in unipolar ( +5V); one plot has one volts axis")
                                      .arg(sweep.arg(4), sweep.arg(1)));
    EXPECT_FALSE(QFileInfo::exists(path("m.png")));

    // The labelled picture holds the window's picture, pixel for pixel, on white.
    for (const QString& scale : {QStringLiteral("1"), QStringLiteral("2")}) {
        const QStringList args{QStringLiteral("png"), sweep.arg(1), QStringLiteral("--scale"), scale, QStringLiteral("-o")};
        ASSERT_EQ(dat(args + QStringList{path("bare.png"), QStringLiteral("--bare")}).status, 0);
        ASSERT_EQ(dat(args + QStringList{path("labelled.png")}).status, 0);
        const QImage bare = QImage(path("bare.png")).convertToFormat(QImage::Format_RGB32);
        const QImage labelled = QImage(path("labelled.png")).convertToFormat(QImage::Format_RGB32);
        QPoint corner; // the grid's top-left pixel: the first in GridColor
        for (int y = labelled.height() - 1; y >= 0; --y)
            for (int x = labelled.width() - 1; x >= 0; --x)
                if (labelled.pixel(x, y) == GridColor)
                    corner = {x, y};
        EXPECT_EQ(labelled.copy(QRect(corner, bare.size())), bare);
        EXPECT_EQ(labelled.pixel(0, 0), 0xFFFFFFFFu);
    }
}

TEST_F(DatFiles, SigrokCliReadsASessionBackAsTheVoltsOfTheCsv)
{
    SampleArray samples{};
    for (int n = 0; n < SweepLength; ++n)
        samples[n] = qint16(n % 3 ? 2047 - n % 2048 : -32768 + n % 2048);
    const QString sweep = recording({"1,0,bipolar,0.8192", "2,3,bipolar,0.8", "3,3,bipolar,0.8384"}, samples);
    const QString sr = path(QStringLiteral("s.sr"));
    ASSERT_EQ(dat({QStringLiteral("sr"), sweep.arg(1), sweep.arg(2), sweep.arg(3), QStringLiteral("-o"), sr}).status, 0);
    // 3 × 8192 samples in 2.4576 s.
    EXPECT_TRUE(textOf(QStringLiteral("sigrok-cli"), {QStringLiteral("-i"), sr, QStringLiteral("--show")})
                    .endsWith(u"Samplerate: 10000\nChannels: 2\n- CH0: analog\n- CH3: analog\nAnalog sample count: 24576\n"));
    QStringList rows = textOf(QStringLiteral("sigrok-cli"), {QStringLiteral("-i"), sr, QStringLiteral("-O"), QStringLiteral("csv:header=false:label=off")})
                           .split(u'\n', Qt::SkipEmptyParts);
    rows.removeIf([](const QString& row) { return row.contains(u"V DC"); }); // sigrok-cli 0.7.2 also shows the first channel so
    ASSERT_EQ(rows.size(), 3 * SweepLength);
    const QList<QByteArray> csv = dat({QStringLiteral("csv"), sweep.arg(1)}).out.split('\n');
    for (int n = 0; n < 3 * SweepLength; ++n) {
        const QStringList cells = rows[n].split(u',');
        const double volts = csv[n % SweepLength + 1].split(',')[3].toDouble();
        const int ours = n < SweepLength ? 0 : 1;
        ASSERT_EQ(cells.size(), 2);
        EXPECT_EQ(cells[1 - ours], u"nan") << n;
        // sigrok-cli prints six significant digits; the CSV rounds to six decimals.
        EXPECT_NEAR(cells[ours].toDouble(), volts, 5e-7 + 5e-6 * std::abs(volts)) << n;
    }
    // Outside a recording: no channel, no time.
    ASSERT_EQ(dat({QStringLiteral("sr"), write("plain.dat", samples), QStringLiteral("-qo"), sr}).status, 0);
    EXPECT_TRUE(textOf(QStringLiteral("sigrok-cli"), {QStringLiteral("-i"), sr, QStringLiteral("--show")})
                    .endsWith(u"Channels: 1\n- CH?: analog\nAnalog sample count: 8192\n"));
}

TEST_F(DatFiles, ARecordingFolderBecomesOneHdf5FileAndItsSweepsComeBackByteForByte)
{
    SampleArray samples{};
    for (int n = 0; n < SweepLength; ++n)
        samples[n] = qint16(n % 7 ? n % 4096 : -32768 + n % 2048);
    const QString sweep = recording({"1,0,bipolar,0.8192", "2,5,bipolar,0.8", "3,5,bipolar,", "4,1,bipolar,1"}, samples);
    const QString h5 = path(QStringLiteral("run.h5"));
    ASSERT_EQ(dat({QStringLiteral("h5"), path(QStringLiteral("rec")), QStringLiteral("-o"), h5}).status, 0);
    EXPECT_EQ(dat({QStringLiteral("h5"), path(QStringLiteral("rec")), QStringLiteral("-o"), h5}).err.value(0),
              QStringLiteral("q390-dat: %1: exists; h5 makes a new recording and replaces nothing").arg(h5));
    ASSERT_EQ(dat({QStringLiteral("dat"), h5, QStringLiteral("--sweeps"), QStringLiteral("2-3"), QStringLiteral("-o"), path("back")}).status, 0);
    EXPECT_EQ(QDir(path("back")).entryList(QDir::Files), (QStringList{"sweep-00000002-ch5.dat", "sweep-00000003-ch5.dat"}));
    EXPECT_EQ(bytesOf(path("back/sweep-00000003-ch5.dat")), bytesOf(sweep.arg(3)));
    // Its sweeps wherever a data file goes, as the folder's files.
    const QByteArray info = dat({QStringLiteral("info"), h5, QStringLiteral("--sweeps"), QStringLiteral("4")}).out;
    EXPECT_TRUE(info.startsWith("file: " + h5.toUtf8() + " sweep 4\nrange: bipolar (±2V)\nrecords: 8192\nsweep: 4\nchannel: 1\n")) << info.constData();
    const QByteArray fromFile = dat({QStringLiteral("info"), sweep.arg(4)}).out;
    EXPECT_EQ(info.mid(info.indexOf("minimum")), fromFile.mid(fromFile.indexOf("minimum")));
    EXPECT_EQ(dat({QStringLiteral("csv"), h5, QStringLiteral("--sweeps"), QStringLiteral("2"), QStringLiteral("-o-")}).out.split('\n')[2],
              dat({QStringLiteral("csv"), sweep.arg(2)}).out.split('\n')[2].replace("+01:00", "").replace("03:04:02", "02:04:02") + "Z");
}

} // namespace
