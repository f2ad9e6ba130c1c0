// The window's print command through a real print spooler: a CUPS scheduler of the test's own
// (its own socket, folders and logs) with a cups-pdf queue as the default printer. The page
// that arrives is rendered to pixels and measured. Skipped, saying why, where the scheduler
// cannot run.

#include "core/samples/SampleFile.h"
#include "support/WindowRig.h"
#include "window/handlers/PrintToFile.h"
#include "window/toolkit/QtPrinterSurface.h"
#include "window/toolkit/QtWindowSystem.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// libcups reads CUPS_SERVER once, at its first use in the process, so the scheduler's socket
// is named before any test runs; no test in this program reaches the machine's own spooler.
const QString SpoolerDir = [] {
    const QString dir = QDir::tempPath() + QStringLiteral("/q390-cups-%1").arg(getpid());
    qputenv("CUPS_SERVER", QFile::encodeName(dir + QStringLiteral("/cups.sock")));
    return dir;
}();

const QString CupsPdfBackend = QStringLiteral("/usr/lib/cups/backend/cups-pdf");
const QString CupsPdfPpd = QStringLiteral("/usr/share/ppd/cups-pdf/CUPS-PDF_noopt.ppd");

bool put(const QString& path, const QString& text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text.toUtf8()) == text.toUtf8().size();
}

// A scheduler with one cups-pdf queue, the default, whose pages land in out(). cups-pdf reads
// its settings for a queue from the system's CUPS folder only: that one file is the test's
// and goes again with the scheduler.
class Spooler {
public:
    Spooler() : queue_(QStringLiteral("q390test%1").arg(getpid())) {}
    ~Spooler()
    {
        if (cupsd_.state() != QProcess::NotRunning) {
            cupsd_.terminate();
            cupsd_.waitForFinished(10000);
        }
        QFile::remove(queueSettings());
        QDir(SpoolerDir).removeRecursively();
    }

    // Empty when the scheduler runs, with this line in its settings, and has the queue; otherwise why not.
    QString start(const QString& setting = {})
    {
        if (geteuid() != 0)
            return QStringLiteral("cups-pdf writes pages only for a scheduler run by root");
        for (const QString& needed : {QStringLiteral("/usr/sbin/cupsd"), QStringLiteral("/usr/sbin/lpadmin"), CupsPdfBackend, CupsPdfPpd})
            if (!QFile::exists(needed))
                return needed + QStringLiteral(" is missing (packages cups, printer-driver-cups-pdf)");
        const QDir dir(SpoolerDir);
        for (const char* sub : {"etc", "spool", "tmp", "cache", "state", "log", "out", "cups-pdf"})
            if (!dir.mkpath(QLatin1StringView(sub)))
                return QStringLiteral("cannot make ") + dir.filePath(QLatin1StringView(sub));
        // The filters run as lp and write their temporary files here.
        QFile::setPermissions(dir.filePath(QStringLiteral("tmp")), QFileDevice::Permissions(0x7777));
        const QString d = SpoolerDir;
        if (!put(d + QStringLiteral("/etc/cupsd.conf"),
                 QStringLiteral("Listen %1/cups.sock\nLogLevel info\nBrowsing Off\nWebInterface No\n"
                                "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                                "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n%2\n")
                     .arg(d, setting))
            || !put(d + QStringLiteral("/etc/cups-files.conf"),
                    QStringLiteral("ServerRoot %1/etc\nRequestRoot %1/spool\nTempDir %1/tmp\nCacheDir %1/cache\n"
                                   "StateDir %1/state\nAccessLog %1/log/access_log\nErrorLog %1/log/error_log\n"
                                   "PageLog %1/log/page_log\nServerBin /usr/lib/cups\nDataDir /usr/share/cups\n"
                                   "SystemGroup root\n")
                        .arg(d))
            || !put(queueSettings(), QStringLiteral("Out %1/out\nSpool %1/cups-pdf\nLog %1/log\n").arg(d)))
            return QStringLiteral("cannot write the scheduler's settings");

        cupsd_.start(QStringLiteral("/usr/sbin/cupsd"),
                     {QStringLiteral("-f"), QStringLiteral("-c"), d + QStringLiteral("/etc/cupsd.conf"), QStringLiteral("-s"),
                      d + QStringLiteral("/etc/cups-files.conf")});
        QElapsedTimer waited;
        waited.start();
        while (!QFile::exists(d + QStringLiteral("/cups.sock"))) {
            if (cupsd_.state() == QProcess::NotRunning || waited.elapsed() > 10000)
                return QStringLiteral("cupsd did not start: ") + log();
            QThread::msleep(20);
        }
        const QString uri = QStringLiteral("cups-pdf:/") + queue_;
        // Letter, where a PDF writer left to itself takes A4: the page shows whose paper it is.
        if (const QString failed = admin({QStringLiteral("-p"), queue_, QStringLiteral("-E"), QStringLiteral("-v"), uri,
                                          QStringLiteral("-P"), CupsPdfPpd, QStringLiteral("-o"), QStringLiteral("PageSize=Letter")});
            !failed.isEmpty())
            return failed;
        return admin({QStringLiteral("-d"), queue_});
    }

    const QString& queue() const { return queue_; }
    QDir out() const { return QDir(SpoolerDir + QStringLiteral("/out")); }

    // The one file that arrives in out(), once the job is done; empty after the time given.
    QString waitForPage(int ms) const
    {
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < ms) {
            const QStringList files = out().entryList(QDir::Files);
            QProcess lpstat;
            lpstat.start(QStringLiteral("lpstat"), {QStringLiteral("-o"), queue_});
            lpstat.waitForFinished(10000);
            if (files.size() == 1 && lpstat.readAllStandardOutput().trimmed().isEmpty())
                return out().filePath(files[0]);
            QThread::msleep(100);
        }
        return {};
    }

