#pragma once

#include <QByteArray>
#include <QMessageBox>
#include <QString>

#include <memory>

class QDialog;
class QWidget;

namespace fabricor {

// What blocks on a person or the outside world is reached through these small interfaces, so
// every dialog can be driven offscreen: tests answer and record them instead of a modal loop.

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // The plain box: the application title as caption, the text, no icon, one OK button.
    virtual void Plain(QWidget* parent, const QString& text) = 0;
    // The error box: error icon, caption "Error", one OK button.
    virtual void Error(QWidget* parent, const QString& text) = 0;
    // A question: the application title as caption, a question icon, "Yes" and "No" (the
    // default). True when the user answered "Yes".
    virtual bool Question(QWidget* parent, const QString& text) = 0;
};

class FolderBrowser {
public:
    virtual ~FolderBrowser() = default;
    // Modal folder browser rooted at `root` (the user sees and reaches only it and what lies
    // below it). `folder` is in/out: preselected on entry when not empty, the chosen folder on
    // confirmation. Returns true when the user confirmed a folder.
    virtual bool Browse(QWidget* parent, const QString& caption, const QString& root,
                        QString& folder) = 0;
};

class Shell {
public:
    virtual ~Shell() = default;
    // Opens a web address with the user's default handler; the outcome is not examined.
    virtual void OpenUrl(const QString& url) = 0;
    // Starts a program detached, with one argument passed as these exact bytes, in the given
    // working folder; nobody waits for it. False when it could not be started.
    virtual bool StartDetached(const QString& program, const QByteArray& argument,
                               const QString& workingFolder) = 0;
};

class DialogRunner {
public:
    virtual ~DialogRunner() = default;
    // Shows the dialog modally (its show step runs) and returns how it was closed, as
    // QDialog::exec does.
    virtual int Run(QDialog& dialog) = 0;
};

// A message box as the program shows it: its look, wide enough for its caption in a title bar
// with the frame's buttons, and opening centred on the window `owner` belongs to.
std::unique_ptr<QMessageBox> MakeMessageBox(QMessageBox::Icon icon, const QString& caption,
                                            const QString& text, QWidget* owner);

class FileChooser {
public:
    virtual ~FileChooser() = default;
    // Modal file dialog for a file to read (`forSaving` false) or to write (true). `path` is
    // in/out: preselected on entry when not empty, the chosen file on confirmation. `filter` is
    // Qt's name filter text ("CSV files (*.csv)"). Returns true when the user chose a file.
    virtual bool ChooseFile(QWidget* parent, const QString& caption, const QString& filter,
                            bool forSaving, QString& path) = 0;
};

// The real implementations, for the running program.
class QtMessageBoxes final : public MessageBoxes {
public:
    void Plain(QWidget* parent, const QString& text) override;
    void Error(QWidget* parent, const QString& text) override;
    bool Question(QWidget* parent, const QString& text) override;
};

class QtFolderBrowser final : public FolderBrowser {
public:
    bool Browse(QWidget* parent, const QString& caption, const QString& root,
                QString& folder) override;
};

class SystemShell final : public Shell {
public:
    void OpenUrl(const QString& url) override;
    bool StartDetached(const QString& program, const QByteArray& argument,
                       const QString& workingFolder) override;
};

class QtFileChooser final : public FileChooser {
public:
    bool ChooseFile(QWidget* parent, const QString& caption, const QString& filter, bool forSaving,
                    QString& path) override;
};

class ModalDialogRunner final : public DialogRunner {
public:
    int Run(QDialog& dialog) override;
};

} // namespace fabricor
