#include "front/shell/ping_dialog.h"

#include "style/style.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QThread>

#include <algorithm>
#include <chrono>

namespace fabricor {

namespace {

constexpr int kPictureSize = 41;

QPixmap StartPicture() {
    QPixmap picture(kPictureSize, kPictureSize);
    picture.fill(Qt::transparent);
    return picture;
}

// Found: a white speech bubble with a blue "i".
QPixmap FoundPicture() {
    QPixmap picture = StartPicture();
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath bubble;
    bubble.addEllipse(QRectF(2.5, 2.5, 36, 28));
    QPainterPath tail;
    tail.moveTo(10, 24);
    tail.lineTo(6, 38);
    tail.lineTo(20, 28);
    tail.closeSubpath();
    bubble = bubble.united(tail);
    p.setPen(QPen(QColor(90, 110, 140), 1.5));
    p.setBrush(Qt::white);
    p.drawPath(bubble);
    QColor blue(30, 80, 200);
    p.setPen(Qt::NoPen);
    p.setBrush(blue);
    p.drawEllipse(QRectF(18.5, 7, 4.5, 4.5));
    p.drawRoundedRect(QRectF(18.5, 13.5, 4.5, 12.5), 1, 1);
    return picture;
}

// Not found: a yellow warning triangle with "!".
QPixmap NotFoundPicture() {
    QPixmap picture = StartPicture();
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath triangle;
    triangle.moveTo(20.5, 3);
    triangle.lineTo(39, 37);
    triangle.lineTo(2, 37);
    triangle.closeSubpath();
    p.setPen(QPen(QColor(120, 90, 0), 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(255, 210, 0));
    p.drawPath(triangle);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawRoundedRect(QRectF(18.5, 13, 4, 14), 1.5, 1.5);
    p.drawEllipse(QRectF(18.5, 29.5, 4, 4));
    return picture;
}

// Error: a red disc with a white cross.
QPixmap ErrorPicture() {
    QPixmap picture = StartPicture();
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(140, 0, 0), 1.5));
    p.setBrush(QColor(215, 30, 30));
    p.drawEllipse(QRectF(2.5, 2.5, 36, 36));
    p.setPen(QPen(Qt::white, 5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(13.5, 13.5), QPointF(27.5, 27.5));
    p.drawLine(QPointF(27.5, 13.5), QPointF(13.5, 27.5));
    return picture;
}

QLabel* MakePicture(QWidget* parent, const char* name, const QPixmap& pixmap) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setGeometry(16, 16, kPictureSize, kPictureSize);
    label->setPixmap(pixmap);
    return label;
}

} // namespace

TFPing::TFPing(QWidget* parent) : QDialog(parent) {
    setObjectName("TFPing");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(true);
    // 250 wide, or wider when the title bar needs it for the longest caption; the controls keep
    // their places at the left.
    int width = 250;
    for (auto kind : {PingResultKind::Found, PingResultKind::NotFound, PingResultKind::Error})
        width =
            std::max(width, WidthForCaption(QString::fromUtf8(TextsOfPingResult(kind).caption)));
    setFixedSize(width, 98);
    ApplyFabricorLook(this);

    I_P_F = MakePicture(this, "I_P_F", FoundPicture());
    I_P_NF = MakePicture(this, "I_P_NF", NotFoundPicture());
    I_P_E = MakePicture(this, "I_P_E", ErrorPicture());

    Label1 = new QLabel(this);
    Label1->setObjectName("Label1");
    Label1->setGeometry(64, 24, 185, Label1->sizeHint().height());

    LbButton1 = new QPushButton("OK", this);
    LbButton1->setObjectName("LbButton1");
    LbButton1->setGeometry(64, 64, 121, 23);
    LbButton1->setDefault(true);
    connect(LbButton1, &QPushButton::clicked, this, [this] { LbButton1Click(); });

    ShowPingResult(PingResultKind::NotFound);
}

void TFPing::ShowPingResult(int kind, const QString& caption, const QString& label) {
    I_P_F->setVisible(kind == 0);
    I_P_NF->setVisible(kind == 1);
    I_P_E->setVisible(kind == 2);
    Label1->setText(label);
    setWindowTitle(caption);
}

void TFPing::ShowPingResult(PingResultKind kind) {
    auto texts = TextsOfPingResult(kind);
    ShowPingResult(static_cast<int>(kind), texts.caption, texts.label);
}

void TFPing::LbButton1Click() { accept(); }

void TFPing::showEvent(QShowEvent* event) {
    CentreOnScreen(this);
    QDialog::showEvent(event);
}

std::uint32_t QtPingWait::TickCount() {
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void QtPingWait::Sleep(int milliseconds) { QThread::msleep(static_cast<unsigned long>(milliseconds)); }

void QtPingWait::ProcessMessages() { QApplication::processEvents(); }

} // namespace fabricor
