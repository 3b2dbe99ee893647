#include "front/editors/grid_inplace_edit.h"

#include "front/editors/grid.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QStyleOption>

#include <algorithm>

namespace fabricor {

namespace {

qint64 SteadyMilliseconds() {
    static QElapsedTimer clock = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    return clock.elapsed();
}

constexpr qint64 kSearchPause = 2000;
constexpr int kSearchLength = 32;

} // namespace

// The button at the editor's right edge: drawn like a combo box button, pressed while held.
class DropDownButtonWidget : public QWidget {
public:
    explicit DropDownButtonWidget(TDataGridInplaceEdit& editor) : QWidget(&editor), editor_(editor) {
        setObjectName(QStringLiteral("DropDownButton"));
        setCursor(Qt::ArrowCursor);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        QStyleOptionButton bevel;
        bevel.initFrom(this);
        bevel.rect = rect();
        bevel.state |= editor_.ButtonPressed() ? QStyle::State_Sunken : QStyle::State_Raised;
        style()->drawPrimitive(QStyle::PE_PanelButtonCommand, &bevel, &painter, this);
        QStyleOption arrow;
        arrow.initFrom(this);
        const int side = std::min(width(), height()) / 2;
        arrow.rect = QRect(0, 0, side, side);
        arrow.rect.moveCenter(rect().center() + (editor_.ButtonPressed() ? QPoint(1, 1) : QPoint()));
        style()->drawPrimitive(QStyle::PE_IndicatorArrowDown, &arrow, &painter, this);
    }
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton)
            editor_.ButtonPress();
        event->accept();
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        editor_.ButtonMove(event->globalPosition().toPoint());
        event->accept();
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton)
            editor_.ButtonRelease(event->globalPosition().toPoint());
        event->accept();
    }

private:
    TDataGridInplaceEdit& editor_;
};

// ---- the drop-down list ----

TPopupListbox::TPopupListbox(TDataGridInplaceEdit& editor)
    : QListWidget(&editor), editor_(editor), ticks_(SteadyMilliseconds) {
    setObjectName(QStringLiteral("TPopupListbox"));
    // A window of its own that no platform activates, so the editor keeps the keyboard focus
    // (a tool window is activated when shown on some, and the edit then ends).
    setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus |
                   Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    setUniformItemSizes(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setMouseTracking(true);
}

void TPopupListbox::SearchKey(const QString& character) {
    const qint64 now = ticks_();
    if (now - lastSearchTick_ > kSearchPause)
        searchText_.clear();
    lastSearchTick_ = now;
    if (searchText_.size() < kSearchLength)
        searchText_ += character;
    for (int i = 0; i < count(); ++i) {
        if (item(i)->text().startsWith(searchText_, Qt::CaseInsensitive)) {
            setCurrentRow(i);
            return;
        }
    }
}

int TPopupListbox::RowAtGlobal(const QPoint& global) const {
    const QPoint local = viewport()->mapFromGlobal(global);
    if (!viewport()->rect().contains(local))
        return -1;
    auto index = indexAt(local);
    return index.isValid() ? index.row() : -1;
}

void TPopupListbox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Escape) {
        searchText_.clear();
        event->accept();
        return;
    }
    const QString text = event->text();
    if (!text.isEmpty() && text.at(0).isPrint() &&
        !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        SearchKey(text.left(1));
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

void TPopupListbox::mousePressEvent(QMouseEvent* event) {
    int row = RowAtGlobal(event->globalPosition().toPoint());
    if (row >= 0)
        setCurrentRow(row);
    event->accept();
}

void TPopupListbox::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton) {
        int row = RowAtGlobal(event->globalPosition().toPoint());
        if (row >= 0)
            setCurrentRow(row);
    }
    event->accept();
}

void TPopupListbox::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    int row = RowAtGlobal(event->globalPosition().toPoint());
    if (row >= 0)
        setCurrentRow(row);
    editor_.CloseUp(row >= 0);
    event->accept();
}

bool TPopupListbox::eventFilter(QObject* watched, QEvent* event) {
    // A press anywhere but on the list or its editor means another control takes the mouse. A
    // press reaches a window before the widget under the pointer: only the widget tells whose
    // it is, so the window's copy is passed over (a click on an item is a press and a release
    // on the list, and the release accepts).
    if (event->type() == QEvent::MouseButtonPress && isVisible()) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget)
            return false;
        const bool ours = widget == this || isAncestorOf(widget) || widget == &editor_ ||
                          editor_.isAncestorOf(widget);
        if (!ours)
            editor_.CloseUp(false);
    }
    return false;
}

void TPopupListbox::showEvent(QShowEvent* event) {
    QListWidget::showEvent(event);
    qApp->installEventFilter(this);
}

void TPopupListbox::hideEvent(QHideEvent* event) {
    qApp->removeEventFilter(this);
    QListWidget::hideEvent(event);
}

// ---- the editor ----

TDataGridInplaceEdit::TDataGridInplaceEdit(TApplegrid& grid, const QModelIndex& cell, QWidget* parent)
    : QLineEdit(parent), grid_(grid), cell_(cell) {
    setObjectName(QStringLiteral("TDataGridInplaceEdit"));
    setFrame(false);
    button_ = new DropDownButtonWidget(*this);
    button_->hide();
    list_ = new TPopupListbox(*this);
    list_->hide();
}

