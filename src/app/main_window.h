#pragma once

#include "app/workspace.h"

#include <QWidget>

namespace fabricor {

// The main window. Its creation runs the start-up sequence; its close writes the settings file.
class TFFabricoreFirmWare : public QWidget {
    Q_OBJECT
public:
    explicit TFFabricoreFirmWare(const QString& executablePath, QWidget* parent = nullptr);

    Workspace& workspace() { return workspace_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate(const QString& executablePath);
    void FormClose();

    Workspace workspace_;
};

} // namespace fabricor
