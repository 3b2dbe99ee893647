#include "front/shell/main_window.h"

#include "documents/pargen.h"
#include "documents/var.h"
#include "firmware/update_pipeline.h"
#include "front/editors/general_parameter_dialog.h"
#include "front/editors/translate_table_dialog.h"
#include "front/firmware/update_dialog.h"
#include "front/project/new_project_dialog.h"
#include "front/project/open_project.h"
#include "front/seams/top_level_handler.h"
#include "front/shell/about_dialog.h"
#include "front/shell/ping_dialog.h"
#ifdef FABRICOR_TEST_DEVICE
#include "front/shell/test_device_window.h"
#endif
#include "style/style.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>

#include <optional>
#include <stdexcept>

namespace fabricor {

namespace {

constexpr QSize kOuterSize(574, 233);

// The About button's picture: a small "i" in a ring, drawn so it needs no image file.
QIcon AboutIcon() {
    QPixmap picture(14, 14);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(kTextColour, 1.4));
    painter.drawEllipse(QRectF(1, 1, 12, 12));
    painter.setBrush(kTextColour);
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QRectF(6.1, 3.2, 1.8, 1.8));
    painter.drawRect(QRectF(6.2, 6.0, 1.6, 4.8));
    return QIcon(picture);
}

} // namespace

TFFabricoreFirmWare::TFFabricoreFirmWare(const QString& executablePath, const Services& services,
                                         QWidget* parent)
    : QWidget(parent), services_(services) {
    setObjectName("TFFabricoreFirmWare");
    UseToolWindowFrame(this);
    ApplyFabricorLook(this);
    CreateControls();
    FormCreate(executablePath);
    CreateDialogs();
}

void TFFabricoreFirmWare::CreateControls() {
    New_ = AddButton("New", "New project", {80, 36, 146, 26});
    open_ = AddButton("open", "Open project", {232, 36, 146, 26});
    btn_Prm_Gen_ = AddButton("btn_Prm_Gen", "General Parameter", {80, 80, 146, 26});
    Btn_Ping_ = AddButton("Btn_Ping", "Ping Device", {232, 80, 146, 26});
    btn_Translate_ = AddButton("btn_Translate", "Translate Table", {80, 124, 146, 26});
    CreateBin_ = AddButton("CreateBin", "Update Device", {80, 168, 146, 26});
    // In the free place right of Update Device, the size of the step buttons.
    btn_TestDevice_ = AddButton("btn_TestDevice", "Test Device", {232, 168, 146, 26});

    Edit1_ = new QLineEdit(QStringLiteral("0.0.0.0"), this);
    Edit1_->setObjectName("Edit1");
    Edit1_->setGeometry(384, 83, 113, 19);

    about_ = AddButton("about", QString(), {493, 21, 21, 19});
    about_->setIcon(AboutIcon());
    about_->setToolTip(QStringLiteral("About"));
    about_->setAccessibleName(QStringLiteral("About"));
    about_->setStyleSheet(QStringLiteral("padding: 0px;"));
    LbButton1_ = AddButton("LbButton1", "X", {520, 21, 21, 19});
    LbButton1_->setStyleSheet(QStringLiteral("padding: 0px;"));

    AddStepLabel("Label1", "Step 1", {16, 47});
    AddStepLabel("Label2", "Step 2", {16, 91});
    AddStepLabel("Label3", "Step 3", {16, 135});
    AddStepLabel("Label4", "Step 4", {16, 179});

    Label6_ = new ClickableLabel(QString::fromLatin1(kVendorWebAddress), this);
    Label6_->setObjectName("Label6");
    QFont bold = font();
    bold.setBold(true);
    Label6_->setFont(bold);
    Label6_->setStyleSheet(QStringLiteral("color: rgb(128, 128, 128);"));
    Label6_->setCursor(Qt::PointingHandCursor);
    Label6_->adjustSize();
    Label6_->move(425, 181);

    Labelstate_ = new QLabel(this);
    Labelstate_->setObjectName("Labelstate");
    Labelstate_->hide();

    for (QPushButton* button : {btn_Prm_Gen_, Btn_Ping_, btn_Translate_})
        connect(button, &QPushButton::clicked, this,
                [this, button] { btn_str_lng1aClick(button); });
    connect(CreateBin_, &QPushButton::clicked, this, &TFFabricoreFirmWare::CreateBinaClick);
    connect(btn_TestDevice_, &QPushButton::clicked, this,
            [this] { RunCommand(this, *services_.boxes, [this] { TestDeviceClick(); }); });
    connect(about_, &QPushButton::clicked, this, &TFFabricoreFirmWare::AboutClick);
    connect(LbButton1_, &QPushButton::clicked, this, &TFFabricoreFirmWare::LbButton1Click);
    connect(Label6_, &ClickableLabel::clicked, this, &TFFabricoreFirmWare::Label6Click);
    // Whatever a command leaves unhandled is shown where it started, never thrown into Qt.
    connect(New_, &QPushButton::clicked, this,
            [this] { RunCommand(this, *services_.boxes, [this] { NewaClick(); }); });
    connect(open_, &QPushButton::clicked, this,
            [this] { RunCommand(this, *services_.boxes, [this] { OpenaClick(); }); });
}

