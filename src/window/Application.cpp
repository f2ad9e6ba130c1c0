#include "window/Application.h"

#include "core/system/Clock.h"
#include "devices/SystemSerialDevice.h"
#include "window/Form1.h"
#include "window/UnhandledErrors.h"
#include "window/handlers/PrintToFile.h"
#include "window/toolkit/QtPrinterSurface.h"
#include "window/toolkit/QtWindowSystem.h"
#include "window/toolkit/TerminationSignals.h"

#include <QLibraryInfo>
#include <QLocale>

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

int Application::run(int argc, char** argv)
{
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
