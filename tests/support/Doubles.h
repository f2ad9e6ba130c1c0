#pragma once

// Test doubles for the window's and the devices' seams: recording printer, scripted message
// boxes, pump, dialog, clock, option buttons and serial device.

#include "core/system/Clock.h"
#include "support/CoreDoubles.h"
#include "devices/SerialDevice.h"
#include "window/handlers/AfterSweep.h"
#include "window/toolkit/PrinterSurface.h"
#include "window/toolkit/WindowSystem.h"

#include <deque>
#include <functional>
#include <map>
#include <QStringList>
#include <optional>
#include <ostream>
#include <vector>

class RecordingPrinter final : public PrinterSurface {
public:
    void drawLine(float x1, float y1, float x2, float y2, std::optional<QRgb> colour) override
    {
        ops.push_back({SurfaceOp::Line, {x1, y1, x2, y2}, colour});
    }
    void endDoc() override { ops.push_back({SurfaceOp::EndDoc}); }
    std::vector<SurfaceOp> ops;
};

struct MessageCall {
    QString text, title;
    int style;
    bool operator==(const MessageCall&) const = default;
};

// Answers from a queue (the default button's answer when it runs dry) and records every box.
class ScriptedMessageBoxes final : public MessageBoxes {
public:
    int show(const QString& text, const QString& title, int style) override;
    std::deque<int> answers;
    std::vector<MessageCall> calls;
    std::function<void()> whileShown; // runs as if nested in the box's own event loop
};

// Counts pumps and runs scripted actions at given pump numbers (1-based), as if a click
// arrived during that yield.
class ScriptedPump final : public EventPump {
public:
    void pump() override;
    int count = 0;
    std::map<int, std::function<void()>> at;
    std::function<void(int)> every;
};

class FakeTimer final : public SweepTimer {
public:
    void setEnabled(bool enabled) override { this->enabled = enabled; }
    bool isEnabled() const override { return enabled; }
    void onTick(std::function<void()> handler) override { tick = std::move(handler); }
    bool enabled = false;
    std::function<void()> tick;
};

class FakeLifetime final : public Lifetime {
public:
    void endProgram(int status) override
    {
        ++ends;
        this->status = status;
    }
    bool ended() const override { return ends > 0; }
    int ends = 0;
    int status = -1;
};

class ScriptedFileDialog final : public FileDialog {
public:
    struct Call {
        QString defaultSuffix, title, filter;
    };
    QString askOpenFileName(const QString& defaultSuffix, const QString& title, const QString& filter) override;
    std::deque<QString> names;
    std::vector<Call> calls;
};

class FixedClock final : public Clock {
public:
    explicit FixedClock(QDateTime t) : time(std::move(t)) {}
    QDateTime now() const override { return time; }
    QDateTime time;
};

// Records which buttons are shown waiting for the running sweep, in order.
class RecordingWaits : public WaitingShown {
public:
    void setWaiting(int button, bool waiting) override { calls.emplace_back(button, waiting); }
    std::vector<std::pair<int, bool>> calls;
};

// Work handed over with no sweep running, as a command alone sees it.
struct IdleAfterSweep : RecordingWaits {
    AfterSweep afterSweep{*this};
};

// Option buttons in their three frames; select() runs the registered Click handler.
class FakeOptions final : public OptionButtons {
public:
    FakeOptions();
    bool isSelected(int option) const override { return selected[option]; }
    void select(int option) override;
    std::array<bool, 13> selected{};
    std::map<int, std::function<void()>> onClick;
};

// A serial device that opens or refuses as told, records what was opened, and can fail its
// line operations from the n-th on (an adapter pulled out).
class FakeSerialDevice final : public SerialDevice {
public:
    void open(const QString& device, const LineSettings& settings) override;
    void close() override { isOpen_ = false; ++closes; }
    bool isOpen() const override { return isOpen_; }
    void setRts(bool) override { lineOp(); }
    void setDtr(bool) override { lineOp(); }
    bool readCts() override { lineOp(); return true; }
    Link link() const override { return reach; }

    bool refuseOpen = false;
    Link reach = Link::ModemLines; // how an open port says it reaches the lines
    long failFromLineOp = -1; // 0-based count of line operations after which they fail
    long lineOps = 0;
    int closes = 0;
    QStringList opened;
    LineSettings lastSettings;

private:
    void lineOp();
    bool isOpen_ = false;
};
