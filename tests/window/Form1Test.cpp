#include "core/samples/SampleFile.h"
#include "devices/SystemSerialDevice.h"
#include "support/StorageRig.h"
#include "support/WindowRig.h"
#include "window/AppIcon.h"
#include "window/Form1.h"
#include "window/Lamp.h"
#include "window/PlotWidget.h"
#include "window/UnhandledErrors.h"
#include "window/handlers/PrintToFile.h"
#include "window/handlers/Procedures.h"
#include "window/toolkit/QtPrinterSurface.h"
#include "window/toolkit/QtWindowSystem.h"
#include "window/toolkit/TerminationSignals.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>

namespace {

// Form1 over test doubles with three serial devices: the simulator answers the codes queued
// here (0 when none).
struct Window : WindowRig {
    Window()
        : WindowRig({.devices = {{QStringLiteral("/dev/ttyUSB0"), QStringLiteral("/dev/serial/by-id/usb-A")},
                                 {QStringLiteral("/dev/ttyS10"), QStringLiteral("/dev/ttyS10")},
                                 {QStringLiteral("/dev/ttyS2"), QStringLiteral("/dev/ttyS2")}}})
    {
    }
};

TEST(Form1, StartsUpInTheStatedState)
{
    Window w;
    EXPECT_EQ(w.form.windowTitle(),
              QStringLiteral(" Q390      微型数据采集器  ") + QString(27, u' ') + Form1::Maker + u' ');
    EXPECT_EQ(w.form.pos(), QPoint(0, 0));
    EXPECT_EQ(w.form.size(), QSize(611, 428));
    EXPECT_EQ(w.form.palette().color(QPalette::Window), QColor(192, 192, 192));

    for (int n = 1; n <= 12; ++n)
        EXPECT_EQ(w.option(n)->isChecked(), n == ChannelOptions[0] || n == ScanOption || n == BipolarOption) << "Option" << n;
    EXPECT_TRUE(w.timer.enabled);
    EXPECT_EQ(w.command(2)->text(), QStringLiteral("打开串口"));
    EXPECT_EQ(w.lamp()->fillColor(), LampClosed);
    EXPECT_FALSE(w.form.comm().portOpen());
    EXPECT_EQ(w.form.comm().commPort(), 1);
    EXPECT_EQ(w.form.comm().settings(), QStringLiteral("115200,n,8,1"));
    EXPECT_FALSE(w.form.state().RangeMode); // no tick has run yet

    auto* combo = w.get<QComboBox>("Combo1");
    ASSERT_EQ(combo->count(), 16);
    EXPECT_EQ(combo->currentText(), QStringLiteral("COM1"));
    EXPECT_EQ(combo->itemText(15), QStringLiteral("COM16"));
    // Each entry names its device, in natural order of the paths.
    EXPECT_EQ(combo->itemData(0, Qt::ToolTipRole).toString(), QStringLiteral("/dev/ttyS2"));
    EXPECT_EQ(combo->itemData(1, Qt::ToolTipRole).toString(), QStringLiteral("/dev/ttyS10"));
    EXPECT_EQ(combo->itemData(2, Qt::ToolTipRole).toString(), QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(combo->itemData(3, Qt::ToolTipRole).toString(), QStringLiteral("无此端口"));

    // The grid twice, once over a cleared surface: one grid.
    EXPECT_EQ(w.plot()->picture(), freshPicture(w.plot()->size()));
    EXPECT_FALSE(w.plot()->showsOverlay()); // nothing simulated drawn yet
    EXPECT_EQ(w.form.focusWidget(), w.command(1));
}

// A caption as its control's style lays it out: the text, the area it is drawn in (and
// clipped to), and its alignment there.
struct Caption {
    QString text;
    QRect area;
    Qt::Alignment alignment;
};

QList<Caption> captionsOf(QWidget* widget)
{
    QStyle* style = widget->style();
    QStyleOptionButton button;
    button.initFrom(widget);
    if (auto* label = qobject_cast<QLabel*>(widget))
        return {{label->text(), label->contentsRect(), label->alignment()}};
    if (auto* radio = qobject_cast<QRadioButton*>(widget)) {
        button.text = radio->text();
        return {{radio->text(), style->subElementRect(QStyle::SE_RadioButtonContents, &button, radio),
                 Qt::AlignLeft | Qt::AlignVCenter}};
    }
    if (auto* push = qobject_cast<QPushButton*>(widget)) {
        button.text = push->text();
        button.features = QStyleOptionButton::AutoDefaultButton;
        return {{push->text(), style->subElementRect(QStyle::SE_PushButtonContents, &button, push), Qt::AlignCenter}};
    }
    if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        QStyleOptionGroupBox frame;
        frame.initFrom(group);
        frame.text = group->title();
        frame.textAlignment = group->alignment();
        frame.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        frame.lineWidth = 1;
        const QRect label = style->subControlRect(QStyle::CC_GroupBox, &frame, QStyle::SC_GroupBoxLabel, group);
        return {{group->title(), label.intersected(group->rect()), Qt::AlignLeft | Qt::AlignVCenter}};
    }
    if (auto* combo = qobject_cast<QComboBox*>(widget)) { // every entry, in the text field
        QList<Caption> entries;
        const QRect field = combo->lineEdit()->contentsRect().adjusted(2, 0, -2, 0);
        const QRect inCombo(combo->lineEdit()->mapTo(combo, field.topLeft()), field.size());
        for (int i = 0; i < combo->count(); ++i)
            entries.append({combo->itemText(i), inCombo.intersected(combo->rect()), Qt::AlignLeft | Qt::AlignVCenter});
        return entries;
    }
    return {};
}

// Every caption of every control is whole on screen: the ink of its glyphs, in the control's
// own font at this screen's scale, lies inside the area its style draws it in. The channel and
// range buttons' own names are meant to be hidden; their round buttons must be whole.
void expectCaptionsWhole(QWidget* window)
{
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        if (qobject_cast<QRadioButton*>(widget) && widget->objectName() == static_cast<QRadioButton*>(widget)->text()) {
            QStyleOptionButton button;
            button.initFrom(widget);
            const QRect indicator = widget->style()->subElementRect(QStyle::SE_RadioButtonIndicator, &button, widget);
            EXPECT_TRUE(widget->rect().contains(indicator)) << widget->objectName().toStdString();
            continue;
        }
        for (const Caption& caption : captionsOf(widget)) {
            const QFontMetrics metrics = widget->fontMetrics();
            const QRect line = QStyle::alignedRect(Qt::LeftToRight, caption.alignment,
                                                   metrics.size(Qt::TextShowMnemonic, caption.text), caption.area);
            const QRect ink = metrics.tightBoundingRect(caption.text).translated(line.left(), line.top() + metrics.ascent());
            EXPECT_TRUE(caption.area.contains(ink))
                << widget->objectName().toStdString() << " \"" << caption.text.toStdString() << "\" needs "
                << ink.width() << "x" << ink.height() << " px at (" << ink.x() << "," << ink.y() << "), has "
                << caption.area.width() << "x" << caption.area.height() << " at (" << caption.area.x() << ","
                << caption.area.y() << ") at scale " << widget->devicePixelRatioF();
        }
    }
}

