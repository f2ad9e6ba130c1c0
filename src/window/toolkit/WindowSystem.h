#pragma once

#include "core/samples/Range.h"

#include <QString>

#include <functional>
#include <optional>

// The window-system operations that handlers use, as seams: the Qt implementations are in
// QtWindowSystem.h, tests put scripted or recording doubles in their place.

// Message box styles and answers as the handlers use them: a style is the sum of its buttons,
// its icon and which button is the default.
namespace MsgStyle {
constexpr int Ok = 0;
constexpr int OkCancel = 1;
constexpr int YesNo = 4;
constexpr int Buttons = 7; // the part of a style that gives the buttons
constexpr int Critical = 16;
constexpr int Question = 32;
constexpr int Exclamation = 48;
constexpr int Information = 64;
constexpr int Icon = 0x70; // the part that gives the icon
constexpr int DefaultButton2 = 256;
} // namespace MsgStyle

namespace MsgAnswer {
constexpr int Ok = 1;
constexpr int Cancel = 2;
constexpr int Yes = 6;
constexpr int No = 7;
} // namespace MsgAnswer

// Modal message box: waits until the user answers, returns the answer.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual int show(const QString& text, const QString& title, int style) = 0;
    // Nobody is there to answer any more (the program ends on a signal): the box open now and
    // every later one give their text to the standard error stream instead of waiting, and
    // answer Cancel or No where they ask, OK where they only tell. Boxes that never wait on
    // anyone need do nothing.
    virtual void unattended() {}
};

// Handles every pending window event (clicks, ticks, repaints) and returns.
class EventPump {
public:
    virtual ~EventPump() = default;
    virtual void pump() = 0;
};

// The periodic sweep timer: only its enabled flag is ever changed.
class SweepTimer {
public:
    virtual ~SweepTimer() = default;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;
    // Replaces the tick handler; an empty one detaches it.
    virtual void onTick(std::function<void()> handler) = 0;
};

// Ending the program at once, with an exit status: nothing of the program runs afterwards, no
// queued event, no box, no suspended sweep or replay. Code suspended in the event pump checks
// ended() after every yield as well, for a lifetime that cannot end the process (a test's).
class Lifetime {
public:
    virtual ~Lifetime() = default;
    virtual void endProgram(int status) = 0;
    virtual bool ended() const = 0;
};

// The file-open dialog: returns the chosen name, or an empty name when none was chosen.
// The filter is "description|pattern", pairs joined by "|".
class FileDialog {
public:
    virtual ~FileDialog() = default;
    virtual QString askOpenFileName(const QString& defaultSuffix, const QString& title,
                                    const QString& filter) = 0;
};

// The window's option buttons, by number (Option1..Option12). Selecting from code clears the
// others of the same frame and runs the button's Click handler at once, as a click does.
class OptionButtons {
public:
    virtual ~OptionButtons() = default;
    virtual bool isSelected(int option) const = 0;
    virtual void select(int option) = 0;
};

// The command buttons by number (Command1..Command6) that carry out work confirmed during a sweep.
constexpr int SaveButton = 3;
constexpr int PrintButton = 5;

// Shows that a command the user confirmed waits for the running sweep to complete: while any
// does, the platform's busy cursor over the plot, and each waiting command's button held down,
// taking no click. Everything else answers as ever meanwhile.
class WaitingShown {
public:
    virtual ~WaitingShown() = default;
    virtual void setWaiting(int button, bool waiting) = 0;
};

// The option buttons by what they stand for: the display modes, channels 0..7, the two ranges.
constexpr int HoldOption = 3;
constexpr int ScanOption = 4;
constexpr int ChannelOptions[] = {1, 2, 5, 6, 7, 8, 9, 10};
constexpr int UnipolarOption = 11;
constexpr int BipolarOption = 12;

// The range the range buttons select, as a sweep tick reads them; none while neither is.
inline std::optional<Range> selectedRange(const OptionButtons& options)
{
    std::optional<Range> range;
    if (options.isSelected(UnipolarOption))
        range = Range::Unipolar;
    if (options.isSelected(BipolarOption))
        range = Range::Bipolar;
    return range;
}
