#include "front/editors/general_parameter_dialog.h"

#include "documents/integer_text.h"
#include "front/seams/top_level_handler.h"
#include "style/style.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include <climits>
#include <stdexcept>

namespace fabricor {

namespace {

constexpr QSize kClientSize(457, 346);
constexpr int kBoxHeight = 21;

QLabel* AddLabel(QWidget* parent, const QString& text, int left, int top) {
    auto* label = new QLabel(text, parent);
    label->adjustSize();
    label->move(left, top);
    return label;
}

} // namespace

TFpargen::TFpargen(Workspace& workspace, MessageBoxes& boxes, QWidget* parent)
    : QDialog(parent), workspace_(workspace), boxes_(boxes) {
    setObjectName(QStringLiteral("TFpargen"));
    setWindowTitle(QStringLiteral("General Parameter"));
    UseToolWindowFrame(this);
    ApplyFabricorLook(this);
    QFont font = FabricorFont();
    font.setPixelSize(11);
    setFont(font);
    // Group captions sit on the frame line, as the device's tools have always shown them.
    setStyleSheet(styleSheet() + QStringLiteral(
        "QGroupBox { border: 1px solid #c4c0b0; margin-top: 6px; }"
        "QGroupBox::title { subcontrol-origin: margin; left: 8px; padding: 0 2px; }"));
    setFixedSize(kClientSize);
    BuildControls();
    ResetGeneralParameters();
}

void TFpargen::BuildControls() {
    RG_Mode_ = new QGroupBox(QStringLiteral("Operation Mode"), this);
    RG_Mode_->setObjectName(QStringLiteral("RG_Mode"));
    RG_Mode_->setGeometry(8, 8, 441, 49);
    routingMode_ = new QRadioButton(QStringLiteral("Routing Mode"), RG_Mode_);
    routingMode_->setObjectName(QStringLiteral("RG_Mode_Routing"));
    routingMode_->setGeometry(10, 22, 200, 20);
    natMode_ = new QRadioButton(QStringLiteral("NAT Mode"), RG_Mode_);
    natMode_->setObjectName(QStringLiteral("RG_Mode_NAT"));
    natMode_->setGeometry(228, 22, 200, 20);
    modes_ = new QButtonGroup(this);
    modes_->addButton(routingMode_, 0);
    modes_->addButton(natMode_, 1);

    auto* tcp = new QGroupBox(QStringLiteral("MODBUS TCP"), this);
    tcp->setObjectName(QStringLiteral("GroupTcp"));
    tcp->setGeometry(8, 66, 217, 231);
    auto addressRow = [&](std::array<QLineEdit*, 4>& boxes, const char* prefix, const QString& caption,
                          int top) {
        AddLabel(tcp, caption, 16, top - 15);
        const int lefts[4] = {16, 64, 112, 160};
        for (int i = 0; i < 4; ++i) {
            boxes[size_t(i)] = new QLineEdit(tcp);
            boxes[size_t(i)]->setObjectName(QString::fromLatin1(prefix) + QString::number(i + 1));
            boxes[size_t(i)]->setGeometry(lefts[i], top, 41, kBoxHeight);
            boxes[size_t(i)]->installEventFilter(this);
            if (i > 0) {
                auto* dot = new QLabel(QStringLiteral("."), tcp);
                dot->setAlignment(Qt::AlignCenter);
                dot->setGeometry(lefts[i] - 7, top, 7, kBoxHeight);
            }
        }
    };
    addressRow(E_IP_, "E_IP", QStringLiteral("IP Address"), 40);
    addressRow(E_SUB_, "E_SUB", QStringLiteral("Subnet Mask"), 88);
    CB_En_Gate_ = new QCheckBox(QStringLiteral("Enable Gateway"), tcp);
    CB_En_Gate_->setObjectName(QStringLiteral("CB_En_Gate"));
    CB_En_Gate_->setGeometry(16, 128, 185, 16);
    addressRow(E_GAT_, "E_GAT", QStringLiteral("Gateway"), 160);
    AddLabel(tcp, QStringLiteral("Port"), 16, 185);
    SE_Port_ = new QSpinBox(tcp);
    SE_Port_->setObjectName(QStringLiteral("SE_Port"));
    SE_Port_->setRange(INT_MIN, INT_MAX); // no bounds: any port is written as typed
    SE_Port_->setSingleStep(1);
    SE_Port_->setGeometry(16, 200, 145, kBoxHeight);

    auto* rtu = new QGroupBox(QStringLiteral("MODBUS RTU"), this);
    rtu->setObjectName(QStringLiteral("GroupRtu"));
    rtu->setGeometry(232, 66, 217, 95);
    AddLabel(rtu, QStringLiteral("Baud rate"), 8, 21);
    CB_Baud_ = new QComboBox(rtu);
    CB_Baud_->setObjectName(QStringLiteral("CB_Baud"));
    for (int rate : BaudRateList)
        CB_Baud_->addItem(QString::number(rate));
    CB_Baud_->setGeometry(90, 18, 121, kBoxHeight);
    AddLabel(rtu, QStringLiteral("Parity"), 8, 45);
    CB_Par_ = new QComboBox(rtu);
    CB_Par_->setObjectName(QStringLiteral("CB_Par"));
    for (const auto& coding : kParityCodings)
        CB_Par_->addItem(QString::fromLatin1(coding.name));
    CB_Par_->setGeometry(90, 42, 121, kBoxHeight);
    AddLabel(rtu, QStringLiteral("Timeout (ms)"), 8, 69);
    E_Time_ = new QLineEdit(rtu);
    E_Time_->setObjectName(QStringLiteral("E_Time"));
    E_Time_->setGeometry(90, 66, 97, kBoxHeight);

    AddLabel(this, QStringLiteral("System Data Offset"), 232, 184);
    E_Offset_ = new QLineEdit(this);
    E_Offset_->setObjectName(QStringLiteral("E_Offset"));
    E_Offset_->setGeometry(352, 181, 97, kBoxHeight);

    BitBtn1_ = new QPushButton(QStringLiteral("OK"), this);
    BitBtn1_->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1_->setGeometry(292, 307, 69, 23);
    BitBtn1_->setDefault(true);
    BitBtn2_ = new QPushButton(QStringLiteral("Cancel"), this);
    BitBtn2_->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2_->setGeometry(372, 307, 69, 23);
    connect(BitBtn1_, &QPushButton::clicked, this,
            [this] { RunCommand(this, boxes_, [this] { BitBtn1Click(); }); });
    connect(BitBtn2_, &QPushButton::clicked, this, &QDialog::reject);

    // Tab order: mode, the three addresses, port, gateway switch, serial settings, offset, buttons.
    std::vector<QWidget*> order{routingMode_, natMode_};
    for (auto* row : {&E_IP_, &E_SUB_, &E_GAT_})
        order.insert(order.end(), row->begin(), row->end());
    order.insert(order.end(),
                 {SE_Port_, CB_En_Gate_, CB_Baud_, CB_Par_, E_Time_, E_Offset_, BitBtn1_, BitBtn2_});
    for (size_t i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void TFpargen::ResetGeneralParameters() { ShowParameters(NewProjectGeneralParameters()); }

void TFpargen::ShowParameters(const GeneralParameters& p) {
    for (size_t i = 0; i < 4; ++i) {
        E_IP_[i]->setText(QString::fromStdString(p.ip[i]));
        E_SUB_[i]->setText(QString::fromStdString(p.subnet[i]));
        E_GAT_[i]->setText(QString::fromStdString(p.gateway[i]));
    }
    CB_En_Gate_->setChecked(p.gatewayEnabled);
    SE_Port_->setValue(p.port);
    snmpPublic_ = p.snmpPublic;
    snmpPrivate_ = p.snmpPrivate;
    CB_Baud_->setCurrentIndex(BaudRateAt(p.baudIndex) ? p.baudIndex : kNoBaudRateIndex);
    CB_Par_->setCurrentIndex(ParityListIndex(p.parity));
    E_Time_->setText(QString::fromStdString(p.timeOut));
    E_Offset_->setText(QString::fromStdString(p.offset));
    (p.mode == OperationMode::Routing ? routingMode_ : natMode_)->setChecked(true);
    SetTwoStopBits(p.twoStopBits);
}

void TFpargen::SetTwoStopBits(bool on) {
    twoStopBits_ = on;
    // Two stop bits leave no room for a parity bit.
    if (on)
        CB_Par_->setCurrentIndex(ParityListIndex(Parity::None));
    CB_Par_->setEnabled(!on);
}

GeneralParameters TFpargen::CurrentParameters() const {
    GeneralParameters p;
    for (size_t i = 0; i < 4; ++i) {
        p.ip[i] = E_IP_[i]->text().toStdString();
        p.subnet[i] = E_SUB_[i]->text().toStdString();
        p.gateway[i] = E_GAT_[i]->text().toStdString();
    }
    p.gatewayEnabled = CB_En_Gate_->isChecked();
    p.port = ParseIntegerText(SE_Port_->cleanText().toStdString()).value_or(0);
    p.snmpPublic = snmpPublic_;
    p.snmpPrivate = snmpPrivate_;
    p.baudIndex = CB_Baud_->currentIndex();
    p.parity = ParityAtListIndex(CB_Par_->currentIndex());
    p.timeOut = E_Time_->text().toStdString();
    p.offset = E_Offset_->text().toStdString();
    p.mode = natMode_->isChecked() ? OperationMode::Nat : OperationMode::Routing;
    p.twoStopBits = twoStopBits_;
    return p;
}

void TFpargen::FormShow() {
    ResetGeneralParameters();
    auto document = ReadGeneralParameters(workspace_.PargenPath);
    if (document.outcome == ReadOutcome::NotWellFormed)
        throw std::runtime_error(document.error);
    if (document.outcome == ReadOutcome::Read)
        ShowParameters(DecodeGeneralParameters(document));
}

QLineEdit* TFpargen::BoxOf(GeneralParameterField field) const {
    const int f = static_cast<int>(field);
    if (field <= GeneralParameterField::IP4)
        return E_IP_[size_t(f - int(GeneralParameterField::IP1))];
    if (field <= GeneralParameterField::SUB4)
        return E_SUB_[size_t(f - int(GeneralParameterField::SUB1))];
    if (field <= GeneralParameterField::GAT4)
        return E_GAT_[size_t(f - int(GeneralParameterField::GAT1))];
    return field == GeneralParameterField::Time ? E_Time_ : E_Offset_;
}

bool TFpargen::ValidateGeneralParameters() {
    auto problem = FirstGeneralParameterProblem(CurrentParameters());
    if (!problem)
        return true;
    boxes_.Error(this, QString::fromStdString(problem->message));
    // Take the user to the box that was refused.
    QLineEdit* box = BoxOf(problem->field);
    box->setFocus();
    box->selectAll();
    return false;
}

void TFpargen::BitBtn1Click() {
    const GeneralParameters p = CurrentParameters();
    if (ValidateGeneralParameters()) {
        Status written =
            WriteGeneralParameters(workspace_.PargenPath, EncodeGeneralParameters(p), *output_);
        if (!written.ok())
            throw std::runtime_error(written.message());
        emit translateEnabledChanged(p.mode == OperationMode::Nat);
        accept();
    }
    // The typed address goes to the ping box even when it was just refused.
    QStringList octets;
    for (const auto& octet : p.ip)
        octets << QString::fromStdString(octet);
    emit pingAddressChanged(octets.join(QLatin1Char('.')));
}

bool TFpargen::E_IP1KeyPress(QLineEdit* box, const QString& key) {
    if (key != QLatin1String("."))
        return false;
    // "." is never typed into an octet: it moves on to the next box of the same address.
    for (auto* row : {&E_IP_, &E_SUB_, &E_GAT_}) {
        for (size_t i = 0; i < 3; ++i) {
            if ((*row)[i] != box)
                continue;
            QLineEdit* next = (*row)[i + 1];
            if (next->isEnabled() && next->isVisible())
                next->setFocus(Qt::TabFocusReason);
        }
    }
    return true;
}

bool TFpargen::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        if (auto* box = qobject_cast<QLineEdit*>(watched))
            if (E_IP1KeyPress(box, static_cast<QKeyEvent*>(event)->text()))
                return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TFpargen::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        // Placed first, so that a failure of the show step is reported over the dialog; the
        // dialog then opens with the reset values.
        CentreOnScreen(this);
        RunCommand(this, boxes_, [this] { FormShow(); });
        E_IP_[0]->setFocus();
    }
    QDialog::showEvent(event);
}

void TFpargen::closeEvent(QCloseEvent* event) {
    // Only "OK" and "Cancel" close this dialog.
    event->ignore();
}

} // namespace fabricor