    QString log() const
    {
        QFile f(SpoolerDir + QStringLiteral("/log/error_log"));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll().right(2000)) : QStringLiteral("(no log)");
    }

private:
    QString queueSettings() const { return QStringLiteral("/etc/cups/cups-pdf-%1.conf").arg(queue_); }

    QString admin(const QStringList& args) const
    {
        QProcess p;
        p.start(QStringLiteral("/usr/sbin/lpadmin"), args);
        if (!p.waitForFinished(30000) || p.exitCode() != 0)
            return QStringLiteral("lpadmin %1 failed: %2").arg(args.join(u' '), QString::fromUtf8(p.readAllStandardError()));
        return {};
    }

    QString queue_;
    QProcess cupsd_;
};

QByteArray tool(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        ADD_FAILURE() << program.toStdString() << " failed: " << p.readAllStandardError().toStdString();
    return p.readAllStandardOutput();
}

bool dark(QRgb c) { return qRed(c) < 96 && qGreen(c) < 96 && qBlue(c) < 96; }
bool green(QRgb c) { return qGreen(c) > 160 && qRed(c) < 96 && qBlue(c) < 96; }
bool paper(QRgb c) { return qRed(c) > 224 && qGreen(c) > 224 && qBlue(c) > 224; }

TEST(SpoolerPrint, TheWindowPrintsALoadedFileOnTheDefaultPrinterAsOnePageOfGridAndTrace)
{
    Spooler spooler;
    if (const QString why = spooler.start(); !why.isEmpty())
        GTEST_SKIP() << "no print spooler here: " << why.toStdString();
    ASSERT_EQ(QtPrinterSurface::systemDefaultPrinter(), spooler.queue());

    // A bipolar step: +1000 for the first half, -1500 for the second.
    QTemporaryDir work;
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(work.path()));
    SampleArray samples{};
    for (int n = 0; n < SweepLength; ++n)
        samples[n] = n < 4096 ? qint16(1000) : qint16(1500 - 32768);
    QFile file(work.filePath(QStringLiteral("step.dat")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(SampleFile::encode(samples));
    file.close();

    ScriptedMessageBoxes boxes;
    FixedClock clock{QDateTime(QDate(2010, 10, 28), QTime(14, 35, 7))};
    QtPrinterSurface printer{PrintToFile::fallback(boxes, clock)};
    {
        WindowRig w({.boxes = &boxes, .printer = &printer});
        w.dialog.names.push_back(file.fileName());
        w.form.Timer1_Timer(); // one sweep in "±2V": the range the file is read in
        w.form.Command4_Click();
        w.form.Command5_Click();
    }
    EXPECT_EQ(boxes.calls, (std::vector<MessageCall>{{QStringLiteral("打印机准备好？"), QStringLiteral("打印口状态"), MsgStyle::OkCancel}}));
    EXPECT_EQ(QDir(work.path()).entryList(QDir::Files), QStringList{QStringLiteral("step.dat")}); // no fallback PDF
    QDir::setCurrent(previous);

    const QString page = spooler.waitForPage(120000);
    ASSERT_FALSE(page.isEmpty()) << "no page arrived: " << spooler.log().toStdString();
    const QString info = QString::fromUtf8(tool(QStringLiteral("pdfinfo"), {page}));
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("^Pages:\\s+1$"), QRegularExpression::MultilineOption)))
        << info.toStdString();
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("^Page size:\\s+612 x 792 pts"), QRegularExpression::MultilineOption)))
        << info.toStdString(); // the queue's Letter

    // Rendered at 144 dpi, one pixel is ten twips.
    const QString png = spooler.out().filePath(QStringLiteral("page"));
    tool(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("144"), QStringLiteral("-aa"), QStringLiteral("no"),
                                      QStringLiteral("-aaVector"), QStringLiteral("no"), QStringLiteral("-png"),
                                      QStringLiteral("-singlefile"), page, png});
    const QImage image = QImage(png + QStringLiteral(".png")).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(image.isNull());
    QRect plot;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (!paper(image.pixel(x, y)))
                plot |= QRect(x, y, 1, 1);
    EXPECT_NEAR(plot.width() / 144.0 * 25.4, 145, 1.0);
    EXPECT_NEAR(plot.height() / 144.0 * 25.4, 88, 1.0);

    // cups-pdf prints on the whole sheet, so the printable area and the plot start at its corner.
    EXPECT_EQ(plot.topLeft(), QPoint(0, 0));
    const QPoint origin(0, 0);
    const auto near = [&](int x, int y, bool (*test)(QRgb)) {
        const QPoint p = origin + QPoint(qRound(x / 10.0), qRound(y / 10.0));
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (image.valid(p.x() + dx, p.y() + dy) && test(image.pixel(p.x() + dx, p.y() + dy)))
                    return true;
        return false;
    };
    // The grid: frame, inner lines, ticks on both centre lines.
    EXPECT_TRUE(near(300, 0, dark));
    EXPECT_TRUE(near(8200, 700, dark));
    EXPECT_TRUE(near(2460, 300, dark));
    EXPECT_TRUE(near(164 * 7, 2420, dark));
    EXPECT_TRUE(near(4020, 125 * 3, dark));
    // The trace: rising from the bottom edge at x = 1, both levels, the step between them.
    EXPECT_TRUE(near(1, 4500, green));
    EXPECT_TRUE(near(2000, 5000 - 3500, green));
    EXPECT_TRUE(near(6000, 5000 - 1000, green));
    EXPECT_TRUE(near(4097, 2500, green));
    EXPECT_FALSE(near(2000, 5000 - 1000, green));
    EXPECT_TRUE(near(6000, 1000, paper));
}

