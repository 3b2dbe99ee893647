#pragma once

#include "front/seams/services.h"
#include "workspace/workspace.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace fabricor {

class ClickableLabel;
class TFAbout2;
class TFModifyFileSx;
class TFPing;
class TFpargen;
class TFSetVar;
class TFsaveproj;
class TFTestDevice;

// The main window: the four-step workflow (project, general parameters and ping, translate
// table, update device) and the place every command starts from. Its creation runs the
// start-up sequence and creates every dialog once; its close writes the settings file.
class TFFabricoreFirmWare : public QWidget {
    Q_OBJECT
public:
    TFFabricoreFirmWare(const QString& executablePath, const Services& services,
                        QWidget* parent = nullptr);

    Workspace& workspace() { return workspace_; }
    const Services& services() const { return services_; }

    // Enabled state of Translate Table: set at start-up, by the general parameters' confirm and
    // by Open and New from the MODE of the project they make current.
    void SetTranslateEnabled(bool enabled);
    // The IP address box that Ping Device uses; the general parameters' confirm fills it.
    void SetPingAddress(const QString& address);
    QString PingAddress() const;

    // Ping Device: 0 waiting, 1 found, 2 not found; set by the echo's reply notification.
    int PingState = kPingWaiting;
    void Ping1Reply(int byteCount);
    TFPing* Ping() const { return FPing_; }
    TFsaveproj* Saveproj() const { return Saveproj_; }
    TFpargen* Fpargen() const { return Fpargen_; }
    TFSetVar* FSetVar() const { return FSetVar_; }
    // Test Device's window, made at its first opening; nothing before.
    TFTestDevice* TestDevice() const { return TestDevice_; }

signals:
    // The window was closed: the application ends. A tool window does not count as the last
    // window for Qt, so the program listens for this instead.
    void closed();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private slots:
    // The one handler of General Parameter, Translate Table and Ping Device.
    void btn_str_lng1aClick(QPushButton* button);
    void CreateBinaClick();
    void AboutClick();
    void LbButton1Click();
    void Label6Click();
    void NewaClick();
    void OpenaClick();
    void TestDeviceClick();

private:
    void FormCreate(const QString& executablePath);
    void CreateControls();
    void CreateDialogs();
    void FormShow();
    void FormClose();

    // The commands behind the project check.
    void ShowGeneralParameters();
    void ShowTranslateTable();
    void PingDevice();
    void WriteFirstDocuments();

    void UpdateDevice();
    // Open and New: the Translate Table state follows the MODE of the project now current.
    void FollowProjectMode();

    QPushButton* AddButton(const char* name, const QString& text, QRect place);
    QLabel* AddStepLabel(const char* name, const QString& text, QPoint place);

    Services services_;
    Workspace workspace_;

    QPushButton* New_ = nullptr;
    QPushButton* open_ = nullptr;
    QPushButton* btn_Prm_Gen_ = nullptr;
    QPushButton* Btn_Ping_ = nullptr;
    QLineEdit* Edit1_ = nullptr;
    QPushButton* btn_Translate_ = nullptr;
    QPushButton* CreateBin_ = nullptr;
    QPushButton* btn_TestDevice_ = nullptr;
    QPushButton* about_ = nullptr;
    QPushButton* LbButton1_ = nullptr;
    ClickableLabel* Label6_ = nullptr;
    QLabel* Labelstate_ = nullptr;

    TFModifyFileSx* ModifyFileSx_ = nullptr;
    TFAbout2* About2_ = nullptr;
    TFPing* FPing_ = nullptr;
    TFsaveproj* Saveproj_ = nullptr;
    TFpargen* Fpargen_ = nullptr;
    TFSetVar* FSetVar_ = nullptr;
    TFTestDevice* TestDevice_ = nullptr;
};

} // namespace fabricor