QPushButton* TFFabricoreFirmWare::AddButton(const char* name, const QString& text, QRect place) {
    auto* button = new QPushButton(text, this);
    button->setObjectName(name);
    button->setGeometry(place);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

QLabel* TFFabricoreFirmWare::AddStepLabel(const char* name, const QString& text, QPoint place) {
    auto* label = new QLabel(text, this);
    label->setObjectName(name);
    QFont bold = font();
    bold.setBold(true);
    label->setFont(bold);
    label->setStyleSheet(QStringLiteral("color: rgb(128, 128, 128);"));
    label->adjustSize();
    label->move(place);
    return label;
}

void TFFabricoreFirmWare::FormCreate(const QString& executablePath) {
    StartupResult startup = RunStartup(workspace_, executablePath.toStdString());
    setWindowTitle(QString::fromStdString(startup.title));
    if (startup.translateEnabled)
        SetTranslateEnabled(*startup.translateEnabled);
    // Nothing was restored; the user should know why rather than find the file replaced at close.
    if (!startup.settingsProblem.empty())
        services_.boxes->Error(this, QString::fromStdString(startup.settingsProblem));
}

// Every dialog is created once, in this order, and reused for the whole run.
void TFFabricoreFirmWare::CreateDialogs() {
    Saveproj_ = new TFsaveproj(workspace_, *services_.boxes, this);
    Saveproj_->WriteFirstDocuments = [this] { WriteFirstDocuments(); };
    ModifyFileSx_ = new TFModifyFileSx(workspace_, services_, this);
    Fpargen_ = new TFpargen(workspace_, *services_.boxes, this);
    connect(Fpargen_, &TFpargen::translateEnabledChanged, this,
            &TFFabricoreFirmWare::SetTranslateEnabled);
    connect(Fpargen_, &TFpargen::pingAddressChanged, this, &TFFabricoreFirmWare::SetPingAddress);
    FSetVar_ = new TFSetVar(workspace_, *services_.boxes, this);
    FSetVar_->SetCsvServices(services_.files, services_.dialogs);
    Fpargen_->SetFileOutput(*services_.fileOutput);
    FSetVar_->SetFileOutput(*services_.fileOutput);
    FPing_ = new TFPing(this);
    About2_ = new TFAbout2(*services_.shell, this);
}

void TFFabricoreFirmWare::showEvent(QShowEvent* event) {
    FormShow();
    QWidget::showEvent(event);
}

void TFFabricoreFirmWare::FormShow() {
    SetOuterSize(this, kOuterSize);
    CentreOnScreen(this);
}

void TFFabricoreFirmWare::FormClose() {
    Status saved = SaveLastProject(workspace_);
    if (!saved.ok())
        services_.boxes->Plain(this, QString::fromStdString(SettingsWriteFailureText(workspace_)));
}

void TFFabricoreFirmWare::closeEvent(QCloseEvent* event) {
    RunCommand(this, *services_.boxes, [this] { FormClose(); });
    event->accept();
    emit closed();
}

void TFFabricoreFirmWare::SetTranslateEnabled(bool enabled) {
    btn_Translate_->setEnabled(enabled);
}

void TFFabricoreFirmWare::SetPingAddress(const QString& address) {
    Edit1_->setText(address);
}

QString TFFabricoreFirmWare::PingAddress() const {
    return Edit1_->text();
}

void TFFabricoreFirmWare::btn_str_lng1aClick(QPushButton* button) {
    // Only emptiness is checked: the projects folder itself is a valid place for the documents.
    if (workspace_.ProjectFolder.empty()) {
        services_.boxes->Plain(this, QStringLiteral("Project not valid"));
        return;
    }
    RunCommand(this, *services_.boxes, [&] {
        if (button == btn_Translate_)
            ShowTranslateTable();
        else if (button == btn_Prm_Gen_)
            ShowGeneralParameters();
        else if (button == Btn_Ping_)
            PingDevice();
    });
}

void TFFabricoreFirmWare::ShowGeneralParameters() {
    services_.dialogs->Run(*Fpargen_);
}

void TFFabricoreFirmWare::ShowTranslateTable() {
    services_.dialogs->Run(*FSetVar_);
}

void TFFabricoreFirmWare::PingDevice() {
    PingResultKind result;
    {
        BusyCursor busy; // up to 10 seconds with nothing else to show
        result = RunDevicePing(Edit1_->text().toStdString(), *services_.echo, *services_.pingWait,
                               PingState, [this](int byteCount) { Ping1Reply(byteCount); });
    }
    FPing_->ShowPingResult(result);
    services_.dialogs->Run(*FPing_);
}

void TFFabricoreFirmWare::Ping1Reply(int byteCount) {
    PingState = PingStateOfReply(byteCount);
}

void TFFabricoreFirmWare::NewaClick() {
    Saveproj_->destination = QString::fromStdString(workspace_.ProjectsFolder);
    services_.dialogs->Run(*Saveproj_);
    // Cancelled or not, the title takes the New and Open form.
    setWindowTitle(QString::fromStdString(ProjectTitle(workspace_.ProjectName)));
    FollowProjectMode();
}

// The first documents of a new project: the general parameters editor's new-project values,
// confirmed, and the translate table editor's rows, confirmed.
void TFFabricoreFirmWare::WriteFirstDocuments() {
    Fpargen_->ResetGeneralParameters();
    // A failed write of pargen.xml leaves here as an exception for New project's handler.
    Fpargen_->BitBtn1Click();
    // Refused rows or a failed write are shown by the editor; the project is then made
    // without its table.
    FSetVar_->bitbtn1Click();
}

void TFFabricoreFirmWare::OpenaClick() {
    setWindowTitle(OpenProject(workspace_, *services_.folders, this));
    FollowProjectMode();
}

// Translate Table as a start with this project would set it: disabled in Routing Mode, enabled
// otherwise, also when the project has no readable pargen.xml (the command starts enabled).
// Without this, opening a NAT project after a Routing one left its table locked until a restart.
void TFFabricoreFirmWare::FollowProjectMode() {
    SetTranslateEnabled(TranslateStateFromGeneralParameters(workspace_.PargenPath).value_or(true));
}

void TFFabricoreFirmWare::CreateBinaClick() {
    RunCommand(this, *services_.boxes, [this] { UpdateDevice(); });
}

void TFFabricoreFirmWare::UpdateDevice() {
    // Without a project folder the image would go to "/bin": nothing is written.
    if (workspace_.ProjectFolder.empty()) {
        services_.boxes->Plain(this, QStringLiteral("Project not valid"));
        return;
    }
    Labelstate_->setText(QStringLiteral("Wait.."));

    // Lives until the update dialog has closed: its merge runs under the same lock.
    std::optional<ProjectUpdate> update;
    auto buildAndWrite = [&] {
        BusyCursor busy;
        const UpdateResult& written = update->BuildAndWrite(*services_.clock);
        if (!written.sourceWritten)
            throw std::runtime_error(written.sourceWritten.message());
        if (!written.imageWritten)
            throw std::runtime_error(written.imageWritten.message());
    };
    {
        BusyCursor busy;
        QCoreApplication::processEvents();
        update.emplace(ProjectFiles(workspace_.ProjectFolder), services_.projectLockWait);
    }
    if (update->refused()) {
        services_.boxes->Error(this, QString::fromStdString(update->refusal()));
        return;
    }
    buildAndWrite();
    Labelstate_->setText(QStringLiteral("--"));

    auto refusal = [&] {
        return QStringLiteral("The configuration could not be read completely, so the device is "
                              "not updated.\n%1")
            .arg(QString::fromStdString(update->result().build.description));
    };
    // A project without a table (New project writes none when the rows it was given are
    // refused) has its way out here: in Routing Mode the table's editor is off.
    if (!update->result().MayMerge() && update->OnlyTranslateTableMissing()) {
        if (!services_.boxes->Question(
                this, refusal() + QStringLiteral("\n\nThe project has no translate table. Write "
                                                 "an empty one and update the device?")))
            return;
        if (Status written = update->WriteEmptyTranslateTable(*services_.fileOutput);
            !written.ok()) {
            services_.boxes->Error(this, QString::fromStdString(written.message()));
            return;
        }
        buildAndWrite();
    }
    if (!update->result().MayMerge()) {
        services_.boxes->Error(this, refusal());
        return;
    }
    services_.dialogs->Run(*ModifyFileSx_);
}

// Test Device: a window of its own over the current project, beside the main window.
void TFFabricoreFirmWare::TestDeviceClick() {
    if (workspace_.ProjectFolder.empty()) {
        services_.boxes->Plain(this, QStringLiteral("Project not valid"));
        return;
    }
#ifdef FABRICOR_TEST_DEVICE
    if (!TestDevice_)
        TestDevice_ = new TFTestDevice(services_, this);
    if (!TestDevice_->running())
        TestDevice_->LoadProject(workspace_.ProjectFolder);
    TestDevice_->show();
    TestDevice_->raise();
    TestDevice_->activateWindow();
#else
    services_.boxes->Plain(this, QStringLiteral("Test Device is not part of this build: it is "
                                                "built without libmodbus."));
#endif
}

void TFFabricoreFirmWare::AboutClick() {
    services_.dialogs->Run(*About2_);
}

void TFFabricoreFirmWare::LbButton1Click() {
    close();
}

void TFFabricoreFirmWare::Label6Click() {
    services_.shell->OpenUrl(QString::fromLatin1(kProductPageUrl));
}

} // namespace fabricor