TEST(SpoolerPrint, APrintTheSpoolerRefusesShowsABoxWithTheReasonAndLeavesNeitherJobNorFile)
{
    Spooler spooler; // one that takes requests up to 32 KiB: the queue's PPD, not the page's PDF
    if (const QString why = spooler.start(QStringLiteral("LimitRequestBody 32768")); !why.isEmpty())
        GTEST_SKIP() << "no print spooler here: " << why.toStdString();
    const QString queue = spooler.queue();
    struct Case {
        QString refuse, printer, reason, undo;
    };
    const Case cases[] = {
        {QStringLiteral("cupsreject"), queue, QStringLiteral("打印机 %1 不接受打印作业").arg(queue), QStringLiteral("cupsaccept")},
        // A stopped queue takes jobs and holds them: refused before one is made.
        {QStringLiteral("cupsdisable"), queue, QStringLiteral("打印机 %1 已停止").arg(queue), QStringLiteral("cupsenable")},
        {{}, QStringLiteral("q390-gone"), QStringLiteral("找不到打印机 q390-gone"), {}},
        // The job is made, and its document refused as it ends.
        {{}, queue, QStringLiteral("打印机 %1：Request Entity Too Large").arg(queue), {}},
    };
    QTemporaryDir work;
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(work.path()));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason.toStdString());
        if (!c.refuse.isEmpty())
            tool(QStringLiteral("/usr/sbin/") + c.refuse, {queue});
        ScriptedMessageBoxes boxes;
        FixedClock clock{QDateTime(QDate(2010, 10, 28), QTime(14, 35, 7))};
        QtPrinterSurface printer{PrintToFile::fallback(boxes, clock), [&] { return c.printer; }};
        AcquisitionState state;
        state.BufferRangeMode = Range::Unipolar;
        for (int n = 1; n <= SweepLength; ++n) // a trace of some 48 KiB of PDF
            state.SampleBuffer[n - 1] = qint16(n * 7 % 4096);
        FakeTimer timer;
        IdleAfterSweep idle;
        PrintCommand(state, printer, timer, boxes, idle.afterSweep).Command5_Click();
        EXPECT_EQ(boxes.calls, (std::vector<MessageCall>{
                                   {QStringLiteral("打印机准备好？"), QStringLiteral("打印口状态"), MsgStyle::OkCancel},
                                   {QStringLiteral("打印失败：") + c.reason, QStringLiteral("打印"), MsgStyle::Exclamation}}));
        EXPECT_TRUE(QDir(work.path()).isEmpty()); // no fallback PDF
        EXPECT_TRUE(tool(QStringLiteral("lpstat"), {QStringLiteral("-o"), queue}).trimmed().isEmpty());
        if (!c.undo.isEmpty())
            tool(QStringLiteral("/usr/sbin/") + c.undo, {queue});
    }
    QDir::setCurrent(previous);
}

