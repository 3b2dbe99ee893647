#include "style/style.h"

#include <QApplication>
#include <QCursor>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPalette>
#include <QScreen>
#include <QWidget>

#include <algorithm>

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
    border: 2px solid #3a6ea8;
    padding: 0px 3px;
}
)";

} // namespace

QFont FabricorFont() {
    // Verdana 8 point, the face the windows' widths were made for; where it is missing, the
    // condensed face, so titles and captions still fit those widths.
    QFont font;
    font.setFamilies({QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans Condensed")});
    font.setPointSize(8);
    return font;
}

void ApplyFabricorLook(QWidget* window) {
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, kBackgroundColour);
    palette.setColor(QPalette::WindowText, kTextColour);
    palette.setColor(QPalette::ButtonText, kTextColour);
    window->setPalette(palette);
    window->setAutoFillBackground(true);
    // The application's face too: a control under a style sheet takes the application's font,
    // not its window's, and message boxes are windows of their own.
    if (QApplication::font() != FabricorFont())
        QApplication::setFont(FabricorFont());
    window->setFont(FabricorFont());
    window->setStyleSheet(QString::fromLatin1(kFlatButtons));
}

int WidthForCaption(const QString& caption) {
    // A title bar holds the caption beside the frame's icon and buttons.
    constexpr int kTitleBarExtras = 120;
    QFont title = QFontDatabase::systemFont(QFontDatabase::TitleFont);
    title.setBold(true);
    return QFontMetrics(title).horizontalAdvance(caption) + kTitleBarExtras;
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

void CentreOnOwner(QWidget* window, const QWidget* owner) {
    const QWidget* anchor = owner ? owner->window() : nullptr;
    if (!anchor || !anchor->isVisible()) {
        CentreOnScreen(window);
        return;
    }
    QRect frame = window->frameGeometry();
    frame.moveCenter(anchor->frameGeometry().center());
    // Never beyond the screen's edges, where the box could not be read or answered.
    if (QScreen* screen = anchor->screen()) {
        const QRect available = screen->availableGeometry();
        frame.moveLeft(std::max(available.left(),
                                std::min(frame.left(), available.right() - frame.width() + 1)));
        frame.moveTop(std::max(available.top(),
                               std::min(frame.top(), available.bottom() - frame.height() + 1)));
    }
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

BusyCursor::~BusyCursor() {
    QGuiApplication::restoreOverrideCursor();
}

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
