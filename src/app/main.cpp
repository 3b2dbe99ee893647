#include "app/main_window.h"
#include "app/ping_dialog.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(fabricor::kApplicationTitle);

    fabricor::QtMessageBoxes boxes;
    fabricor::QtFolderBrowser folders;
    fabricor::SystemShell shell;
    fabricor::SystemClock clock;
    fabricor::ModalDialogRunner dialogs;
    fabricor::IcmpEchoFacility echo;
    fabricor::QtPingWait pingWait;
    fabricor::QtFileChooser files;
    fabricor::Services services;
    services.boxes = &boxes;
    services.folders = &folders;
    services.shell = &shell;
    services.clock = &clock;
    services.dialogs = &dialogs;
    services.echo = &echo;
    services.pingWait = &pingWait;
    services.files = &files;

    fabricor::TFFabricoreFirmWare window(QCoreApplication::applicationFilePath(), services);
    QObject::connect(&window, &fabricor::TFFabricoreFirmWare::closed, &application,
                     &QCoreApplication::quit, Qt::QueuedConnection);
    window.show();
    return QApplication::exec();
}
