#include "app/seams.h"

#include "app/select_folder.h"
#include "app/workspace.h"

#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fabricor {

void QtMessageBoxes::Plain(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, kApplicationTitle, text, QMessageBox::Ok, parent);
    box.exec();
}

void QtMessageBoxes::Error(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Critical, "Error", text, QMessageBox::Ok, parent);
    box.exec();
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
    path = chosen;
    return true;
}

int ModalDialogRunner::Run(QDialog& dialog) { return dialog.exec(); }

void SystemShell::OpenUrl(const QString& url) { QDesktopServices::openUrl(QUrl(url)); }

bool SystemShell::StartDetached(const QString& program, const QByteArray& argument,
                                const QString& workingFolder) {
    // The argument must reach the program as these exact bytes (Windows-1252, not UTF-8), which
    // QProcess cannot promise; a double fork leaves the program to init, so nobody waits for it.
    QByteArray programBytes = program.toLocal8Bit();
    QByteArray folderBytes = workingFolder.toLocal8Bit();
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0)
        return false;
    pid_t child = ::fork();
    if (child < 0) {
        ::close(ready[0]);
        ::close(ready[1]);
        return false;
    }
    if (child == 0) {
        ::setsid();
        pid_t grandchild = ::fork();
        if (grandchild != 0)
            ::_exit(0);
        if (!folderBytes.isEmpty() && ::chdir(folderBytes.constData()) != 0) {
            int error = errno;
            [[maybe_unused]] auto n = ::write(ready[1], &error, sizeof error);
            ::_exit(127);
        }
        char* argv[] = {programBytes.data(), const_cast<char*>(argument.constData()), nullptr};
        ::execve(programBytes.constData(), argv, environ);
        int error = errno;
        [[maybe_unused]] auto n = ::write(ready[1], &error, sizeof error);
        ::_exit(127);
    }
    ::close(ready[1]);
    int status = 0;
    ::waitpid(child, &status, 0);
    int error = 0;
    ssize_t got = ::read(ready[0], &error, sizeof error);
    ::close(ready[0]);
    return got == 0; // the exec closed the pipe without a word: the program runs
}

} // namespace fabricor
