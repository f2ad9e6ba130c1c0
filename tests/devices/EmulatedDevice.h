#pragma once

#include "EmulatedPort.h"
#include "support/Frames.h"
#include "core/converter/SimulatedConverter.h"

#include <QTemporaryDir>

#include <optional>
#include <stdexcept>
#include <vector>

// The emulated port plugged for as long as this lives, under a path of its own (QSerialPort
// locks a device by its name), with the bit-level converter model behind its lines. When
// asked, it keeps every line operation the model sees.
//
// A device plugged back after being pulled out comes back as after power-up: its lines rest
// asserted and its converter waits for a new frame.
class EmulatedDevice {
public:
    using Op = LineLevel;

    explicit EmulatedDevice(CodeSource codes = SignalGenerator{}) : codes_(std::move(codes))
    {
        path_ = dir_.filePath(QStringLiteral("ttyQ390"));
        const emuport_lines lines{&setRts, &setDtr, &readCts, this};
        if (!dir_.isValid() || emuport_plug(path_.toLocal8Bit().constData(), &lines) != 0)
            throw std::runtime_error("cannot plug the emulated port");
    }
    ~EmulatedDevice() { emuport_unplug(); }
    EmulatedDevice(const EmulatedDevice&) = delete;
    EmulatedDevice& operator=(const EmulatedDevice&) = delete;

    const QString& path() const { return path_; }
    // A path in the same folder where no device is.
    QString missingPath() const { return dir_.filePath(QStringLiteral("ttyQ390-missing")); }
    SimulatedConverter& converter() { return converter_; }

    // The adapter is pulled out at the n-th line operation from now (see emuport_fail_from).
    void pullOutAt(long n) { emuport_fail_from(n); }
    void plugBack()
    {
        emuport_plug_back();
        converter_ = freshConverter();
    }

    bool recording = false;
    std::vector<Op> seen;
    std::optional<bool> ctsHeld; // CTS read at this level whatever the converter does

private:
    static EmulatedDevice& self(void* context) { return *static_cast<EmulatedDevice*>(context); }
    static void setRts(void* context, int asserted) { self(context).pass('R', asserted != 0); }
    static void setDtr(void* context, int asserted) { self(context).pass('D', asserted != 0); }
    static int readCts(void* context)
    {
        EmulatedDevice& d = self(context);
        const bool level = d.ctsHeld ? *d.ctsHeld : d.converter_.readCts();
        if (d.recording)
            d.seen.push_back({'C', level});
        return level;
    }
    void pass(char line, bool level)
    {
        if (recording)
            seen.push_back({line, level});
        line == 'R' ? converter_.setRts(level) : converter_.setDtr(level);
    }

    // The codes go on from where they were when the converter starts afresh.
    SimulatedConverter freshConverter()
    {
        return SimulatedConverter([this](const ConversionRequest& request) { return codes_(request); });
    }

    QTemporaryDir dir_;
    QString path_;
    CodeSource codes_;
    SimulatedConverter converter_ = freshConverter();
};