TEST(Form1, ControlsSitAtTheirTwipGeometryWithEveryCaptionWhole)
{
    Window w;
    struct Expect {
        const char* name;
        int left, top, width, height;
        const char* text;
    } controls[] = {
        {"Picture1", 840, 100, 8280, 5090, nullptr}, {"Frame2", 0, 240, 855, 3375, "通道"},
        {"Option1", 240, 360, 255, 255, nullptr},    {"Option10", 240, 2880, 255, 255, nullptr},
        {"Label8", 600, 2880, 135, 255, "7"},        {"Frame3", 0, 3840, 855, 1095, "量程"},
        {"Label9", 360, 360, 375, 255, " +5V"},      {"Label10", 360, 720, 375, 255, "±2V"},
        {"Combo1", 120, 5280, 975, 300, nullptr},    {"Shape1", 1200, 5280, 255, 255, nullptr},
        {"Command2", 120, 5760, 1215, 375, "打开串口"}, {"Frame1", 1800, 5400, 2055, 855, "显示方式"},
        {"Option4", 240, 240, 735, 375, "扫描"},     {"Option3", 1080, 240, 855, 375, "静止"},
        {"Command3", 4200, 5640, 735, 375, "存盘"},  {"Command4", 4920, 5640, 735, 375, "取盘"},
        {"Command5", 5640, 5640, 735, 375, "打印"},  {"Command6", 7080, 5640, 735, 375, "关于"},
        {"Command1", 7800, 5640, 735, 375, "退出"},
    };
    for (const Expect& c : controls) {
        QWidget* widget = w.get<QWidget>(c.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->geometry(), QRect(qRound(c.left / 15.0), qRound(c.top / 15.0), qRound(c.width / 15.0),
                                           qRound(c.height / 15.0)))
            << c.name;
        if (!c.text)
            continue;
        QString text;
        if (auto* box = qobject_cast<QGroupBox*>(widget))
            text = box->title();
        else if (auto* label = qobject_cast<QLabel*>(widget))
            text = label->text();
        else if (auto* button = qobject_cast<QAbstractButton*>(widget))
            text = button->text();
        EXPECT_EQ(text, QString::fromUtf8(c.text)) << c.name;
    }
    EXPECT_EQ(w.option(5)->parentWidget()->objectName(), QStringLiteral("Frame2"));
    EXPECT_EQ(w.option(12)->parentWidget()->objectName(), QStringLiteral("Frame3"));
    EXPECT_EQ(w.option(3)->parentWidget()->objectName(), QStringLiteral("Frame1"));

    expectCaptionsWhole(&w.form);

    const QRect exitAt = w.command(1)->geometry();
    w.form.resize(900, 700); // nothing moves when the window is resized
    EXPECT_EQ(w.command(1)->geometry(), exitAt);
}

