#include "front/seams/seams.h"

#include "front/seams/select_folder.h"
#include "platform/process.h"
#include "style/style.h"
#include "workspace/workspace.h"

#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QMessageBox>
#include <QUrl>

#include <string>

namespace fabricor {

namespace {

class FabricorMessageBox final : public QMessageBox {
public:
    FabricorMessageBox(Icon icon, const QString& caption, const QString& text, QWidget* owner)
        : QMessageBox(icon, caption, text, QMessageBox::Ok, owner), owner_(owner) {
        ApplyFabricorLook(this);
        // The box sizes itself to its text; a spacer as wide as the caption needs keeps a short
        // text from cutting the caption.
        const int captionWidth = WidthForCaption(caption);
        if (auto* grid = qobject_cast<QGridLayout*>(layout()))
            grid->addItem(
                new QSpacerItem(captionWidth, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                grid->rowCount(), 0, 1, grid->columnCount());
    }

protected:
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event);
        CentreOnOwner(this, owner_);
    }

private:
    QWidget* owner_;
};

} // namespace

std::unique_ptr<QMessageBox> MakeMessageBox(QMessageBox::Icon icon, const QString& caption,
                                            const QString& text, QWidget* owner) {
    return std::make_unique<FabricorMessageBox>(icon, caption, text, owner);
}

void QtMessageBoxes::Plain(QWidget* parent, const QString& text) {
    MakeMessageBox(QMessageBox::NoIcon, kApplicationTitle, text, parent)->exec();
}

void QtMessageBoxes::Error(QWidget* parent, const QString& text) {
    MakeMessageBox(QMessageBox::Critical, QStringLiteral("Error"), text, parent)->exec();
}

bool QtMessageBoxes::Question(QWidget* parent, const QString& text) {
    auto box = MakeMessageBox(QMessageBox::Question, kApplicationTitle, text, parent);
    box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box->setDefaultButton(QMessageBox::No);
    return box->exec() == QMessageBox::Yes;
}

bool QtFolderBrowser::Browse(QWidget* parent, const QString& caption, const QString& root,
                             QString& folder) {
    // The platform's own dialog lets the user climb above the root, so the program has its own.
    RootedFolderDialog browser(caption, root, folder, parent);
    if (browser.exec() != QDialog::Accepted || browser.SelectedFolder().isEmpty())
        return false;
    folder = browser.SelectedFolder();
    return true;
}

bool QtFileChooser::ChooseFile(QWidget* parent, const QString& caption, const QString& filter,
                               bool forSaving, QString& path) {
    const QString chosen = forSaving ? QFileDialog::getSaveFileName(parent, caption, path, filter)
                                     : QFileDialog::getOpenFileName(parent, caption, path, filter);
    if (chosen.isEmpty())
        return false;
    // Qt's dialogs give "/" on every system; the core joins and cuts paths at the platform's own.
    path = QDir::toNativeSeparators(chosen);
    return true;
}

int ModalDialogRunner::Run(QDialog& dialog) { return dialog.exec(); }

void SystemShell::OpenUrl(const QString& url) { QDesktopServices::openUrl(QUrl(url)); }

bool SystemShell::StartDetached(const QString& program, const QByteArray& argument,
                                const QString& workingFolder) {
    // The argument must reach the program as these exact bytes (Windows-1252, not UTF-8), which
    // QProcess cannot promise. The paths are UTF-8, as the core takes every path.
    return StartDetachedProgram(program.toStdString(), argument.toStdString(),
                                workingFolder.toStdString());
}

} // namespace fabricor
