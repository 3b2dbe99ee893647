#include "front/shell/about_dialog.h"

#include "base/version.h"
#include "front/seams/seams.h"
#include "style/style.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>

namespace fabricor {

QPixmap FabricorLogo(int size) {
    QPixmap logo(size, size);
    logo.fill(Qt::white);
    QPainter painter(&logo);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 81.0, size / 81.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawRoundedRect(QRectF(0, 0, 81, 81), 8, 8);
    painter.setBrush(Qt::white);
    // The letter: a stem and two arms.
    painter.drawRect(QRectF(22, 14, 10, 42));
    painter.drawRect(QRectF(22, 14, 38, 9));
    painter.drawRect(QRectF(22, 31, 28, 8));
    // The pins it stands on, as on a chip's edge.
    for (int pin = 0; pin < 6; ++pin)
        painter.drawRect(QRectF(14 + pin * 9.5, 63, 5, 9));
    return logo;
}

TFAbout2::TFAbout2(Shell& shell, QWidget* parent) : QDialog(parent), shell_(shell) {
    setObjectName("TFAbout2");
    setWindowTitle(QStringLiteral("About..."));
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    ApplyFabricorLook(this);
    setFixedSize(391, 145);

    auto* logo = new ClickableLabel(this);
    logo->setObjectName("Image2");
    logo->setPixmap(FabricorLogo(81));
    logo->setScaledContents(true);
    logo->setGeometry(32, 24, 81, 81);
    logo->setCursor(Qt::PointingHandCursor);
    connect(logo, &ClickableLabel::clicked, this, &TFAbout2::Label4Click);

    QLabel* title = AddLabel("Label1", "Software Fabricor", {120, 23});
    QFont titleFont = font();
    titleFont.setBold(true);
    titleFont.setPointSize(10);
    title->setFont(titleFont);
    title->adjustSize();
    AddLabel("Label2", "Gateway Modbus TCP Slave to RTU Master", {120, 39});
    AddLabel("Label3", "Software Code :", {120, 61});
    AddLabel("Label8", "SW30418", {240, 61});
    AddLabel("Label6", "Version :", {120, 77});
    AddLabel("Label9", "2.200", {240, 77});
    AddLabel("Label7", "Document Code :", {120, 93});
    AddLabel("Label10", "MN30418", {240, 93});
    // The release of this program, on the free row under the fixed identity: the version above
    // is the product's and stays as it is.
    AddLabel("LabelRelease", "Release :", {120, 109});
    AddLabel("LabelReleaseNumber", QString::fromLatin1(ProgramVersion()), {240, 109});

    auto* web = new ClickableLabel(QString::fromLatin1(kVendorWebAddress), this);
    web->setObjectName("Label4");
    QFont underlined = font();
    underlined.setUnderline(true);
    web->setFont(underlined);
    web->setStyleSheet(QStringLiteral("color: rgb(0, 0, 255);"));
    web->setCursor(Qt::PointingHandCursor);
    web->adjustSize();
    web->move(280, 132);
    connect(web, &ClickableLabel::clicked, this, &TFAbout2::Label4Click);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName("LbButton1");
    ok->setGeometry(32, 115, 81, 22);
    ok->setCursor(Qt::PointingHandCursor);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

QLabel* TFAbout2::AddLabel(const char* name, const QString& text, QPoint place) {
    auto* label = new QLabel(text, this);
    label->setObjectName(name);
    label->adjustSize();
    label->move(place);
    return label;
}

void TFAbout2::showEvent(QShowEvent* event) {
    CentreOnScreen(this);
    QDialog::showEvent(event);
}

void TFAbout2::Label4Click() {
    shell_.OpenUrl(QString::fromLatin1(kProductPageUrl));
}

} // namespace fabricor