TEST(Form1, OneSelectionPerFrame)
{
    Window w;
    w.click(w.option(ChannelOptions[6]));
    w.click(w.option(UnipolarOption));
    w.click(w.option(HoldOption));
    for (int n = 1; n <= 12; ++n)
        EXPECT_EQ(w.option(n)->isChecked(), n == ChannelOptions[6] || n == UnipolarOption || n == HoldOption) << "Option" << n;
}

TEST(Form1, SweepsTheSelectedChannelAndRangeThroughTheSimulator)
{
    Window w;
    w.form.Timer1_Timer();
    EXPECT_EQ(w.asked.size(), std::size_t(SweepLength));
    EXPECT_EQ(w.asked.back().channel, 0);
    EXPECT_EQ(w.asked.back().range, Range::Bipolar);
    EXPECT_EQ(w.form.state().SampleBuffer[0], 0);
    // Bipolar 0 lies on the centre line.
    EXPECT_EQ(w.plot()->picture().pixel(4000 / 15, 2500 / 15) | 0xFF000000u, TraceColor);

    w.click(w.option(ChannelOptions[5]));
    w.click(w.option(UnipolarOption));
    w.asked.clear();
    w.codes.assign(SweepLength, 4095);
    w.form.Timer1_Timer();
    EXPECT_EQ(w.asked.back().channel, 5);
    EXPECT_EQ(w.asked.back().range, Range::Unipolar);
    EXPECT_EQ(w.form.state().SampleBuffer[SweepLength - 1], 4095);
    EXPECT_EQ(w.plot()->picture().pixel(4000 / 15, 905 / 15) | 0xFF000000u, TraceColor);
}

