#include "window/Form1.h"

#include "window/AppIcon.h"
#include "window/Lamp.h"
#include "window/PlotWidget.h"
#include "window/PortList.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

const QString Form1::Maker = QStringLiteral("晨星测控");

namespace {

// Twips to logical pixels: 15 twips make one.
int px(int twips)
{
    return qRound(twips / 15.0);
}

template <class W>
W* place(QWidget* parent, const char* name, int left, int top, int width, int height)
{
    auto* widget = new W(parent);
    widget->setObjectName(QLatin1StringView(name));
    widget->setGeometry(px(left), px(top), px(width), px(height));
    return widget;
}

} // namespace

Form1::Form1(Form1Seams seams)
    : seams_(std::move(seams)),
      ports_(seams_.devices),
      unit_({seams_.serial, ports_, seams_.simulatorSource})
{
    setObjectName(QStringLiteral("Form1"));
    buildControls();

    sweep_ = std::make_unique<SweepController>(
        SweepController::Seams{unit_, state_, *Picture1, runs_, seams_.timer, seams_.pump, seams_.lifetime,
                               options(), afterSweep_},
        [this](const QString& reason) { port_->lineFailed(reason); });
    save_ = std::make_unique<SaveCommand>(state_, seams_.timer, seams_.boxes, seams_.clock, afterSweep_);
    load_ = std::make_unique<LoadCommand>(LoadCommand::Seams{state_, seams_.dialog, seams_.boxes, options(), seams_.timer,
                                                             *Picture1, runs_, afterSweep_, seams_.pump, seams_.lifetime});
    print_ = std::make_unique<PrintCommand>(state_, seams_.printer, seams_.timer, seams_.boxes, afterSweep_);
    port_ = std::make_unique<PortControl>(MSComm1, afterSweep_, seams_.boxes, options(),
                                          PortControl::Widgets{Command[2], Shape1, Combo1, Picture1});
    exit_ = std::make_unique<ExitCommand>(MSComm1, afterSweep_, seams_.boxes, seams_.lifetime);

    seams_.timer.onTick([this] {
        if (!exit_->exiting())
            Timer1_Timer();
    });
    // The timer is enabled when the window is created.
    seams_.timer.setEnabled(true);
}

Form1::~Form1()
{
    // The timer may outlive the window; no tick may reach it afterwards.
    seams_.timer.setEnabled(false);
    seams_.timer.onTick({});
}

