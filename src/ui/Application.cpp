#include "ui/Application.h"

#include "platform/Clock.h"
#include "platform/QtSerialDevice.h"
#include "platform/QtWindowSystem.h"
#include "platform/QtPrinterSurface.h"
#include "ui/Form1.h"
#include "ui/UnhandledErrors.h"

#include <QLibraryInfo>
#include <QLocale>

Application::Application(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Q390"));
    setApplicationDisplayName(QStringLiteral("Q390"));
    setApplicationVersion(QStringLiteral(Q390_VERSION));
    setOrganizationName(Form1::Maker);
    // The toolkit's own texts (dialog buttons, the file dialog) in the window's language.
    if (translator_.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        installTranslator(&translator_);
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
    QtPrinterSurface printer(boxes, clock);
    QtSerialDevice serial;
    UnhandledErrors errors(boxes, lifetime);
    app.errors_ = &errors;

    Form1 form({boxes, pump, timer, lifetime, dialog, clock, printer, serial});
    boxes.setParent(&form);
    dialog.setParent(&form);
    try {
        form.Form_Load();
    } catch (const std::exception& error) {
        errors.report(error);
    }
    const int code = lifetime.ended() ? 0 : app.exec();
    app.errors_ = nullptr;
    return errors.reported() ? 1 : code;
}
