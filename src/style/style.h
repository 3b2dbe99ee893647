#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QSize>
#include <QString>

class QWidget;

namespace fabricor {

// One look for every window of the program: the warm paper background, Verdana 8 point in dark
// grey, and flat buttons that light up under the mouse.
inline const QColor kBackgroundColour(248, 247, 237);
inline const QColor kTextColour(51, 51, 51);
inline const QColor kStepLabelColour(128, 128, 128);

// The vendor's address as the windows show it, and the product page a click opens.
inline constexpr const char* kVendorWebAddress = "fabricor.example";
inline constexpr const char* kProductPageUrl = "https://www.fabricor.example/sw30418";

// The text face of every window: Verdana 8 point, DejaVu Sans Condensed where Verdana is missing.
QFont FabricorFont();

// Background, font, text colour and the flat button style (keyboard focus drawn as a blue
// frame), for a window and all it holds.
void ApplyFabricorLook(QWidget* window);

// The tool-window frame: a thin caption bar without system buttons (each window has its own "X").
void UseToolWindowFrame(QWidget* window);

// How wide a window must be for `caption` to show whole in its title bar, beside the frame's
// icon and buttons (which a window manager may draw even where none are asked for).
int WidthForCaption(const QString& caption);

// Centres the window on the screen it is on (the primary screen before it is shown).
void CentreOnScreen(QWidget* window);

// Centres a window (a message box) on the window `owner` belongs to, kept on the screen; on the
// screen when there is no owner or it is not shown.
void CentreOnOwner(QWidget* window, const QWidget* owner);

// Sizes the window so that its outer frame, caption included, is `outer`. Before a window
// manager has framed it, the frame is taken as the client area.
void SetOuterSize(QWidget* window, QSize outer);

// The busy cursor over the whole program while a command works without showing anything (the
// ping's wait, the build and the merge); the ordinary one is back however the scope ends,
// exceptions included.
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// The ordinary cursor while a message box waits for the user in the middle of busy work.
class IdleCursor {
public:
    IdleCursor();
    ~IdleCursor();
    IdleCursor(const IdleCursor&) = delete;
    IdleCursor& operator=(const IdleCursor&) = delete;

private:
    bool paused_;
};

// A label that answers a left click, for web links and clickable pictures.
class ClickableLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

} // namespace fabricor