TEST(Form1, HandlersClickedDuringAYield)
{
    Window w;
    const ScratchDir scratch; // for the save
    // Hold mid-sweep: the sweep completes, no sweep follows. A save confirmed then waits for it,
    // its button held down and the cursor over the plot busy until the file is written.
    w.pump.at[1000] = [&] { w.click(w.option(HoldOption)); };
    w.pump.at[1001] = [&] { w.click(w.command(SaveButton)); };
    w.pump.at[1002] = [&] { EXPECT_TRUE(!w.command(SaveButton)->isEnabled() && w.command(SaveButton)->isDown() && w.plot()->cursor().shape() == Qt::BusyCursor); };
    w.form.Timer1_Timer();
    EXPECT_FALSE(w.timer.enabled);
    EXPECT_TRUE(w.option(HoldOption)->isChecked());
    EXPECT_EQ(w.asked.size(), std::size_t(SweepLength));
    EXPECT_TRUE(w.command(SaveButton)->isEnabled() && !w.command(SaveButton)->isDown() && !w.plot()->testAttribute(Qt::WA_SetCursor));

    // Scan mid-sweep: sweeps continue.
    w.pump.at[SweepLength + 10] = [&] { w.click(w.option(ScanOption)); };
    w.form.Timer1_Timer();
    EXPECT_TRUE(w.timer.enabled);

    // Exit mid-sweep: the sweep does not go on.
    w.asked.clear();
    w.pump.at[2 * SweepLength + 30] = [&] { w.click(w.command(1)); };
    w.form.Timer1_Timer();
    EXPECT_EQ(w.asked.size(), 30u);
    EXPECT_TRUE(w.lifetime.ended());
}

TEST(Form1, PortToggleOpensClosesAndRefuses)
{
    Window w;
    w.click(w.command(2));
    ASSERT_TRUE(w.form.comm().portOpen());
    EXPECT_EQ(w.serial.opened, QStringList{QStringLiteral("/dev/ttyS2")});
    EXPECT_EQ(w.serial.lastSettings, LineSettings::parse(QStringLiteral("115200,n,8,1")));
    EXPECT_EQ(w.command(2)->text(), QStringLiteral("关闭串口"));
    EXPECT_EQ(w.lamp()->fillColor(), LampOpen);
    EXPECT_EQ(w.lamp()->toolTip(), QStringLiteral("串口控制线"));

    w.click(w.command(2));
    EXPECT_FALSE(w.form.comm().portOpen());
    EXPECT_EQ(w.command(2)->text(), QStringLiteral("打开串口"));
    EXPECT_EQ(w.lamp()->fillColor(), LampClosed);
    EXPECT_TRUE(w.lamp()->toolTip().isEmpty());

    w.serial.reach = SerialDevice::Link::FtdiBitBang;
    w.click(w.command(2));
    EXPECT_EQ(w.lamp()->toolTip(), QStringLiteral("FTDI 同步位模式"));
    w.click(w.command(2));
    EXPECT_TRUE(w.lamp()->toolTip().isEmpty());

    w.serial.refuseOpen = true;
    w.click(w.command(2));
    ASSERT_EQ(w.boxes.calls.size(), 1u);
    EXPECT_EQ(w.boxes.calls[0], (MessageCall{QStringLiteral("无效端口号"), QStringLiteral("Q390A 数据采集器"), MsgStyle::Exclamation}));
    EXPECT_FALSE(w.form.comm().portOpen());
    EXPECT_EQ(w.command(2)->text(), QStringLiteral("打开串口"));
    EXPECT_EQ(w.lamp()->fillColor(), LampClosed);
    EXPECT_TRUE(w.boxes.answers.empty());
}

