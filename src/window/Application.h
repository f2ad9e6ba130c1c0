#pragma once

#include <QApplication>
#include <QTranslator>

class UnhandledErrors;

// The application: metadata, the one handler of unexpected errors, and the main window.
class Application final : public QApplication {
public:
    Application(int& argc, char** argv);

    // Name, version and maker of the program, as the system and the toolkit show them.
    static void describe();

    // Any exception that escapes a handler is a programming fault: one box with its number
    // and text, then the program ends.
    bool notify(QObject* receiver, QEvent* event) override;

    static int run(int argc, char** argv);

private:
    QTranslator translator_;
    UnhandledErrors* errors_ = nullptr;
};
