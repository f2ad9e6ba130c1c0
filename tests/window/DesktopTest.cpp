#include "support/WindowRig.h"
#include "window/Application.h"
#include "window/Form1.h"
#include "window/toolkit/QtWindowSystem.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

// _NET_WM_NAME of a shown window: the title as the desktop reads it.
QString desktopTitle(QWidget* window)
{
    QGuiApplication::sync();
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(window->winId()),
                                         QStringLiteral("-notype"), QStringLiteral("_NET_WM_NAME")});
    xprop.waitForFinished();
    const QString line = QString::fromUtf8(xprop.readAllStandardOutput()).trimmed(); // _NET_WM_NAME = "…"
    const qsizetype open = line.indexOf(u'"');
    return open < 0 ? line : line.mid(open + 1, line.lastIndexOf(u'"') - open - 1);
}

// Every window the program shows, titled as a user on an X desktop sees it. Runs on the xcb
// platform (ctest's window_x11, under Xvfb); elsewhere the platform publishes no title to check.
TEST(Desktop, TitlesAreExactlyTheWindowsOwnTexts)
{
    if (QGuiApplication::platformName() != u"xcb")
        GTEST_SKIP() << "needs an X server";
    Application::describe();
    QtMessageBoxes boxes;
    QtFileDialog dialog;
    WindowRig w({.boxes = &boxes, .dialog = &dialog, .load = false});
    Form1& form = w.form;
    w.serial.refuseOpen = true;
    boxes.setParent(&form);
    dialog.setParent(&form);
    form.Form_Load();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(desktopTitle(&form), form.windowTitle());
    EXPECT_EQ(desktopTitle(&form), QStringLiteral(" Q390      微型数据采集器  ") + QString(27, u' ') + Form1::Maker + u' ');

    // Each command's box or dialog: its title read while it waits, then declined.
    QStringList seen;
    const auto readAndDecline = [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !QTest::qWaitForWindowExposed(modal))
            return;
        seen << desktopTitle(modal);
        auto* box = qobject_cast<QMessageBox*>(modal);
        QAbstractButton* no = box ? box->button(QMessageBox::No) : nullptr;
        QAbstractButton* cancel = box ? box->button(QMessageBox::Cancel) : nullptr;
        if (no || cancel)
            (no ? no : cancel)->click();
        else
            static_cast<QDialog*>(modal)->reject();
    };
    for (const char* command : {"Command3", "Command4", "Command5", "Command2", "Command6"}) {
        QTimer::singleShot(0, readAndDecline);
        form.findChild<QPushButton*>(QLatin1StringView(command))->click();
    }
    EXPECT_EQ(seen, (QStringList{QStringLiteral("存盘"), QStringLiteral("打开文件"), QStringLiteral("打印口状态"),
                                 QStringLiteral("Q390A 数据采集器"), QStringLiteral("关于 Q390 — ") + Form1::Maker}));
}

} // namespace
