// The print command on the Qt printer surface with no printer named: the page becomes a PDF in
// the current directory, rendered here to pixels and measured. No test names a real printer.

#include "support/Doubles.h"
#include "support/FileSizeLimit.h"
#include "window/handlers/PrintCommand.h"
#include "window/handlers/PrintToFile.h"
#include "window/toolkit/QtPrinterSurface.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

constexpr double Dpi = 144; // render resolution: one pixel is ten twips
const QString PdfName = QStringLiteral("vx-2101435.pdf");
const MessageCall Confirm{QStringLiteral("打印机准备好？"), QStringLiteral("打印口状态"), MsgStyle::OkCancel};

bool isWhite(QRgb c) { return (c & 0xFFFFFF) == 0xFFFFFF; }
bool isBlack(QRgb c) { return (c & 0xFFFFFF) == 0; }
bool isGreen(QRgb c) { return (c & 0xFFFFFF) == 0x00FF00; }

// Runs a poppler tool and returns its standard output; fails the test when it cannot run.
QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        ADD_FAILURE() << program.toStdString() << " failed (poppler-utils installed?): "
                      << p.errorString().toStdString() << p.readAllStandardError().toStdString();
        return {};
    }
    return p.readAllStandardOutput();
}

struct PdfPrint : ::testing::Test {
    QTemporaryDir dir;
    QString previousDir = QDir::currentPath();
    FixedClock clock{QDateTime(QDate(2010, 10, 28), QTime(14, 35, 7))};
    ScriptedMessageBoxes boxes;
    QString defaultPrinter; // none
    QtPrinterSurface printer{PrintToFile::fallback(boxes, clock), [this] { return defaultPrinter; }};
    AcquisitionState state;
    FakeTimer timer;
    IdleAfterSweep idle;
    PrintCommand print{state, printer, timer, boxes, idle.afterSweep};

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir::setCurrent(dir.path()));
        state.RangeMode = state.BufferRangeMode = Range::Unipolar;
        for (int n = 1; n <= SweepLength; ++n)
            state.SampleBuffer[n - 1] = qint16(n % 4096);
        timer.enabled = true;
    }
    void TearDown() override { QDir::setCurrent(previousDir); }

    // The box that says where the page went: its full path.
    MessageCall written(const QString& name) const
    {
        return {QStringLiteral("未找到打印机，已打印到文件") + QDir(dir.path()).filePath(name), QStringLiteral("打印"), MsgStyle::Ok};
    }
    QStringList entries() const { return QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden); }

    // The failure box for a print whose reason mentions this text; nothing else changed.
    void expectFailure(const AcquisitionState& before, const QString& mentioned)
    {
        ASSERT_EQ(boxes.calls.size(), 2u);
        EXPECT_EQ(boxes.calls[0], Confirm);
        EXPECT_EQ(boxes.calls[1].title, QStringLiteral("打印"));
        EXPECT_EQ(boxes.calls[1].style, MsgStyle::Exclamation);
        EXPECT_TRUE(boxes.calls[1].text.startsWith(QStringLiteral("打印失败：")));
        EXPECT_TRUE(boxes.calls[1].text.contains(mentioned)) << boxes.calls[1].text.toStdString();
        EXPECT_EQ(state.SampleBuffer, before.SampleBuffer);
        EXPECT_EQ(state.RangeMode, before.RangeMode);
        boxes.calls.clear();
    }
};

// Some pixel within one of p satisfies the test.
template <class Test>
bool near(const QImage& img, QPoint p, Test test)
{
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (img.valid(p.x() + dx, p.y() + dy) && test(img.pixel(p.x() + dx, p.y() + dy)))
                return true;
    return false;
}