// A scheduler that takes the connection and never answers, as a hung one does.
TEST(SpoolerPrint, AStalledSchedulerLeavesTheWindowAnsweringAndFailsWithinSeconds)
{
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("stalled.sock")));
    sockaddr_un address = {AF_UNIX, {}};
    qstrncpy(address.sun_path, path.constData(), sizeof address.sun_path);
    const int stalled = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_TRUE(::bind(stalled, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && ::listen(stalled, 8) == 0);
    const QByteArray spooler = qgetenv("CUPS_SERVER");
    qputenv("CUPS_SERVER", path);
    QtPrinterSurface printer{PdfFallback{}};
    WindowRig w({.printer = &printer});
    QTimer::singleShot(500, [&] { w.click(w.command(6)); });
    QTimer::singleShot(700, [&] { w.click(w.command(1)); }); // Exit waits for the print and its box
    std::vector<int> endsAtBox;
    w.boxes.whileShown = [&] { endsAtBox.push_back(w.lifetime.ends); };
    QElapsedTimer waited;
    waited.start();
    w.form.Command5_Click();
    EXPECT_LT(waited.elapsed(), 10000);
    EXPECT_EQ(endsAtBox, (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(w.lifetime.ends, 1);
    qputenv("CUPS_SERVER", spooler);
    ::close(stalled);
    EXPECT_EQ(w.boxes.calls.at(1).title, QStringLiteral("关于 Q390 — 晨星测控")); // About, answered while the print waited
    EXPECT_EQ(w.boxes.calls.back(), (MessageCall{QStringLiteral("打印失败：打印服务 %1 无响应").arg(QFile::decodeName(path)),
                                               QStringLiteral("打印"), MsgStyle::Exclamation}));
}

} // namespace
