#pragma once

#include <QLineEdit>
#include <QListWidget>
#include <QPersistentModelIndex>

#include <functional>

namespace fabricor {

class TApplegrid;
class TColumn;
class TDataGridInplaceEdit;

// The drop-down list of a pick-list cell. It never takes the keyboard focus: the editor keeps
// it and passes keys on, so the arrow keys move the selection and typed characters search.
class TPopupListbox : public QListWidget {
    Q_OBJECT
public:
    explicit TPopupListbox(TDataGridInplaceEdit& editor);

    // Typed characters within 2 seconds of each other extend the search text (at most 32
    // characters); the first item beginning with it, case aside, is selected.
    void SearchKey(const QString& character);
    QString SearchText() const { return searchText_; }
    void ClearSearch() { searchText_.clear(); }

    // Milliseconds of a steady clock; tests replace it to step over the 2 seconds.
    void SetTickSourceForTesting(std::function<qint64()> ticks) { ticks_ = std::move(ticks); }

    // The item under a point in global coordinates, or -1.
    int RowAtGlobal(const QPoint& global) const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    TDataGridInplaceEdit& editor_;
    QString searchText_;
    qint64 lastSearchTick_ = 0;
    std::function<qint64()> ticks_;
};

// The editor a grid places on the cell being edited: plain text, or, for a column with a pick
// list, text with a drop-down button at its right edge. Free text is kept as typed.
class TDataGridInplaceEdit : public QLineEdit {
    Q_OBJECT
public:
    enum class EditStyle { Simple, PickList };

    TDataGridInplaceEdit(TApplegrid& grid, const QModelIndex& cell, QWidget* parent);
    ~TDataGridInplaceEdit() override;

    // Takes the style, read-only state and pick list of the cell's column.
    void Configure(const TColumn& column);

    EditStyle Style() const { return style_; }
    QStringList PickList() const { return pickList_; }
    int DropDownRows() const { return dropDownRows_; }
    bool ListVisible() const;
    TPopupListbox& List() { return *list_; }
    QWidget* DropDownButton() const { return button_; }
    bool ButtonPressed() const { return buttonPressed_; }

    void DropDown();
    // Closes the list; accepting writes the selected item into the cell.
    void CloseUp(bool accept);

    // Keys the drop-down handles before anything else sees them; true when consumed.
    bool HandleDropDownKey(QKeyEvent* event);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    friend class DropDownButtonWidget;
    void ButtonPress();
    void ButtonMove(const QPoint& global);
    void ButtonRelease(const QPoint& global);

    TApplegrid& grid_;
    QPersistentModelIndex cell_;
    EditStyle style_ = EditStyle::Simple;
    QStringList pickList_;
    int dropDownRows_ = 7;
    QWidget* button_ = nullptr;
    TPopupListbox* list_ = nullptr;
    bool buttonPressed_ = false;
    bool tracking_ = false;
};

} // namespace fabricor