TEST(Form1, ASweepKeepsToOneSourceAndTheNoteMarksExactlyWhatTheSimulatorDrew)
{
    Window w;
    w.codes.assign(SweepLength, 700);
    w.form.Timer1_Timer();
    const SampleArray simulated = w.form.state().SampleBuffer;
    ASSERT_EQ(simulated[SweepLength - 1], 700);
    EXPECT_TRUE(w.plot()->showsOverlay());

    // Opened 100 samples into a simulated sweep: the sweep ends there and keeps nothing; what
    // it drew is still the simulator's.
    w.codes.assign(SweepLength, 300);
    w.pump.at[SweepLength + 100] = [&] { w.click(w.command(2)); };
    w.form.Timer1_Timer();
    EXPECT_EQ(w.pump.count, SweepLength + 100);
    EXPECT_EQ(w.form.state().SampleBuffer, simulated);
    EXPECT_TRUE(w.plot()->showsOverlay());

    // A whole sweep from the port (CTS asserted throughout: code 0) carries the note that
    // nothing answered, not the simulator's; closed 2000 samples into the next, that sweep too
    // is dropped whole, and the note stays with the last whole one.
    w.form.Timer1_Timer();
    const SampleArray fromPort = w.form.state().SampleBuffer;
    EXPECT_EQ(fromPort[0], 0);
    EXPECT_EQ(w.plot()->shownNote(), QStringLiteral("无信号"));
    w.pump.at[w.pump.count + 2000] = [&] { w.click(w.command(2)); };
    w.form.Timer1_Timer();
    EXPECT_EQ(w.form.state().SampleBuffer, fromPort);
    EXPECT_EQ(w.plot()->shownNote(), QStringLiteral("无信号"));
    EXPECT_EQ(w.asked.size(), std::size_t(SweepLength + 100)); // the simulator made no conversion for them

    // Closed again, the simulator's sweeps carry its note; a replayed file none.
    w.form.Timer1_Timer();
    EXPECT_EQ(w.plot()->shownNote(), QStringLiteral("模拟信号"));
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("replayed.dat"));
    SampleFile::write(file, simulated);
    w.dialog.names.push_back(file);
    w.click(w.command(4));
    EXPECT_FALSE(w.plot()->showsOverlay());
}

// Numbers stay with their devices for the whole run: a device that comes later takes the lowest
// free number, an unplugged one keeps its number and gets it back when it returns.
TEST(Form1, PortNumbersStayWithTheirDevicesAndWithinOneToSixteen)
{
    Window w;
    auto* combo = w.get<QComboBox>("Combo1");
    const auto entry = [&](int number) {
        const QModelIndex index = combo->model()->index(number - 1, 0);
        return (index.flags() & Qt::ItemIsEnabled ? QString() : QStringLiteral("greyed "))
            + index.data(Qt::ToolTipRole).toString();
    };
    const auto openAndClose = [&](const QString& text) {
        combo->setEditText(text);
        w.click(w.command(2));
        if (w.form.comm().portOpen())
            w.click(w.command(2));
    };

    w.devices.append({QStringLiteral("/dev/ttyACM0"), QStringLiteral("/dev/serial/by-id/usb-B")});
    w.devices.removeFirst(); // usb-A unplugged
    combo->showPopup();
    combo->hidePopup();
    EXPECT_EQ(entry(1), QStringLiteral("/dev/ttyS2")); // not the newcomer, first in path order
    EXPECT_EQ(entry(3), QStringLiteral("greyed 无此端口"));
    EXPECT_EQ(entry(4), QStringLiteral("/dev/ttyACM0"));
    EXPECT_EQ(entry(16), QStringLiteral("greyed 无此端口"));

    // Back on another path, usb-A is COM3 again; a new adapter takes the lowest free number.
    w.devices.append({QStringLiteral("/dev/ttyUSB1"), QStringLiteral("/dev/serial/by-id/usb-A")});
    w.devices.append({QStringLiteral("/dev/ttyUSB0"), QStringLiteral("/dev/serial/by-id/usb-C")});
    for (const char* text : {"COM1", "COM3", "com5", "/dev/ttyACM7", "COM6", "COM17", "COM99999999999", "COM0"})
        openAndClose(QString::fromLatin1(text));
    EXPECT_EQ(w.serial.opened, (QStringList{QStringLiteral("/dev/ttyS2"), QStringLiteral("/dev/ttyUSB1"),
                                            QStringLiteral("/dev/ttyUSB0"), QStringLiteral("/dev/ttyACM7")}));
    ASSERT_EQ(w.boxes.calls.size(), 4u); // COM6 has no device; the others are no port numbers
    for (const MessageCall& call : w.boxes.calls)
        EXPECT_EQ(call, (MessageCall{QStringLiteral("无效端口号"), QStringLiteral("Q390A 数据采集器"), MsgStyle::Exclamation}));
    EXPECT_EQ(w.form.comm().commPort(), 6);
    combo->showPopup();
    combo->hidePopup();
    EXPECT_EQ(entry(3), QStringLiteral("/dev/ttyUSB1"));
    EXPECT_EQ(entry(5), QStringLiteral("/dev/ttyUSB0"));

    // Listed before udev has made its stable link, a device keeps its number once the link is there.
    w.devices.append({QStringLiteral("/dev/ttyUSB2"), QStringLiteral("/dev/ttyUSB2"), 0xBC02});
    combo->showPopup();
    w.devices.last().stableName = QStringLiteral("/dev/serial/by-id/usb-D");
    combo->showPopup();
    combo->hidePopup();
    EXPECT_EQ(entry(6), QStringLiteral("/dev/ttyUSB2"));
    EXPECT_EQ(entry(7), QStringLiteral("greyed 无此端口"));
}

