#include "ui/PortControl.h"

#include "display/PlotWidget.h"
#include "ui/Lamp.h"

#include <QComboBox>
#include <QPushButton>
#include <QRegularExpression>

PortControl::PortControl(MSComm& comm, MessageBoxes& boxes, Lifetime& lifetime, OptionButtons& options, Widgets widgets)
    : comm_(comm), boxes_(boxes), lifetime_(lifetime), options_(options), w_(widgets)
{
}

void PortControl::setUp()
{
    if (comm_.portOpen())
        comm_.setPortOpen(false);
    for (int n = 1; n <= 16; ++n)
        w_.Combo1->addItem(QStringLiteral("COM%1").arg(n));
    w_.Combo1->setCurrentIndex(0);
    comm_.setCommPort(w_.Combo1->currentIndex() + 1);
    comm_.setSettings(QStringLiteral("115200,n,8,1"));
    describeDevices();
    w_.Command2->setText(PortTexts::Open);
    w_.Shape1->setFillColor(LampClosed);
    w_.Picture1->setOverlayText(PortTexts::Simulated);
}

void PortControl::describeDevices()
{
    const QStringList devices = comm_.portMap().sortedDevices();
    for (int i = 0; i < w_.Combo1->count(); ++i) {
        const QString device = comm_.portMap().deviceFor(i + 1, devices);
        w_.Combo1->setItemData(i, device.isEmpty() ? QStringLiteral("无此端口") : device, Qt::ToolTipRole);
    }
}

// A list entry ("COM3") chooses a port number; anything else typed into the text field is a
// device path opened as it stands.
void PortControl::takeSelection()
{
    const QString text = w_.Combo1->currentText().trimmed();
    static const QRegularExpression entry(QStringLiteral("^COM([1-9][0-9]*)$"), QRegularExpression::CaseInsensitiveOption);
    if (const auto match = entry.match(text); match.hasMatch() || text.isEmpty()) {
        if (match.hasMatch())
            comm_.setCommPort(match.captured(1).toInt());
        comm_.setDevicePath({});
    } else {
        comm_.setDevicePath(text);
    }
}

void PortControl::Command2_Click()
{
    // Every failure of the toggle shows the one message; the port operation comes first, so
    // caption and lamp change only once the port really has.
    try {
        if (w_.Command2->text() == PortTexts::Close) {
            comm_.setPortOpen(false);
            showState(false);
        } else {
            takeSelection();
            comm_.setPortOpen(true);
            showState(true);
        }
    } catch (const std::exception&) {
        boxes_.show(PortTexts::InvalidPort, PortTexts::Title, MsgStyle::Exclamation);
    }
}

void PortControl::showState(bool open)
{
    w_.Command2->setText(open ? PortTexts::Close : PortTexts::Open);
    w_.Shape1->setFillColor(open ? LampOpen : LampClosed);
    w_.Shape1->setToolTip(!open ? QString()
                          : comm_.path() == SerialDevice::Path::FtdiBitBang ? QStringLiteral("FTDI 同步位模式")
                                                                            : QStringLiteral("串口控制线"));
}

void PortControl::lineFailed(const QString& reason)
{
    comm_.setPortOpen(false);
    showState(false);
    options_.select(3);
    boxes_.show(PortTexts::CommFailed + reason, PortTexts::Title, MsgStyle::Exclamation);
}

void PortControl::Command1_Click()
{
    if (comm_.portOpen())
        comm_.setPortOpen(false);
    lifetime_.endProgram(0);
}
