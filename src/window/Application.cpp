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
#include <variant>

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

// The program's own command line: --help, --version and a data file. The toolkit's options
// (-platform, -style ...) are left to it: one dash or two, only these two words are the program's.
void parseCommandLine(QCommandLineParser& parser, const QStringList& arguments)
{
    CommandLine::prepare(parser);
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("A data file to show at start, as Load (取盘) does."),
                                 QStringLiteral("[FILE]"));
    CommandLine::parse(parser, QStringLiteral("q390"), arguments);
}

// --help and --version answer on the terminal, before the toolkit looks for a display.
std::optional<int> answerOnTerminal(int argc, char** argv)
{
    QStringList arguments;
    for (int n = 1; n < argc; ++n)
        arguments << QString::fromLocal8Bit(argv[n]);
    QCommandLineParser parser;
    parseCommandLine(parser, arguments);
    if (parser.isSet(CommandLine::helpOption().names().first())) {
        std::fputs(qUtf8Printable(CommandLine::help(parser, QStringLiteral("Usage: q390 [toolkit options] [FILE]\n"
                                                                           "Opens the window of the Q390 data-acquisition unit; given a data\n"
                                                                           "file, shows it there as Load does, and holds.\n"))),
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

// The data file to show at start, once the toolkit has taken its own options away; the
// status to end with when more than one is given.
std::variant<QString, int> fileToShow(const QStringList& arguments)
{
    QCommandLineParser parser;
    parseCommandLine(parser, arguments.mid(1));
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1) {
        std::fputs(qUtf8Printable(QStringLiteral("q390: one data file at most, not %1 (q390 --help)\n").arg(files.join(u' '))), stderr);
        return 2;
    }
    return files.value(0);
}

} // namespace

int Application::run(int argc, char** argv)
{
    if (const std::optional<int> status = answerOnTerminal(argc, argv))
        return *status;
    Application app(argc, argv);
    const std::variant<QString, int> file = fileToShow(app.arguments());
    if (const int* status = std::get_if<int>(&file))
        return *status;
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
        if (const QString& name = std::get<QString>(file); !name.isEmpty())
            form.openAtStart(name);
    } catch (const std::exception& error) {
        errors.report(error);
    }
    // Exit and an unhandled error end the process from inside the loop.
    const int code = app.exec();
    app.errors_ = nullptr;
    return code;
}
