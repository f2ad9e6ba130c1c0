#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <gtest/gtest.h>

// The tests under the application object they need (QGuiApplication for the core's fonts and
// images, QApplication for widgets), for real on the offscreen platform unless a display is
// asked for.
template <class Application>
int runTests(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    Application app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