TEST(Form1, RealSerialPortThatDoesNotExistGivesOneMessage)
{
    SystemSerialDevice serial;
    WindowRig w({.serial = &serial,
                 .devices = {{QStringLiteral("/nonexistent/ttyQ390"), QStringLiteral("/nonexistent/ttyQ390")}}});
    w.form.Command2_Click();
    EXPECT_EQ(w.boxes.calls, (std::vector<MessageCall>{{QStringLiteral("无效端口号"), QStringLiteral("Q390A 数据采集器"), MsgStyle::Exclamation}}));
    EXPECT_FALSE(w.form.comm().portOpen());
}

TEST(Form1, LineFailureWhileOpenClosesThePortSelectsHoldAndKeepsRunning)
{
    Window w;
    w.click(w.command(2));
    const SampleArray before = w.form.state().SampleBuffer;
    w.serial.failFromLineOp = 65 * 100 + 20;
    w.form.Timer1_Timer();
    EXPECT_EQ(w.pump.count, 100);
    EXPECT_EQ(w.form.state().SampleBuffer, before); // partial samples dropped
    EXPECT_FALSE(w.form.comm().portOpen());
    EXPECT_EQ(w.command(2)->text(), QStringLiteral("打开串口"));
    EXPECT_EQ(w.lamp()->fillColor(), LampClosed);
    EXPECT_TRUE(w.option(HoldOption)->isChecked());
    EXPECT_FALSE(w.timer.enabled);
    EXPECT_EQ(w.boxes.calls,
              (std::vector<MessageCall>{{QStringLiteral("串口通信失败：Input/output error"), QStringLiteral("Q390A 数据采集器"), MsgStyle::Exclamation}}));
    EXPECT_FALSE(w.lifetime.ended());
    EXPECT_FALSE(w.form.sweeping());

    // The program goes on: the port opens again once the device is back.
    w.serial.failFromLineOp = -1;
    w.click(w.command(2));
    EXPECT_TRUE(w.form.comm().portOpen());
}

TEST(Form1, ExitAndClosingTheWindowCloseThePortAndEnd)
{
    Window w;
    w.click(w.command(2));
    w.click(w.command(1));
    EXPECT_FALSE(w.form.comm().portOpen());
    EXPECT_EQ(w.lifetime.ends, 1);
    EXPECT_EQ(w.lifetime.status, 0);

    Window closed;
    closed.click(closed.command(2));
    closed.form.close();
    EXPECT_FALSE(closed.form.comm().portOpen());
    EXPECT_EQ(closed.lifetime.ends, 1);

    Window idle; // Exit with the port closed does not touch it
    idle.click(idle.command(1));
    EXPECT_EQ(idle.serial.closes, 0);
}

// Form1 with the program's own lifetime, event pump, boxes and no-printer PDF printer, saving
// and printing into the current folder; its port notes every open and close in a journal file.
struct ExitRig {
    class JournalPort final : public SerialDevice {
    public:
        explicit JournalPort(QString journal) : journal_(std::move(journal)) {}
        void open(const QString&, const LineSettings&) override { note("open"); open_ = true; }
        void close() override { note("close"); open_ = false; }
        bool isOpen() const override { return open_; }
        void setRts(bool) override {}
        void setDtr(bool) override {}
        bool readCts() override { return true; }

    private:
        void note(const char* what)
        {
            QFile file(journal_);
            if (file.open(QIODevice::Append))
                file.write(QByteArray(what) + '\n');
        }
        QString journal_;
        bool open_ = false;
    };

