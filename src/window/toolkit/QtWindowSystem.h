#pragma once

#include "window/toolkit/WindowSystem.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <vector>

class QMessageBox;

class QtMessageBoxes final : public MessageBoxes {
public:
    explicit QtMessageBoxes(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    int show(const QString& text, const QString& title, int style) override;
    void unattended() override;

private:
    QPointer<QWidget> parent_;
    bool unattended_ = false;
    // The boxes waiting for an answer, each in its own event loop, the innermost last.
    std::vector<QMessageBox*> open_;
};

class QtEventPump final : public EventPump {
public:
    void pump() override;
};

// Timer1: 1 ms, precise.
class QtSweepTimer final : public SweepTimer {
public:
    QtSweepTimer();
    void setEnabled(bool enabled) override;
    bool isEnabled() const override { return timer_.isActive(); }
    void onTick(std::function<void()> handler) override { handler_ = std::move(handler); }

private:
    QTimer timer_;
    std::function<void()> handler_;
};

class QtLifetime final : public Lifetime {
public:
    // Ends the process and does not return.
    [[noreturn]] void endProgram(int status) override;
    bool ended() const override { return ended_; }

private:
    bool ended_ = false;
};

class QtFileDialog final : public FileDialog {
public:
    explicit QtFileDialog(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    QString askOpenFileName(const QString& defaultSuffix, const QString& title, const QString& filter) override;

private:
    QPointer<QWidget> parent_;
};
