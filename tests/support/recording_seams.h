#pragma once

#include "base/clock.h"
#include "front/seams/seams.h"
#include "front/seams/services.h"
#include "support/full_disk.h"

#include <QCursor>
#include <QDialog>
#include <QGuiApplication>
#include <QStringList>
#include <map>
#include <optional>
#include <string>
#include <deque>
#include <functional>
#include <vector>

namespace fabricor::test_support {

// Message boxes that record what would have been shown and return at once.
class RecordingMessageBoxes final : public MessageBoxes {
public:
    struct Shown {
        enum Kind { Plain, Error, Question } kind;
        QString text;
        bool busyCursor; // a box must never wait for the user under the busy cursor
    };
    void Plain(QWidget*, const QString& text) override {
        shown.push_back({Shown::Plain, text, BusyCursorShown()});
    }
    void Error(QWidget*, const QString& text) override {
        shown.push_back({Shown::Error, text, BusyCursorShown()});
    }
    bool Question(QWidget*, const QString& text) override {
        shown.push_back({Shown::Question, text, BusyCursorShown()});
        return answer;
    }
    bool answer = false; // "Yes" when true
    static bool BusyCursorShown() {
        const QCursor* cursor = QGuiApplication::overrideCursor();
        return cursor && cursor->shape() == Qt::WaitCursor;
    }

    QStringList texts() const {
        QStringList all;
        for (const auto& s : shown)
            all << s.text;
        return all;
    }
    std::vector<Shown> shown;
};

// A folder browser answered by the test: each call takes the next answer (a folder, or an empty
// text for cancel) and records what it was asked.
class ScriptedFolderBrowser final : public FolderBrowser {
public:
    struct Asked {
        QString caption, root, preselected;
    };
    bool Browse(QWidget*, const QString& caption, const QString& root, QString& folder) override {
        asked.push_back({caption, root, folder});
        if (answers.empty())
            return false;
        QString answer = answers.front();
        answers.pop_front();
        if (answer.isEmpty())
            return false;
        folder = answer;
        return true;
    }
    std::deque<QString> answers;
    std::vector<Asked> asked;
};

// A file chooser answered by the test: each call takes the next answer (a path, or an empty text
// for cancel) and records whether it was asked for a file to save.
class ScriptedFileChooser final : public FileChooser {
public:
    bool ChooseFile(QWidget*, const QString&, const QString&, bool forSaving,
                    QString& path) override {
        asked.push_back(forSaving);
        if (answers.empty())
            return false;
        QString answer = answers.front();
        answers.pop_front();
        if (answer.isEmpty())
            return false;
        path = answer;
        return true;
    }
    std::deque<QString> answers;
    std::vector<bool> asked;
};

// A shell that records what it was asked to open or start.
class RecordingShell final : public Shell {
public:
    struct Started {
        QString program;
        QByteArray argument;
        QString workingFolder;
    };
    void OpenUrl(const QString& url) override { opened << url; }
    bool StartDetached(const QString& program, const QByteArray& argument,
                       const QString& workingFolder) override {
        started.push_back({program, argument, workingFolder});
        return startSucceeds;
    }
    QStringList opened;
    std::vector<Started> started;
    bool startSucceeds = true;
};

// Shows a dialog without a modal loop: its show step runs, then the test's script for that dialog
// (looked up by objectName) acts on it as a user would; a dialog the script left open is
// rejected. Records the name of every dialog shown.
class ScriptedDialogRunner final : public DialogRunner {
public:
    int Run(QDialog& dialog) override {
        shown << dialog.objectName();
        dialog.setResult(QDialog::Rejected);
        dialog.show();
        auto script = scripts.find(dialog.objectName());
        if (script != scripts.end())
            script->second(dialog);
        if (dialog.isVisible())
            dialog.reject();
        return dialog.result();
    }
    std::map<QString, std::function<void(QDialog&)>> scripts;
    QStringList shown;
};

// An echo facility answered by the test: it reports the given byte count at once, stays
// silent when there is none, or fails with the given text. Records the hosts it was asked.
class ScriptedEcho final : public EchoFacility {
public:
    platform::Result Ping(const std::string& host, const std::string&, std::uint16_t,
                const EchoReplyHandler& onReply) override {
        hosts.push_back(host);
        if (!failure.empty())
            return platform::Result::Failed(failure);
        if (replyBytes)
            onReply(*replyBytes);
        return platform::Result::Ok();
    }
    std::optional<int> replyBytes = 64;
    std::string failure;
    std::vector<std::string> hosts;
};

// The wait after the echo without waiting: the tick counter moves only by the sleeps.
class SteppingPingWait final : public PingWaitHost {
public:
    std::uint32_t TickCount() override { return now; }
    void Sleep(int milliseconds) override { now += static_cast<std::uint32_t>(milliseconds); }
    void ProcessMessages() override { ++processed; }
    std::uint32_t now = 5000;
    int processed = 0;
};

// Every seam as a test double, at hand for a window under test.
struct RecordingServices {
    RecordingMessageBoxes boxes;
    ScriptedFolderBrowser folders;
    RecordingShell shell;
    FixedClock clock{LocalTime{2026, 12, 8, 14, 35, 47}};
    ScriptedDialogRunner dialogs;
    ScriptedEcho echo;
    SteppingPingWait pingWait;
    ScriptedFileChooser files;
    // The editors' saves go through it; it takes everything until told to fail.
    FullDisk disk;
    std::chrono::milliseconds projectLockWait = kProjectLockWait;

    Services services() {
        Services all;
        all.boxes = &boxes;
        all.folders = &folders;
        all.shell = &shell;
        all.clock = &clock;
        all.dialogs = &dialogs;
        all.echo = &echo;
        all.pingWait = &pingWait;
        all.files = &files;
        all.fileOutput = &disk;
        all.projectLockWait = projectLockWait;
        return all;
    }
};

} // namespace fabricor::test_support
