#include "app/style.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPalette>
#include <QScreen>
#include <QWidget>

namespace fabricor {

namespace {

// Flat buttons: a thin outline on a pale face, a warm highlight under the mouse, a darker one
// while pressed. Disabled buttons fade so a greyed-out command reads as such.
constexpr const char* kFlatButtons = R"(
QPushButton {
    background-color: #f1efe3;
    color: rgb(51, 51, 51);
    border: 1px solid #aaa696;
    padding: 1px 4px;
}
QPushButton:hover {
    background-color: #fcefc0;
    border-color: #c8921e;
}
QPushButton:pressed {
    background-color: #eed98a;
    border-color: #a8761a;
}
QPushButton:disabled {
    color: #aaa9a2;
    border-color: #d3d0c4;
    background-color: #f4f3ea;
}
QPushButton:focus {
    outline: none;
}
)";

} // namespace

void ApplyFabricorLook(QWidget* window) {
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, kBackgroundColour);
    palette.setColor(QPalette::WindowText, kTextColour);
    palette.setColor(QPalette::ButtonText, kTextColour);
    window->setPalette(palette);
    window->setAutoFillBackground(true);
    // Verdana is what the device's tools have always used; Qt falls back where it is missing.
    QFont font(QStringLiteral("Verdana"), 8);
    window->setFont(font);
    window->setStyleSheet(QString::fromLatin1(kFlatButtons));
}

void UseToolWindowFrame(QWidget* window) {
    Qt::WindowFlags flags = Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    window->setWindowFlags(flags);
}

void CentreOnScreen(QWidget* window) {
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect available = screen->availableGeometry();
    QRect frame = window->frameGeometry();
    frame.moveCenter(available.center());
    window->move(frame.topLeft());
}

void SetOuterSize(QWidget* window, QSize outer) {
    QSize frameExtra = window->frameGeometry().size() - window->geometry().size();
    if (!window->isVisible() || frameExtra.width() < 0 || frameExtra.height() < 0)
        frameExtra = QSize(0, 0);
    window->setFixedSize(outer - frameExtra);
}

BusyCursor::BusyCursor() {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    // The work ahead lets no events run: the cursor reaches the screen now, input waits.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

BusyCursor::~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }

IdleCursor::IdleCursor() : paused_(QGuiApplication::overrideCursor() != nullptr) {
    if (paused_)
        QGuiApplication::restoreOverrideCursor();
}

IdleCursor::~IdleCursor() {
    if (paused_)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

void ClickableLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

} // namespace fabricor
