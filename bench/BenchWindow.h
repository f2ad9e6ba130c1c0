#pragma once

#include "core/converter/SimulatedConverter.h"
#include "core/system/Clock.h"
#include "devices/SerialDevice.h"
#include "window/Form1.h"
#include "window/PlotWidget.h"
#include "window/toolkit/PrinterSurface.h"
#include "window/toolkit/QtWindowSystem.h"

#include <chrono>
#include <functional>

// Answers every box with its default button, as if the user pressed Enter.
class QuietBoxes final : public MessageBoxes {
public:
    int show(const QString&, const QString&, int style) override
    {
        ++shown;
        return (style & MsgStyle::Buttons) == MsgStyle::YesNo ? MsgAnswer::Yes : MsgAnswer::Ok;
    }
    int shown = 0;
};

// The file-open dialog with a file already chosen.
class ChosenFile final : public FileDialog {
public:
    QString askOpenFileName(const QString&, const QString&, const QString&) override { return name; }
    QString name;
};

class NoPrinter final : public PrinterSurface {
public:
    void drawLine(float, float, float, float, std::optional<QRgb>) override {}
    void endDoc() override {}
};

// A converter behind a port whose every line operation takes a while: a stand-in for real
// hardware on a built-in port (about a microsecond an operation) or a USB adapter (about a
// millisecond). Opens under any name.
class PacedDevice final : public SerialDevice {
public:
    void open(const QString&, const LineSettings&) override { open_ = true; }
    void close() override { open_ = false; }
    bool isOpen() const override { return open_; }
    void setRts(bool asserted) override;
    void setDtr(bool asserted) override;
    bool readCts() override;
    // The converter starts afresh with these codes.
    void answerWith(CodeSource codes) { converter_ = SimulatedConverter(std::move(codes)); }

    std::chrono::nanoseconds perOperation{0};
    long long operations = 0;

private:
    void pace(std::int64_t startedNs);

    SimulatedConverter converter_;
    bool open_ = false;
};

// The window's seams as the program has them (event pump, sweep timer, lifetime, clock), with
// quiet stand-ins for boxes, dialog and printer.
struct QuietSeams {
    QuietBoxes boxes;
    QtEventPump pump;
    QtSweepTimer timer;
    QtLifetime lifetime;
    ChosenFile dialog;
    SystemClock clock;
    NoPrinter printer;
};

// Form1 as the program builds it: the Qt event pump, sweep timer and lifetime, the simulator
// behind the closed port; boxes, dialog, printer and serial device are quiet stand-ins. The
// simulator's signal is counted as it is asked for.
class BenchWindow : public QuietSeams {
public:
    BenchWindow();

    PlotWidget& plot() const { return *plot_; }
    long long conversions() const { return conversions_; }
    // Runs after every conversion the simulator answers.
    std::function<void(long long conversions)> afterConversion;

    // Runs the event loop for the given time; a sweep running then finishes first.
    void runFor(int ms);
    // Selects Hold and waits until the running sweep has finished and the screen has settled.
    void hold();

    PacedDevice serial;
    Form1 form;

private:
    long long conversions_ = 0;
    PlotWidget* plot_ = nullptr;
};
