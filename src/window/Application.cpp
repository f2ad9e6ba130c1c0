#include "window/Application.h"

#include "core/system/Clock.h"
#include "core/system/CommandLine.h"
#include "devices/SystemSerialDevice.h"
#include "window/Form1.h"
#include "window/UnhandledErrors.h"
#include "window/handlers/PrintToFile.h"
#include "window/toolkit/QtPrinterSurface.h"
#include "window/toolkit/QtWindowSystem.h"
#include "window/toolkit/TerminationSignals.h"

#include <QLibraryInfo>
#include <QLocale>

#include <cstdio>
#include <optional>

Application::Application(int& argc, char** argv) : QApplication(argc, argv)
{
    describe();
    // The toolkit's own texts (dialog buttons, the file dialog) in the window's language.
    if (translator_.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        installTranslator(&translator_);
}

void Application::describe()
{
    // No display name: the toolkit would append it to every window title, and the titles are
    // the window's own texts exactly.
    setApplicationName(QStringLiteral("Q390"));
    setApplicationVersion(QStringLiteral(Q390_VERSION));
    setOrganizationName(Form1::Maker);
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        if (errors_)
            errors_->report(error);
        else
            throw;
    }
    return false;
}

namespace {

// --help and --version answer on the terminal, before the toolkit looks for a display. The
// toolkit's own options (-platform, -style ...) are left to it: one dash or two, only these
// two words are the program's.
std::optional<int> answerOnTerminal(int argc, char** argv)
{
    QStringList arguments;
    for (int n = 1; n < argc; ++n)
        arguments << QString::fromLocal8Bit(argv[n]);
    QCommandLineParser parser;
    CommandLine::prepare(parser);
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    CommandLine::parse(parser, QStringLiteral("q390"), arguments);
    if (parser.isSet(CommandLine::helpOption().names().first())) {
        std::fputs(qUtf8Printable(CommandLine::help(parser, QStringLiteral("Usage: q390 [toolkit options]\n"
                                                                           "Opens the window of the Q390 data-acquisition unit.\n"))),
                   stdout);
        return 0;
    }
    if (parser.isSet(CommandLine::versionOption().names().first())) {
        std::printf("q390 %s\n", Q390_VERSION);
        return 0;
    }
#if !defined(Q_OS_WIN) && !defined(Q_OS_MACOS)
    // Without a display the toolkit would end the program with a page about its plugins.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")
        && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        std::fputs("q390: no display to open the window on (DISPLAY is not set); q390-rec and q390-dat need none\n", stderr);
        return 1;
    }
#endif
    return std::nullopt;
}

} // namespace

int Application::run(int argc, char** argv)
{
    if (const std::optional<int> status = answerOnTerminal(argc, argv))
        return *status;
    Application app(argc, argv);
    QtMessageBoxes boxes;
    QtEventPump pump;
    QtSweepTimer timer;
    QtLifetime lifetime;
    QtFileDialog dialog;
    SystemClock clock;
    QtPrinterSurface printer(PrintToFile::fallback(boxes, clock));
    SystemSerialDevice serial;

    Form1 form({boxes, pump, timer, lifetime, dialog, clock, printer, serial});
    UnhandledErrors errors(boxes, lifetime, form.comm());
    app.errors_ = &errors;
    // A logout or a kill ends the program as Exit does: confirmed work done, the port given back.
    const TerminationSignals termination([&form] { form.terminationSignal(); });
    boxes.setParent(&form);
    dialog.setParent(&form);
    try {
        form.Form_Load();
    } catch (const std::exception& error) {
        errors.report(error);
    }
    // Exit and an unhandled error end the process from inside the loop.
    const int code = app.exec();
    app.errors_ = nullptr;
    return code;
}
