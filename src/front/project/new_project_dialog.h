#pragma once

#include "front/seams/seams.h"
#include "workspace/workspace.h"

#include <QDialog>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace fabricor {

// The New project dialog: creates a project folder with its bin folder below the destination,
// makes it current and has the editors write its first documents. Created once; it keeps its
// destination, new name and close permission for the whole run.
class TFsaveproj : public QDialog {
    Q_OBJECT
public:
    TFsaveproj(Workspace& workspace, MessageBoxes& boxes, QWidget* parent = nullptr);

    // Writes the new project's first documents: the general parameters editor's reset and
    // confirm, then the translate table editor's confirm, all without showing them. A failure
    // to write the general parameters is thrown, and leaves the dialog open.
    std::function<void()> WriteFirstDocuments;

    QString destination; // where the new project folder is made; New project sets it
    QString newName;
    bool closePermission = false;

    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QPushButton* bitbtn1 = nullptr;
    QPushButton* bitbtn2 = nullptr;

    void FormShow();
    void BitBtn1Click();
    void BitBtn2Click();
    bool FormCloseQuery() const { return closePermission; }

    // Any close, by the buttons or by the system, goes through here.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void OkClicked();

    Workspace& workspace_;
    MessageBoxes& boxes_;
};

} // namespace fabricor