void Form1::buildControls()
{
    resize(px(9165), px(6420));
    QPalette grey = palette();
    grey.setColor(QPalette::Window, QColor(192, 192, 192));
    setPalette(grey);
    setAutoFillBackground(true);
    setWindowIcon(appIcon());
    // The layout is measured in twips for an 8.25-point font at 96 dots per inch, whose Latin
    // letters are narrower than those of the usual sans-serif fonts (" +5V" gets 25 pixels):
    // a CJK font draws the Latin captions as narrow as the Chinese ones need, where it exists.
    QFont small = font();
    small.setFamilies({QStringLiteral("Noto Sans CJK SC"), small.family()});
    small.setPixelSize(11);
    setFont(small);

    Picture1 = place<PlotWidget>(this, "Picture1", 840, 0, 8200, 5055);

    Frame2 = place<QGroupBox>(this, "Frame2", 0, 240, 855, 3375);
    Frame2->setTitle(QStringLiteral("通道"));
    for (int n = 0; n < 8; ++n) {
        const int option = ChannelOptions[n];
        const int top = 360 + 360 * n;
        Option[option] = place<QRadioButton>(Frame2, qPrintable(QStringLiteral("Option%1").arg(option)), 240, top, 255, 255);
        Label[n + 1] = place<QLabel>(Frame2, qPrintable(QStringLiteral("Label%1").arg(n + 1)), 600, top, 135, 255);
        Label[n + 1]->setText(QString::number(n));
    }

    Frame3 = place<QGroupBox>(this, "Frame3", 0, 3840, 855, 1095);
    Frame3->setTitle(QStringLiteral("量程"));
    Option[11] = place<QRadioButton>(Frame3, "Option11", 120, 360, 255, 255);
    Label[9] = place<QLabel>(Frame3, "Label9", 360, 360, 375, 255);
    Label[9]->setText(QStringLiteral(" +5V"));
    Option[12] = place<QRadioButton>(Frame3, "Option12", 120, 720, 255, 255);
    Label[10] = place<QLabel>(Frame3, "Label10", 360, 720, 375, 255);
    Label[10]->setText(QStringLiteral("±2V"));

    Combo1 = place<PortList>(this, "Combo1", 120, 5280, 975, 300);
    Combo1->setEditable(true);
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    Shape1 = place<Lamp>(this, "Shape1", 1200, 5280, 255, 255);
    Command[2] = place<QPushButton>(this, "Command2", 120, 5760, 1215, 375);

    Frame1 = place<QGroupBox>(this, "Frame1", 1800, 5400, 2055, 855);
    Option[4] = place<QRadioButton>(Frame1, "Option4", 240, 240, 735, 375);
    Option[3] = place<QRadioButton>(Frame1, "Option3", 1080, 240, 855, 375);

    Command[3] = place<QPushButton>(this, "Command3", 4200, 5640, 735, 375);
    Command[4] = place<QPushButton>(this, "Command4", 4920, 5640, 735, 375);
    Command[5] = place<QPushButton>(this, "Command5", 5640, 5640, 735, 375);
    Command[6] = place<QPushButton>(this, "Command6", 7080, 5640, 735, 375);
    Command[1] = place<QPushButton>(this, "Command1", 7800, 5640, 735, 375);

    // The channel and range buttons show their own names, clipped to the round button.
    for (int option = 1; option <= 12; ++option) {
        if (option == HoldOption || option == ScanOption)
            continue;
        Option[option]->setText(Option[option]->objectName());
    }

    // Tab stops once in each option group, on its selected button; the arrow keys move the
    // selection within the group.
    for (QRadioButton* button : Option) {
        if (!button)
            continue;
        button->setFocusPolicy(Qt::ClickFocus);
        connect(button, &QRadioButton::toggled, button,
                [button](bool checked) { button->setFocusPolicy(checked ? Qt::StrongFocus : Qt::ClickFocus); });
    }

    for (int n = 1; n <= 6; ++n)
        Command[n]->setAutoDefault(true); // Enter, like the space bar, presses the focused button

    const auto onClick = [this](QAbstractButton* button, void (Form1::*handler)()) {
        connect(button, &QAbstractButton::clicked, this, [this, handler] {
            // Once Exit has begun, clicks queued behind it never run.
            if (!exit_->exiting())
                (this->*handler)();
        });
    };
    onClick(Command[1], &Form1::Command1_Click);
    onClick(Command[2], &Form1::Command2_Click);
    onClick(Command[3], &Form1::Command3_Click);
    onClick(Command[4], &Form1::Command4_Click);
    onClick(Command[5], &Form1::Command5_Click);
    onClick(Command[6], &Form1::Command6_Click);
    onClick(Option[3], &Form1::Option3_Click);
    onClick(Option[4], &Form1::Option4_Click);

    // Keyboard order: Exit first, so it holds the focus when the window is first shown.
    QWidget* order[] = {Command[1], Picture1, Command[3], Command[4], Command[5], Command[6], Option[3], Option[4],
                        Option[1], Option[2], Option[5], Option[6], Option[7], Option[8], Option[9], Option[10],
                        Option[11], Option[12], Combo1, Command[2]};
    for (std::size_t n = 0; n + 1 < std::size(order); ++n)
        setTabOrder(order[n], order[n + 1]);
}

void Form1::Form_Load()
{
    show();
    move(0, 0);
    setWindowTitle(QStringLiteral(" Q390      微型数据采集器  ") + QString(27, u' ') + Maker + u' ');
    Picture1->resize(Picture1->width(), px(5090));
    Picture1->resize(px(8280), Picture1->height());
    Picture1->move(Picture1->x(), px(100));
    Frame1->setTitle(QStringLiteral("显示方式"));
    select(ChannelOptions[0]);
    Option[3]->setText(QStringLiteral("静止"));
    Option[4]->setText(QStringLiteral("扫描"));
    select(ScanOption);
    select(BipolarOption);
    Command[1]->setText(QStringLiteral("退出"));
    Command[3]->setText(QStringLiteral("存盘"));
    Command[4]->setText(QStringLiteral("取盘"));
    Command[5]->setText(QStringLiteral("打印"));
    Command[6]->setText(QStringLiteral("关于"));
    Drawgrid1(*Picture1);
    port_->setUp();
    Command[1]->setFocus();
}

void Form1::Command6_Click()
{
    seams_.boxes.show(QStringLiteral("Q390 微型数据采集器\n版本 %1\n\n%2 出品").arg(QStringLiteral(Q390_VERSION), Maker),
                      QStringLiteral("关于 Q390 — %1").arg(Maker), MsgStyle::Ok);
}

bool Form1::isSelected(int option) const
{
    return Option[option] && Option[option]->isChecked();
}

void Form1::select(int option)
{
    Option[option]->setChecked(true);
    runClickHandler(option);
}

void Form1::runClickHandler(int option)
{
    if (option == HoldOption)
        Option3_Click();
    else if (option == ScanOption)
        Option4_Click();
}

void Form1::setWaiting(int button, bool waiting)
{
    Command[button]->setEnabled(!waiting);
    Command[button]->setDown(waiting);
    if (waiting)
        Picture1->setCursor(Qt::BusyCursor);
    else if (Command[SaveButton]->isEnabled() && Command[PrintButton]->isEnabled())
        Picture1->unsetCursor();
}

void Form1::closeEvent(QCloseEvent* event)
{
    // Closing the window ends the program as Exit does.
    event->accept();
    Command1_Click();
}
