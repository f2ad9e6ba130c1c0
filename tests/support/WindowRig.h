#pragma once

#include "core/drawing/Trace.h"
#include "support/Doubles.h"
#include "window/Form1.h"
#include "window/Lamp.h"
#include "window/PlotWidget.h"
#include "window/handlers/Procedures.h"

#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

// The picture of a fresh plot of this size with the grid and the trace of these samples read
// in this range (none: the grid alone).
inline QImage freshPicture(QSize size, const SampleArray& samples = {}, std::optional<Range> range = {})
{
    PlotWidget fresh;
    fresh.setAttribute(Qt::WA_DontShowOnScreen); // takes no focus from the window
    fresh.resize(size);
    fresh.show();
    fresh.clear();
    Drawgrid1(fresh);
    traceStored(samples, range, [&](const PlotLine& s) { return fresh.drawLine(s.x1, s.y1, s.x2, s.y2, TraceColor), true; });
    return fresh.picture();
}

// The seams a test puts in place of the window rig's doubles (a real one, or one that records
// more); each must outlive the rig.
struct RigSeams {
    MessageBoxes* boxes = nullptr;
    EventPump* pump = nullptr;
    SweepTimer* timer = nullptr;
    Lifetime* lifetime = nullptr;
    FileDialog* dialog = nullptr;
    Clock* clock = nullptr;
    PrinterSurface* printer = nullptr;
    SerialDevice* serial = nullptr;
    QList<PortDevice> devices;
    CodeSource codes; // none: the scripted codes
    bool load = true; // Form_Load at once
};

// Form1 over the test doubles below, loaded, unless a test gives it seams of its own.
struct WindowRig {
    explicit WindowRig(RigSeams use = {})
        : devices(std::move(use.devices)),
          form({pick(use.boxes, boxes), pick(use.pump, pump), pick(use.timer, timer), pick(use.lifetime, lifetime),
                pick(use.dialog, dialog), pick(use.clock, clock), pick(use.printer, printer), pick(use.serial, serial),
                [this] { return devices; }, use.codes ? std::move(use.codes) : scripted.source()})
    {
        if (use.load)
            form.Form_Load();
    }

    template <class W>
    W* get(const QString& name) const
    {
        W* w = form.findChild<W*>(name);
        EXPECT_NE(w, nullptr) << name.toStdString();
        return w;
    }
    QRadioButton* option(int n) const { return get<QRadioButton>(QStringLiteral("Option%1").arg(n)); }
    QPushButton* command(int n) const { return get<QPushButton>(QStringLiteral("Command%1").arg(n)); }
    PlotWidget* plot() const { return get<PlotWidget>(QStringLiteral("Picture1")); }
    Lamp* lamp() const { return get<Lamp>(QStringLiteral("Shape1")); }
    void click(QAbstractButton* button) const { QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(5, 5)); }
    void select(int channel, bool unipolar)
    {
        form.options().select(ChannelOptions[channel]);
        form.options().select(unipolar ? UnipolarOption : BipolarOption);
    }

    ScriptedMessageBoxes boxes;
    ScriptedPump pump;
    FakeTimer timer;
    FakeLifetime lifetime;
    ScriptedFileDialog dialog;
    FixedClock clock{QDateTime(QDate(2010, 10, 28), QTime(14, 35, 7))};
    RecordingPrinter printer;
    FakeSerialDevice serial;
    ScriptedCodes scripted;
    std::deque<int>& codes = scripted.codes;
    std::vector<ConversionRequest>& asked = scripted.asked;
    QList<PortDevice> devices; // what the system lists, as the port list next asks
    Form1 form;

private:
    template <class Seam, class Double>
    static Seam& pick(Seam* chosen, Double& fallback)
    {
        return chosen ? *chosen : fallback;
    }
};
