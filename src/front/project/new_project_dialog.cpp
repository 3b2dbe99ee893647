#include "front/project/new_project_dialog.h"

#include "front/seams/top_level_handler.h"
#include "project/project_folders.h"
#include "style/style.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace fabricor {

TFsaveproj::TFsaveproj(Workspace& workspace, MessageBoxes& boxes, QWidget* parent)
    : QDialog(parent), workspace_(workspace), boxes_(boxes) {
    setObjectName("TFsaveproj");
    UseToolWindowFrame(this);
    setModal(true);
    ApplyFabricorLook(this);
    setFixedSize(319, 91);
    setWindowTitle(QStringLiteral("New project"));

    Label1 = new QLabel(QStringLiteral("Project name"), this);
    Label1->setObjectName("Label1");
    Label1->adjustSize();
    Label1->move(16, 2);

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName("Edit1");
    Edit1->setGeometry(16, 16, 297, 21);
    Edit1->setStyleSheet(QStringLiteral("QLineEdit { border: 1px solid #aaa696; background: white; }"));

    bitbtn1 = new QPushButton(QStringLiteral("OK"), this);
    bitbtn1->setObjectName("bitbtn1");
    bitbtn1->setGeometry(92, 59, 69, 23);
    bitbtn1->setDefault(true);
    bitbtn2 = new QPushButton(QStringLiteral("Cancel"), this);
    bitbtn2->setObjectName("bitbtn2");
    bitbtn2->setGeometry(164, 59, 69, 23);

    connect(bitbtn1, &QPushButton::clicked, this, [this] { OkClicked(); });
    connect(bitbtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
}

void TFsaveproj::showEvent(QShowEvent* event) {
    FormShow();
    CentreOnScreen(this);
    QDialog::showEvent(event);
}

void TFsaveproj::FormShow() {
    setWindowTitle(QStringLiteral("New project"));
    Edit1->clear();
    newName.clear();
    Edit1->setFocus();
}

void TFsaveproj::OkClicked() {
    // A failure while writing the first documents ends the handler; the dialog stays open.
    if (RunCommand(this, boxes_, [this] { BitBtn1Click(); }))
        done(QDialog::Accepted);
}

void TFsaveproj::BitBtn1Click() {
    closePermission = true;
    newName = Edit1->text();
    const std::string name = newName.toStdString();
    std::string systemError;
    NewProjectFolder outcome =
        CreateNewProjectFolder(destination.toStdString(), name, &systemError);
    if (outcome != NewProjectFolder::Created) {
        if (*MessageOf(outcome) != '\0')
            boxes_.Plain(this, QString::fromUtf8(MessageOf(outcome)));
        else if (!systemError.empty()) // staying open without a word would look like a hang
            boxes_.Error(this, QString::fromStdString(systemError));
        closePermission = false;
        return;
    }
    MakeNewProjectCurrent(workspace_, destination.toStdString(), name);
    if (WriteFirstDocuments)
        WriteFirstDocuments();
    closePermission = true;
}

void TFsaveproj::BitBtn2Click() {
    closePermission = true;
    done(QDialog::Rejected);
}

void TFsaveproj::done(int result) {
    if (!FormCloseQuery())
        return;
    QDialog::done(result);
}

void TFsaveproj::keyPressEvent(QKeyEvent* event) {
    // Escape presses Cancel; a close request of the system goes through done() instead.
    if (event->key() == Qt::Key_Escape) {
        bitbtn2->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace fabricor
