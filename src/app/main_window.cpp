#include "app/main_window.h"

#include <QCloseEvent>
#include <QMessageBox>

namespace fabricor {

TFFabricoreFirmWare::TFFabricoreFirmWare(const QString& executablePath, QWidget* parent)
    : QWidget(parent) {
    setObjectName("TFFabricoreFirmWare");
    FormCreate(executablePath);
}

void TFFabricoreFirmWare::FormCreate(const QString& executablePath) {
    auto startup = RunStartup(workspace_, executablePath.toStdString());
    setWindowTitle(QString::fromStdString(startup.title));
}

void TFFabricoreFirmWare::FormClose() {
    if (!SaveLastProject(workspace_))
        QMessageBox::information(this, kApplicationTitle,
                                 QString::fromStdString(SettingsWriteFailureText(workspace_)));
}

void TFFabricoreFirmWare::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

} // namespace fabricor