    explicit ExitRig(const QString& journal) : serial(journal)
    {
        boxes.setParent(&w.form);
        w.form.Form_Load();
        w.form.Command2_Click();
    }
    void queueClick(int n) { QMetaObject::invokeMethod(w.command(n), "click", Qt::QueuedConnection); }

    QtMessageBoxes boxes;
    QtEventPump pump;
    QtLifetime lifetime;
    FixedClock clock{QDateTime(QDate(2010, 10, 28), QTime(14, 35, 7))};
    QtPrinterSurface printer{PrintToFile::fallback(boxes, clock), [] { return QString(); }};
    JournalPort serial;
    WindowRig w{{.boxes = &boxes,
                 .pump = &pump,
                 .lifetime = &lifetime,
                 .clock = &clock,
                 .printer = &printer,
                 .serial = &serial,
                 .devices = {{QStringLiteral("/dev/ttyS0"), QStringLiteral("/dev/ttyS0")}},
                 .load = false}};
};

TEST(ExitDeathTest, ClosesThePortAndThenNothingRunsNotEvenClicksQueuedBehindItOrABoxOpenAtThatMoment)
{
    const auto expectEndedCleanly = [](const QTemporaryDir& dir) {
        QFile journal(dir.filePath(QStringLiteral("journal")));
        ASSERT_TRUE(journal.open(QIODevice::ReadOnly));
        EXPECT_EQ(journal.readAll(), QByteArray("open\nclose\n")); // no open after Exit
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("journal")}); // no save, no print
    };
    {
        SCOPED_TRACE("Exit with Save, Print, the port toggle and Load queued behind it in one event-pump call");
        QTemporaryDir dir;
        EXPECT_EXIT(
            {
                QDir::setCurrent(dir.path());
                ExitRig rig(dir.filePath(QStringLiteral("journal")));
                for (int n : {1, 3, 5, 2, 4})
                    rig.queueClick(n);
                QCoreApplication::processEvents();
                std::exit(2);
            },
            testing::ExitedWithCode(0), "");
        expectEndedCleanly(dir);
    }
    {
        SCOPED_TRACE("Exit while the save's box, opened in a sweep's yield, waits for its answer");
        QTemporaryDir dir;
        EXPECT_EXIT(
            {
                QDir::setCurrent(dir.path());
                ExitRig rig(dir.filePath(QStringLiteral("journal")));
                rig.queueClick(3);
                rig.queueClick(1);
                rig.w.form.Timer1_Timer();
                std::exit(2);
            },
            testing::ExitedWithCode(0), "");
        expectEndedCleanly(dir);
    }
    {
        SCOPED_TRACE("SIGTERM, with a save confirmed during a sweep that then fails: its reason on stderr, no box waits");
        QTemporaryDir dir;
        EXPECT_EXIT(
            {
                QDir::setCurrent(dir.path());
                ExitRig rig(dir.filePath(QStringLiteral("journal")));
                QDir().mkdir(QStringLiteral("vx-2101435.dat")); // the save's name, taken by a folder
                const TerminationSignals termination([&rig] { rig.w.form.terminationSignal(); });
                rig.queueClick(3);
                QMetaObject::invokeMethod(qApp, [] { // Yes to the save's box, open by then; then the signal
                    static_cast<QMessageBox*>(QApplication::activeModalWidget())->button(QMessageBox::Yes)->click();
                    std::raise(SIGTERM);
                }, Qt::QueuedConnection);
                rig.w.form.Timer1_Timer();
                std::exit(2);
            },
            testing::ExitedWithCode(0), "vx-2101435\\.dat");
        expectEndedCleanly(dir);
    }
}

TEST(Form1, ATimerThatOutlivesTheWindowNoLongerReachesIt)
{
    QtSweepTimer timer;
    {
        WindowRig w({.timer = &timer});
        EXPECT_TRUE(timer.isEnabled());
    }
    EXPECT_FALSE(timer.isEnabled());
    timer.setEnabled(true);
    QTest::qWait(20); // ticks fall due; under the sanitizers a stale handler would be caught here
    timer.setEnabled(false);
}

