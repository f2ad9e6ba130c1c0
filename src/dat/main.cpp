#include "core/system/FileNames.h"
#include "dat/DatTool.h"

#include <QGuiApplication>

#include <csignal>
#include <cstdio>

namespace {

// The labels of plots and pages are set in the system's fonts, which Qt reaches through a
// GUI application. No window is ever shown: off Windows, Qt's off-screen platform serves
// without a display whatever the environment names. The tool's messages are its own lines;
// Qt's notes on its set-up (no XDG_RUNTIME_DIR, say) are not for the user, its errors are.
int runTool(const QStringList& arguments)
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "q390-dat: %s\n", qUtf8Printable(text));
    });
    char name[] = "q390-dat";
#ifdef Q_OS_WIN
    char* argv[] = {name, nullptr};
    int argc = 1;
#else
    char option[] = "-platform";
    char platform[] = "offscreen";
    char* argv[] = {name, option, platform, nullptr};
    int argc = 3;
#endif
    const QGuiApplication application(argc, argv);
    return DatTool::run(arguments, stdout, stderr);
}

} // namespace

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>

// Windows hands the arguments over in its wide characters (file names in any script, whatever
// the ANSI code page). Standard output is binary, so that the rows are the same bytes as on
// every other system.
int wmain(int argc, wchar_t** argv)
{
    _setmode(_fileno(stdout), _O_BINARY);
    QStringList arguments;
    for (int n = 1; n < argc; ++n)
        arguments << QString::fromWCharArray(argv[n]);
    return runTool(arguments);
}
#else
int main(int argc, char** argv)
{
    // Past a file-size limit a write fails with its reason instead of ending the program. A
    // reader that stops early (q390-dat csv … | head) still ends it quietly by SIGPIPE, as it
    // ends the other tools of a pipeline.
    std::signal(SIGXFSZ, SIG_IGN);
    QStringList arguments;
    for (int n = 1; n < argc; ++n) {
        const std::optional<QString> argument = nameAsText(argv[n]);
        if (!argument) {
            std::fprintf(stderr, "q390-dat: %s: not a valid name in this system's encoding\n", argv[n]);
            return DatTool::Failed;
        }
        arguments << *argument;
    }
    return runTool(arguments);
}
#endif
