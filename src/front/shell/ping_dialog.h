#pragma once

#include "workspace/ping.h"

#include <QDialog>

class QLabel;
class QPushButton;

namespace fabricor {

// The small modal dialog that tells the result of Ping Device. Created once; it keeps the last
// result until the next one replaces it.
class TFPing : public QDialog {
    Q_OBJECT
public:
    explicit TFPing(QWidget* parent = nullptr);

    // Shows the picture of `kind` (0 found, 1 not found, 2 error) and hides the other two.
    void ShowPingResult(int kind, const QString& caption, const QString& label);
    void ShowPingResult(PingResultKind kind);

    QLabel* I_P_F = nullptr;
    QLabel* I_P_NF = nullptr;
    QLabel* I_P_E = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* LbButton1 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void LbButton1Click();
};

// The real wait: a millisecond tick counter, a sleep of the user-interface thread and the
// processing of pending window messages.
class QtPingWait final : public PingWaitHost {
public:
    std::uint32_t TickCount() override;
    void Sleep(int milliseconds) override;
    void ProcessMessages() override;
};

} // namespace fabricor
