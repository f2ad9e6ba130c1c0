#pragma once

#include "window/handlers/MSComm.h"
#include "window/handlers/AfterSweep.h"
#include "window/toolkit/WindowSystem.h"

#include <QRgb>

class QPushButton;
class Lamp;
class PortList;
class PlotWidget;

namespace PortTexts {
inline const QString Open = QStringLiteral("打开串口");
inline const QString Close = QStringLiteral("关闭串口");
inline const QString Title = QStringLiteral("Q390A 数据采集器");
inline const QString InvalidPort = QStringLiteral("无效端口号");
inline const QString NoSuchPort = QStringLiteral("无此端口");
inline const QString CommFailed = QStringLiteral("串口通信失败：");
inline const QString Simulated = QStringLiteral("模拟信号");
inline const QString NoSignal = QStringLiteral("无信号");
} // namespace PortTexts

constexpr QRgb LampClosed = 0xFFC0FFFFu; // &H00FFFFC0: red 192, green 255, blue 255
constexpr QRgb LampOpen = 0xFFFF0000u;   // &H000000FF: red

// The life of the serial port: its set-up at start-up, the Open/Close toggle with its caption
// and lamp, and a port that fails while open.
class PortControl {
public:
    struct Widgets {
        QPushButton* Command2;
        Lamp* Shape1;
        PortList* Combo1;
        PlotWidget* Picture1;
    };

    PortControl(MSComm& comm, AfterSweep& afterSweep, MessageBoxes& boxes, OptionButtons& options, Widgets widgets);

    void setUp();
    void Command2_Click();
    // A line operation failed on the open port; the sweep has already stopped.
    void lineFailed(const QString& reason);

private:
    // Each list entry names the device it stands for now; entries with none are greyed.
    void describeDevices();
    void showState(bool open);

    MSComm& comm_;
    AfterSweep& afterSweep_;
    MessageBoxes& boxes_;
    OptionButtons& options_;
    Widgets w_;
};
