#include "support/Doubles.h"

#include <algorithm>

int ScriptedMessageBoxes::show(const QString& text, const QString& title, int style)
{
    calls.push_back({text, title, style});
    if (whileShown)
        whileShown();
    if (!answers.empty()) {
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    const bool second = style & MsgStyle::DefaultButton2;
    switch (style & MsgStyle::Buttons) {
    case MsgStyle::OkCancel: return second ? MsgAnswer::Cancel : MsgAnswer::Ok;
    case MsgStyle::YesNo: return second ? MsgAnswer::No : MsgAnswer::Yes;
    default: return MsgAnswer::Ok;
    }
}

void ScriptedPump::pump()
{
    ++count;
    if (every)
        every(count);
    if (auto it = at.find(count); it != at.end()) {
        auto action = std::move(it->second);
        at.erase(it);
        action();
    }
}

QString ScriptedFileDialog::askOpenFileName(const QString& defaultSuffix, const QString& title, const QString& filter)
{
    calls.push_back({defaultSuffix, title, filter});
    if (names.empty())
        return {};
    QString name = names.front();
    names.pop_front();
    return name;
}

namespace {
int frameOf(int option)
{
    if (option == 3 || option == 4)
        return 1;
    if (option == 11 || option == 12)
        return 3;
    return 2;
}
} // namespace

FakeOptions::FakeOptions() = default;

void FakeOptions::select(int option)
{
    for (int other = 1; other <= 12; ++other)
        if (frameOf(other) == frameOf(option))
            selected[other] = false;
    selected[option] = true;
    if (auto it = onClick.find(option); it != onClick.end())
        it->second();
}

void FakeSerialDevice::open(const QString& device, const LineSettings& settings)
{
    opened << device;
    lastSettings = settings;
    if (refuseOpen)
        throw PortError(QStringLiteral("Permission denied"));
    isOpen_ = true;
}

void FakeSerialDevice::lineOp()
{
    if (failFromLineOp >= 0 && lineOps >= failFromLineOp)
        throw LineError(QStringLiteral("Input/output error"));
    ++lineOps;
}
