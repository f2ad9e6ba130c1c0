#include "window/toolkit/QtWindowSystem.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace {

void toStandardError(const QString& text, const QString& title)
{
    std::fputs(qPrintable(title + QStringLiteral(": ") + text + u'\n'), stderr);
}

// What a box answers when nobody can: no to a question, the one button otherwise.
int refusingAnswer(int style)
{
    switch (style & MsgStyle::Buttons) {
    case MsgStyle::OkCancel: return MsgAnswer::Cancel;
    case MsgStyle::YesNo: return MsgAnswer::No;
    default: return MsgAnswer::Ok;
    }
}

} // namespace

void QtMessageBoxes::unattended()
{
    if (std::exchange(unattended_, true))
        return;
    for (QMessageBox* box : open_) {
        toStandardError(box->text(), box->windowTitle());
        box->done(QDialog::Rejected);
    }
}

int QtMessageBoxes::show(const QString& text, const QString& title, int style)
{
    if (unattended_) {
        toStandardError(text, title);
        return refusingAnswer(style);
    }
    QMessageBox box(parent_);
    box.setWindowTitle(title);
    box.setText(text);
    switch (style & MsgStyle::Icon) {
    case MsgStyle::Critical: box.setIcon(QMessageBox::Critical); break;
    case MsgStyle::Question: box.setIcon(QMessageBox::Question); break;
    case MsgStyle::Exclamation: box.setIcon(QMessageBox::Warning); break;
    case MsgStyle::Information: box.setIcon(QMessageBox::Information); break;
    default: box.setIcon(QMessageBox::NoIcon); break;
    }
    QList<QMessageBox::StandardButton> buttons;
    switch (style & MsgStyle::Buttons) {
    case MsgStyle::OkCancel: buttons = {QMessageBox::Ok, QMessageBox::Cancel}; break;
    case MsgStyle::YesNo: buttons = {QMessageBox::Yes, QMessageBox::No}; break;
    default: buttons = {QMessageBox::Ok}; break;
    }
    for (auto button : buttons)
        box.addButton(button);
    const int defaultIndex = (style & MsgStyle::DefaultButton2) && buttons.size() > 1 ? 1 : 0;
    box.setDefaultButton(buttons[defaultIndex]);
    if (buttons.size() == 1)
        box.setEscapeButton(buttons[0]);
    else if (buttons.contains(QMessageBox::Cancel))
        box.setEscapeButton(QMessageBox::Cancel);

    open_.push_back(&box);
    const int answer = box.exec();
    open_.pop_back();
    if (unattended_)
        return refusingAnswer(style);
    switch (answer) {
    case QMessageBox::Cancel: return MsgAnswer::Cancel;
    case QMessageBox::Yes: return MsgAnswer::Yes;
    case QMessageBox::No: return MsgAnswer::No;
    default: return MsgAnswer::Ok;
    }
}

void QtEventPump::pump()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

QtSweepTimer::QtSweepTimer()
{
    timer_.setInterval(1);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] {
        if (handler_)
            handler_();
    });
}

void QtSweepTimer::setEnabled(bool enabled)
{
    if (enabled == timer_.isActive())
        return;
    if (enabled)
        timer_.start();
    else
        timer_.stop();
}

void QtLifetime::endProgram(int status)
{
    ended_ = true;
    // Leaving the event loops would still hand queued clicks to their handlers, and a box open
    // at this moment would return as if answered; only the end of the process ends everything.
    std::fflush(nullptr);
    std::_Exit(status);
}

// "description|pattern|description|pattern..." becomes Qt's "description (pattern)" list;
// a description that already ends in its pattern in parentheses is shown as it stands.
static QStringList qtNameFilters(const QString& filter)
{
    const QStringList parts = filter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts[i];
        const QString& pattern = parts[i + 1];
        filters << (description.endsWith(QStringLiteral("(") + pattern + QStringLiteral(")")) ? description
                                                                  : description + QStringLiteral(" (") + pattern + QStringLiteral(")"));
    }
    if (parts.size() % 2)
        filters << parts.constLast();
    return filters;
}

QString QtFileDialog::askOpenFileName(const QString& defaultSuffix, const QString& title, const QString& filter)
{
    QFileDialog dialog(parent_, title);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.setNameFilters(qtNameFilters(filter));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}