TEST_F(PdfPrint, NoPrinterWritesAOnePageVectorPdfOfTheRealSizeBlackGridAndGreenTrace)
{
    // A step: 1100 for the first half, 3900 for the second.
    for (int n = 1; n <= SweepLength; ++n)
        state.SampleBuffer[n - 1] = n <= 4096 ? 1100 : 3900;
    print.Command5_Click();

    EXPECT_EQ(boxes.calls, (std::vector<MessageCall>{Confirm, written(PdfName)}));
    EXPECT_EQ(entries(), QStringList{PdfName}); // nothing half-written left beside it
    QFile file(PdfName);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_TRUE(bytes.startsWith("%PDF-"));
    EXPECT_TRUE(bytes.trimmed().endsWith("%%EOF"));
    EXPECT_FALSE(bytes.contains("/Subtype /Image")); // lines, not a picture of the screen
    const QString info = QString::fromUtf8(run(QStringLiteral("pdfinfo"), {PdfName}));
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("^Pages:\\s+1$"), QRegularExpression::MultilineOption)))
        << info.toStdString();

    // Without anti-aliasing every pixel shows paper or a drawn colour.
    run(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QString::number(Dpi), QStringLiteral("-aa"), QStringLiteral("no"),
                                     QStringLiteral("-aaVector"), QStringLiteral("no"), QStringLiteral("-png"),
                                     QStringLiteral("-singlefile"), PdfName, QStringLiteral("page")});
    const QImage page = QImage(QStringLiteral("page.png")).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(page.isNull());
    QRect plot;
    int otherColours = 0;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x) {
            const QRgb c = page.pixel(x, y);
            if (isWhite(c))
                continue;
            otherColours += !isBlack(c) && !isGreen(c);
            plot |= QRect(x, y, 1, 1);
        }
    EXPECT_EQ(otherColours, 0); // no GridColor, nothing grey
    EXPECT_NEAR(plot.width() * 25.4 / Dpi, 145, 1.0);
    EXPECT_NEAR(plot.height() * 25.4 / Dpi, 88, 1.0);
    EXPECT_LT(plot.left() * 25.4 / Dpi, 10); // from the top-left of the printable area
    EXPECT_LT(plot.top() * 25.4 / Dpi, 10);

    const QPoint origin = plot.topLeft() + QPoint(1, 1); // the centre of the 1.5-pixel pen
    const auto at = [&](int x, int y) { return origin + QPoint(qRound(x / 10.0), qRound(y / 10.0)); };
    const auto black = [&](int x, int y) { return near(page, at(x, y), isBlack); };
    const auto green = [&](int x, int y) { return near(page, at(x, y), isGreen); };
    // Grid: the frame, inner lines, and the ticks on both centre lines.
    EXPECT_TRUE(black(300, 0));
    EXPECT_TRUE(black(300, 5000));
    EXPECT_TRUE(black(0, 700));
    EXPECT_TRUE(black(8200, 700));
    EXPECT_TRUE(black(300, 1500));
    EXPECT_TRUE(black(2460, 300));
    EXPECT_TRUE(black(164 * 7, 2420));
    EXPECT_TRUE(black(4020, 125 * 3));
    // Trace: the rise from the bottom edge at x = 1, both levels, the step between them.
    EXPECT_TRUE(green(1, 4500));
    EXPECT_TRUE(green(2000, 5000 - 1100));
    EXPECT_TRUE(green(6000, 5000 - 3900));
    EXPECT_TRUE(green(4097, 2250));
    EXPECT_FALSE(green(2000, 5000 - 3900));
    EXPECT_TRUE(isWhite(page.pixel(at(300, 300))));
    EXPECT_TRUE(isWhite(page.pixel(at(6000, 4300))));
}

TEST_F(PdfPrint, EachDocumentIsAFileOfItsOwnAndAnEndWithNothingDrawnWritesNothing)
{
    printer.endDoc();
    EXPECT_TRUE(entries().isEmpty());
    EXPECT_TRUE(boxes.calls.empty());

    boxes.answers = {MsgAnswer::Cancel};
    print.Command5_Click();
    EXPECT_TRUE(entries().isEmpty());
    EXPECT_TRUE(timer.enabled);

    // A printout never replaces a file: a name taken by a file or a folder moves on to the
    // first free "-n"; a minute later the name moves on.
    QFile old(PdfName);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("an older file");
    old.close();
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("vx-2101435-2.pdf")));
    print.Command5_Click();
    print.Command5_Click();
    clock.time = clock.time.addSecs(60);
    print.Command5_Click();
    printer.endDoc();
    EXPECT_EQ(entries(), (QStringList{QStringLiteral("vx-2101435-2.pdf"), QStringLiteral("vx-2101435-3.pdf"),
                                      QStringLiteral("vx-2101435-4.pdf"), PdfName, QStringLiteral("vx-2101436.pdf")}));
    EXPECT_EQ(bytesOf(PdfName), QByteArray("an older file"));
    for (const QString& name : {QStringLiteral("vx-2101435-3.pdf"), QStringLiteral("vx-2101435-4.pdf"), QStringLiteral("vx-2101436.pdf")})
        EXPECT_TRUE(bytesOf(name).startsWith("%PDF-")) << name.toStdString();
    ASSERT_EQ(boxes.calls.size(), 1u + 3 * 2); // each print: its question and its file
    EXPECT_EQ(boxes.calls[2], written(QStringLiteral("vx-2101435-3.pdf")));
}

TEST_F(PdfPrint, AFailingPrinterOrFolderShowsWhyLeavesNoFileAndTheNextPrintWorks)
{
    const AcquisitionState before = state;

    // A current directory that has been deleted: nothing can be created in it, not even by root.
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("gone")));
    ASSERT_TRUE(QDir::setCurrent(dir.filePath(QStringLiteral("gone"))));
    ASSERT_TRUE(QDir(dir.path()).rmdir(QStringLiteral("gone")));
    print.Command5_Click();
    expectFailure(before, PdfName);
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    EXPECT_TRUE(entries().isEmpty());

    // A disk that fills up part-way through the page: no truncated PDF takes the name.
    {
        FileSizeLimit full(2000);
        print.Command5_Click();
    }
    expectFailure(before, PdfName);
    EXPECT_TRUE(entries().isEmpty());

    // A printer named while no print service answers (this program's CUPS_SERVER is a socket
    // where only the spooler test starts a scheduler): an error, and never a file in its place.
    defaultPrinter = QStringLiteral("q390-test-no-such-printer");
    print.Command5_Click();
    expectFailure(before, QStringLiteral("打印服务未运行，无法打印到 ") + defaultPrinter);
    EXPECT_TRUE(entries().isEmpty());

    defaultPrinter.clear();
    print.Command5_Click();
    EXPECT_EQ(boxes.calls, (std::vector<MessageCall>{Confirm, written(PdfName)}));
    EXPECT_EQ(entries(), QStringList{PdfName});
}

} // namespace
