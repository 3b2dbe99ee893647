#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

namespace fabricor::flash {

class FlashJob;
class Transcript;

// The tool's window, for when it was started from the update dialog and has no terminal: what
// goes where, a progress bar while the records go out, and the outcome until the user closes it.
class FlashWindow : public QWidget {
    Q_OBJECT
public:
    FlashWindow(FlashJob& job, Transcript& transcript, QWidget* parent = nullptr);

    // Opens the port and sends the records a few at a time, so the window stays responsive.
    void Start();
    // Shows a failure that happened before sending could start.
    void ShowFailure(const QString& why, int status = 1);

    // 0 once every record has left the port; what the tool ends with.
    int exitStatus() const { return status_; }
    bool finished() const { return finished_; }

signals:
    void ended(int status);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void SendSome();
    void End(const QString& message, int status);

    FlashJob& job_;
    Transcript& transcript_;
    QLabel* what_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QLabel* outcome_ = nullptr;
    QPushButton* close_ = nullptr;
    int status_ = 1;
    bool finished_ = false;
};

} // namespace fabricor::flash
