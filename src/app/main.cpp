#include "app/main_window.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(fabricor::kApplicationTitle);
    fabricor::TFFabricoreFirmWare window(QCoreApplication::applicationFilePath());
    window.show();
    return QApplication::exec();
}
