#include "app/main_window.h"
#include "app/ping_dialog.h"
#include "app/top_level_handler.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(fabricor::kApplicationTitle);

    fabricor::QtMessageBoxes boxes;
    // Commands show their own failures; this catches what escapes start-up or the event loop.
    try {
        fabricor::QtFolderBrowser folders;
        fabricor::SystemShell shell;
        fabricor::SystemClock clock;
        fabricor::ModalDialogRunner dialogs;
        fabricor::IcmpEchoFacility echo;
        fabricor::QtPingWait pingWait;
        fabricor::Services services;
        services.boxes = &boxes;
        services.folders = &folders;
        services.shell = &shell;
        services.clock = &clock;
        services.dialogs = &dialogs;
        services.echo = &echo;
        services.pingWait = &pingWait;

        fabricor::TFFabricoreFirmWare window(QCoreApplication::applicationFilePath(), services);
        QObject::connect(&window, &fabricor::TFFabricoreFirmWare::closed, &application,
                         &QCoreApplication::quit, Qt::QueuedConnection);
        window.show();
        return QApplication::exec();
    } catch (const std::exception& failure) {
        boxes.Error(nullptr, fabricor::FailureText(failure));
        return 1;
    }
}
