#pragma once

#include "core/converter/SimulatedConverter.h"
#include "core/drawing/Trace.h"
#include "core/samples/SampleFile.h"
#include "support/SweepRig.h"
#include "window/handlers/ExitCommand.h"
#include "window/handlers/LoadCommand.h"
#include "window/handlers/SaveCommand.h"
#include "window/handlers/SweepController.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// A fresh folder as the current directory for one test, since save writes there; the
// previous current directory comes back afterwards.
class ScratchDir {
public:
    ScratchDir() { QDir::setCurrent(dir_.path()); }
    ~ScratchDir() { QDir::setCurrent(previous_); }
    QString path(const QString& name) const { return dir_.filePath(name); }
    QStringList entries() const
    {
        return QDir(dir_.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }

private:
    QString previous_ = QDir::currentPath();
    QTemporaryDir dir_;
};

inline QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void put(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// A data file whose first records are the given values and the rest zero.
inline QByteArray records(std::initializer_list<qint16> values)
{
    QByteArray bytes(SampleFile::Size, '\0');
    int offset = 0;
    for (qint16 value : values) {
        bytes[offset++] = char(value & 0xFF);
        bytes[offset++] = char((value >> 8) & 0xFF);
    }
    return bytes;
}

// The name that the rig's clock, 28 October 2010 14:35:07, gives.
inline const QString SavedName = QStringLiteral("vx-2101435.dat");

// Sweep, save, load and Exit sharing one state as the window wires them, over the simulated
// converter answering scripted codes; channel 0, bipolar, Scan selected, timer on.
struct Rig : SweepRig {
    ScratchDir scratch;
    ScriptedMessageBoxes boxes;
    ScriptedFileDialog dialog;
    FixedClock clock{QDateTime(QDate(2010, 10, 28), QTime(14, 35, 7))};
    SaveCommand save{state, timer, boxes, clock, afterSweep};
    LoadCommand load{{state, dialog, boxes, options, timer, plot, runs, afterSweep, pump, lifetime}};
    ExitCommand exit{comm, afterSweep, boxes, lifetime};

    // One sweep in the given range whose n-th conversion answers code(n).
    template <class Code>
    void sweepWith(bool unipolar, Code code)
    {
        options.select(unipolar ? UnipolarOption : BipolarOption);
        for (int n = 1; n <= SweepLength; ++n)
            codes.push_back(code(n));
        sweep.Timer1_Timer();
    }

    void loadFile(const QString& path)
    {
        dialog.names.push_back(path);
        load.Command4_Click();
    }

    std::vector<qint16> samples() const { return {state.SampleBuffer.begin(), state.SampleBuffer.end()}; }
};
