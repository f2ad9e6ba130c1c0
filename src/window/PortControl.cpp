#include "window/PortControl.h"

#include "window/Lamp.h"
#include "window/PlotWidget.h"
#include "window/PortList.h"

#include <QPushButton>
#include <QStandardItemModel>

PortControl::PortControl(MSComm& comm, AfterSweep& afterSweep, MessageBoxes& boxes, OptionButtons& options,
                         Widgets widgets)
    : comm_(comm), afterSweep_(afterSweep), boxes_(boxes), options_(options), w_(widgets)
{
    w_.Combo1->onOpening([this] { describeDevices(); });
}

void PortControl::setUp()
{
    if (comm_.portOpen())
        comm_.setPortOpen(false);
    for (const PortEntry& entry : comm_.port().portMap().entries())
        w_.Combo1->addItem(portName(entry.number));
    w_.Combo1->setCurrentIndex(0);
    comm_.setCommPort(w_.Combo1->currentIndex() + 1);
    comm_.setSettings(LineSettings::Standard);
    describeDevices();
    w_.Command2->setText(PortTexts::Open);
    w_.Shape1->setFillColor(LampClosed);
    w_.Picture1->setOverlayText(PortTexts::Simulated);
    w_.Picture1->setUnansweredText(PortTexts::NoSignal);
}

void PortControl::describeDevices()
{
    comm_.port().portMap().refresh();
    auto* items = static_cast<QStandardItemModel*>(w_.Combo1->model());
    for (const PortEntry& entry : comm_.port().portMap().entries()) {
        QStandardItem* item = items->item(entry.number - 1);
        item->setToolTip(entry.device.isEmpty() ? PortTexts::NoSuchPort : entry.device);
        item->setEnabled(!entry.device.isEmpty());
    }
}

void PortControl::Command2_Click()
{
    // Every failure of the port shows the one message; the port operation comes first, so
    // caption and lamp change only once the port really has.
    const unsigned source = comm_.port().source();
    try {
        if (w_.Command2->text() == PortTexts::Close) {
            comm_.setPortOpen(false);
            showState(false);
        } else {
            comm_.port().choose(w_.Combo1->currentText().trimmed());
            comm_.setPortOpen(true);
            showState(true);
        }
    } catch (const PortError&) {
        boxes_.show(PortTexts::InvalidPort, PortTexts::Title, MsgStyle::Exclamation);
    }
    // A sweep under way is dropped when its source changed: what waited for it is done now.
    if (comm_.port().source() != source)
        afterSweep_.sweepEnded();
}

void PortControl::showState(bool open)
{
    w_.Command2->setText(open ? PortTexts::Close : PortTexts::Open);
    w_.Shape1->setFillColor(open ? LampOpen : LampClosed);
    w_.Shape1->setToolTip(!open ? QString()
                          : comm_.port().link() == SerialDevice::Link::FtdiBitBang ? QStringLiteral("FTDI 同步位模式")
                                                                            : QStringLiteral("串口控制线"));
}

void PortControl::lineFailed(const QString& reason)
{
    comm_.setPortOpen(false);
    showState(false);
    options_.select(HoldOption);
    boxes_.show(PortTexts::CommFailed + reason, PortTexts::Title, MsgStyle::Exclamation);
}