TDataGridInplaceEdit::~TDataGridInplaceEdit() = default;

void TDataGridInplaceEdit::Configure(const TColumn& column) {
    pickList_ = column.PickList();
    dropDownRows_ = column.DropDownRows();
    style_ = !pickList_.isEmpty() && !column.ReadOnly() ? EditStyle::PickList : EditStyle::Simple;
    setReadOnly(column.ReadOnly());
    const int buttonWidth = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    setTextMargins(0, 0, style_ == EditStyle::PickList ? buttonWidth : 0, 0);
    button_->setVisible(style_ == EditStyle::PickList);
    button_->setGeometry(width() - buttonWidth, 0, buttonWidth, height());
}

bool TDataGridInplaceEdit::ListVisible() const { return list_->isVisible(); }

void TDataGridInplaceEdit::DropDown() {
    if (style_ != EditStyle::PickList || ListVisible())
        return;
    list_->clear();
    list_->addItems(pickList_);
    list_->setFont(font());
    list_->setPalette(palette());
    list_->ClearSearch();

    const int rows = std::min(static_cast<int>(pickList_.size()), dropDownRows_);
    const int rowHeight = std::max(1, list_->sizeHintForRow(0));
    const int height = rows * rowHeight + 4;
    int widest = 0;
    const QFontMetrics metrics(list_->font());
    for (const auto& item : pickList_)
        widest = std::max(widest, metrics.horizontalAdvance(item) + 8);
    if (pickList_.size() > rows)
        widest += list_->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list_);
    const int width = std::max(this->width(), widest);

    QPoint place = mapToGlobal(QPoint(0, this->height()));
    QScreen* screen = this->screen();
    if (screen && place.y() + height > screen->geometry().bottom() + 1)
        place.setY(mapToGlobal(QPoint(0, 0)).y() - height);
    list_->setGeometry(QRect(place, QSize(width, height)));

    int selected = 0;
    for (int i = 0; i < pickList_.size(); ++i) {
        if (pickList_[i].compare(text(), Qt::CaseInsensitive) == 0) {
            selected = i;
            break;
        }
    }
    list_->setCurrentRow(selected);
    list_->show();
    list_->scrollToItem(list_->currentItem());
}

void TDataGridInplaceEdit::CloseUp(bool accept) {
    if (!ListVisible())
        return;
    list_->hide();
    tracking_ = false;
    if (buttonPressed_) {
        buttonPressed_ = false;
        button_->update();
    }
    auto* chosen = list_->currentItem();
    if (!accept || !chosen || isReadOnly())
        return;
    const QString value = chosen->text();
    if (cell_.isValid())
        grid_.EditCell(cell_.column() + 1, cell_.row() + 1, value);
    setText(value);
    setModified(true);
}

bool TDataGridInplaceEdit::HandleDropDownKey(QKeyEvent* event) {
    if (style_ != EditStyle::PickList)
        return false;
    const int key = event->key();
    const bool alt = event->modifiers() & Qt::AltModifier;
    if ((key == Qt::Key_Down || key == Qt::Key_Up) && alt) {
        if (ListVisible())
            CloseUp(true);
        else
            DropDown();
        return true;
    }
    if (!ListVisible())
        return false;
    if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) && !alt) {
        CloseUp(key != Qt::Key_Escape);
        return true;
    }
    if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
        CloseUp(false);
        return false;
    }
    QKeyEvent forwarded(event->type(), key, event->modifiers(), event->text(), event->isAutoRepeat(),
                        static_cast<ushort>(event->count()));
    QApplication::sendEvent(list_, &forwarded);
    return true;
}

void TDataGridInplaceEdit::ButtonPress() {
    if (ListVisible()) {
        CloseUp(false);
        return;
    }
    buttonPressed_ = true;
    button_->update();
    DropDown();
    tracking_ = ListVisible();
}

void TDataGridInplaceEdit::ButtonMove(const QPoint& global) {
    if (!tracking_ || !ListVisible())
        return;
    int row = list_->RowAtGlobal(global);
    if (row >= 0)
        list_->setCurrentRow(row);
}

void TDataGridInplaceEdit::ButtonRelease(const QPoint& global) {
    const bool wasTracking = tracking_;
    tracking_ = false;
    if (buttonPressed_) {
        buttonPressed_ = false;
        button_->update();
    }
    if (!wasTracking || !ListVisible())
        return;
    int row = list_->RowAtGlobal(global);
    if (row >= 0) {
        list_->setCurrentRow(row);
        CloseUp(true);
    } else if (!button_->rect().contains(button_->mapFromGlobal(global))) {
        CloseUp(false);
    }
    // Released on the button itself: a plain click, the list stays open.
}

void TDataGridInplaceEdit::resizeEvent(QResizeEvent* event) {
    QLineEdit::resizeEvent(event);
    const int buttonWidth = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    button_->setGeometry(width() - buttonWidth, 0, buttonWidth, height());
}

void TDataGridInplaceEdit::focusOutEvent(QFocusEvent* event) {
    CloseUp(false);
    QLineEdit::focusOutEvent(event);
}

void TDataGridInplaceEdit::hideEvent(QHideEvent* event) {
    CloseUp(false);
    QLineEdit::hideEvent(event);
}

} // namespace fabricor
