#pragma once

#include "documents/pargen.h"
#include "front/seams/seams.h"
#include "rules/general_parameter_rules.h"
#include "workspace/workspace.h"

#include <QDialog>

#include <array>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace fabricor {

// "General Parameter": the device's network and serial settings of the current project.
// Created once and reused; every showing starts from the new-project values and the file.
class TFpargen : public QDialog {
    Q_OBJECT
public:
    TFpargen(Workspace& workspace, MessageBoxes& boxes, QWidget* parent = nullptr);

    // Every control and hidden setting to the values a new project starts with.
    void ResetGeneralParameters();
    // The show step: reset, then load pargen.xml. A document that is not well-formed throws
    // with the parser's text, after the reset, for the top-level handler to show.
    void FormShow();
    // Shows the first failing check's message and takes the user to its box.
    bool ValidateGeneralParameters();
    // The confirm operation of "OK", also run while the dialog is hidden (New project). A failure
    // to write pargen.xml throws with the system's text, for the top-level handler to show.
    void BitBtn1Click();
    // Where the confirm writes pargen.xml: the system's files unless given another.
    void SetFileOutput(FileOutput& output) { output_ = &output; }

    // The settings as the controls and hidden settings hold them.
    GeneralParameters CurrentParameters() const;
    void ShowParameters(const GeneralParameters& parameters);

signals:
    // A successful confirm enables Translate Table in NAT Mode and disables it otherwise.
    void translateEnabledChanged(bool enabled);
    // Every confirm, unless the write failed: the four address texts joined by ".".
    void pingAddressChanged(const QString& address);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Key filter of the twelve address boxes; true when the key was taken.
    bool E_IP1KeyPress(QLineEdit* box, const QString& key);
    void SetTwoStopBits(bool on);
    QLineEdit* BoxOf(GeneralParameterField field) const;
    void BuildControls();

    Workspace& workspace_;
    MessageBoxes& boxes_;
    FileOutput* output_ = &SystemFileOutput();

    QGroupBox* RG_Mode_ = nullptr;
    QRadioButton* routingMode_ = nullptr;
    QRadioButton* natMode_ = nullptr;
    QButtonGroup* modes_ = nullptr;
    std::array<QLineEdit*, 4> E_IP_{};
    std::array<QLineEdit*, 4> E_SUB_{};
    std::array<QLineEdit*, 4> E_GAT_{};
    QSpinBox* SE_Port_ = nullptr;
    QCheckBox* CB_En_Gate_ = nullptr;
    QComboBox* CB_Baud_ = nullptr;
    QComboBox* CB_Par_ = nullptr;
    QLineEdit* E_Time_ = nullptr;
    QLineEdit* E_Offset_ = nullptr;
    QPushButton* BitBtn1_ = nullptr;
    QPushButton* BitBtn2_ = nullptr;

    // Settings the dialog keeps without showing them.
    std::string snmpPublic_;
    std::string snmpPrivate_;
    bool twoStopBits_ = false;
};

} // namespace fabricor