// The names of the controls Tab visits from Exit, once round.
QString tabStops()
{
    QStringList stops;
    QWidget* start = QApplication::focusWidget();
    do {
        QWidget* focus = QApplication::focusWidget();
        stops << (qobject_cast<QComboBox*>(focus->parentWidget()) ? focus->parentWidget() : focus)->objectName();
        QTest::keyClick(focus, Qt::Key_Tab);
    } while (QApplication::focusWidget() != start && stops.size() < 40);
    return stops.join(u' ');
}

TEST(Form1, KeyboardStopsOncePerGroupOnItsSelectionAndExitTakesEnterAndSpace)
{
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Space}) {
        Window w;
        QApplication::setActiveWindow(&w.form);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w.form));
        ASSERT_EQ(QApplication::focusWidget(), w.command(1));
        QTest::keyClick(w.command(1), key);
        EXPECT_EQ(w.lifetime.ends, 1) << key;
    }
    Window w;
    QApplication::setActiveWindow(&w.form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w.form));
    EXPECT_EQ(tabStops(), "Command1 Picture1 Command3 Command4 Command5 Command6 Option4 Option1 Option12 Combo1 Command2");

    // Arrow keys move the selection within a group; the group's stop follows it.
    w.option(ScanOption)->setFocus();
    QTest::keyClick(w.option(ScanOption), Qt::Key_Right);
    EXPECT_TRUE(w.option(HoldOption)->isChecked());
    EXPECT_FALSE(w.timer.enabled);
    w.click(w.option(ChannelOptions[4]));
    w.click(w.option(UnipolarOption));
    w.command(1)->setFocus();
    EXPECT_EQ(tabStops(), "Command1 Picture1 Command3 Command4 Command5 Command6 Option3 Option7 Option11 Combo1 Command2");
}

TEST(Form1, AboutNamesProgramVersionAndMaker)
{
    Window w;
    w.click(w.command(6));
    ASSERT_EQ(w.boxes.calls.size(), 1u);
    EXPECT_EQ(w.boxes.calls[0].style, MsgStyle::Ok);
    EXPECT_TRUE(w.boxes.calls[0].text.contains(QStringLiteral("Q390")));
    EXPECT_TRUE(w.boxes.calls[0].text.contains(QStringLiteral("1.00")));
    EXPECT_TRUE(w.boxes.calls[0].text.contains(Form1::Maker));
    EXPECT_TRUE(w.boxes.calls[0].title.contains(Form1::Maker));
}

TEST(Application, IconCarriesThreeImages)
{
    const QList<QImage> images = appIconImages();
    ASSERT_EQ(images.size(), 3);
    EXPECT_EQ(images[0].size(), QSize(32, 32));
    EXPECT_EQ(images[0].format(), QImage::Format_Mono);
    EXPECT_EQ(images[1].size(), QSize(32, 32));
    EXPECT_LE(images[1].colorCount(), 16);
    EXPECT_EQ(images[2].size(), QSize(16, 16));
    EXPECT_LE(images[2].colorCount(), 16);
    EXPECT_FALSE(appIcon().isNull());
}

TEST(Application, UnhandledErrorShowsNumberAndTextThenEnds)
{
    Window w;
    w.click(w.command(2));
    UnhandledErrors errors(w.boxes, w.lifetime, w.form.comm());
    w.boxes.whileShown = [&] { // a tick while the box waits reaches the simulator, not the closed device
        w.serial.lineOps = 0;
        w.form.Timer1_Timer();
    };
    errors.report(std::out_of_range("index 9000 outside 0..8868"));
    EXPECT_FALSE(w.form.comm().portOpen());
    EXPECT_EQ(w.serial.lineOps, 0);
    ASSERT_EQ(w.boxes.calls.size(), 1u);
    EXPECT_EQ(w.boxes.calls[0].text, QStringLiteral("运行错误 9：index 9000 outside 0..8868"));
    EXPECT_EQ(w.lifetime.ends, 1);
    EXPECT_EQ(w.lifetime.status, 1);
}

} // namespace
