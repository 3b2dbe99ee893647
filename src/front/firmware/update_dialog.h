#pragma once

#include "base/sha256.h"
#include "front/seams/services.h"
#include "workspace/workspace.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QThread;

namespace fabricor {

class ProjectUpdate;

// Generate Firmware: merges the project's configuration image into the base firmware from
// MASTER and starts the flash tool with the new firmware and the chosen serial port. Created
// once; its fields keep their values from one showing to the next.
class TFModifyFileSx : public QDialog {
    Q_OBJECT
public:
    TFModifyFileSx(const Workspace& workspace, const Services& services, QWidget* parent = nullptr);
    // A report being written is finished first: its file is never left half-made.
    ~TFModifyFileSx() override;

    std::string BaseFileSx;    // bare name, found in the current directory (MASTER)
    std::string NewFileSxName; // bare name, written into OutDir
    std::string BinDir; // the project's bin folder, ending in a separator; empty when missing
    std::string OutDir;        // the project folder, ending in a separator

signals:
    // A report was written (or could not be), after "Save report as PDF...".
    void reportWritten(bool ok);

protected:
    void showEvent(QShowEvent* event) override;

private slots:
    // "Execute update firmware": the merge, then the launch.
    void LbButton2Click();
    // "Save report as PDF...": the commissioning report, after a successful merge.
    void SaveReportClick();

private:
    void FormShow();
    // The upper part: what the update reads and writes, and why it cannot run when it cannot.
    void ShowPlan(const std::string& project, const std::string& base, const std::string& written);
    void ShowPath(QLabel* label, const std::string& path);
    // Hides what the last merge showed: its hashes, its failure, its report.
    void ForgetLastMerge();
    // The red line: why the button is off, or why the last merge failed (whole in the tooltip).
    void ShowReason(const QString& text);
    // The SHA-256 of a file just written, elided in the middle when too wide (whole in the
    // tooltip).
    void ShowHash(QLabel* label, const FileHash& hash);
    // True when the new firmware is complete and may go to the device.
    bool ExeModFileSxClick(ProjectUpdate& update);
    void ExeUpdateFirClick();
    // Back on the user-interface thread when the worker has written the report, or failed to.
    void ReportDone(const QString& path, const QString& failure, int pages, qint64 ms);

    const Workspace& workspace_;
    Services services_;

    QPushButton* LbButton1_ = nullptr;
    QPushButton* LbButton2_ = nullptr;
    QPushButton* reportButton_ = nullptr;
    QComboBox* cbport_ = nullptr;
    QProgressBar* Avanzamento_ = nullptr;
    QLabel* projectPath_ = nullptr;
    QLabel* basePath_ = nullptr;
    QLabel* newPath_ = nullptr;
    QLabel* disabledReason_ = nullptr;
    QLabel* imageHash_ = nullptr;
    QLabel* firmwareHash_ = nullptr;
    QLabel* imageHashCaption_ = nullptr;
    QLabel* firmwareHashCaption_ = nullptr;
    QLabel* reportProgress_ = nullptr;
    QThread* reportThread_ = nullptr;
    bool mergeWritten_ = false; // the report is of a merge that succeeded
};

} // namespace fabricor
