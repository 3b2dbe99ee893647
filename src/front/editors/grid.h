#pragma once

#include <QColor>
#include <QFont>
#include <QStringList>
#include <QTableView>

#include <functional>

#include <memory>
#include <optional>
#include <vector>

namespace fabricor {

class TApplegrid;
class TColumn;
class TDataGridInplaceEdit;

// The title of a column: its caption replaces the text of the title row's cell when not empty.
class TColumnTitle {
public:
    explicit TColumnTitle(TColumn& column) : column_(column) {}

    QString Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    Qt::Alignment Alignment() const { return alignment_.value_or(Qt::AlignLeft); }
    void SetAlignment(Qt::Alignment alignment);
    QFont Font() const;
    void SetFont(const QFont& font);

private:
    TColumn& column_;
    QString caption_;
    std::optional<Qt::Alignment> alignment_;
    std::optional<QFont> font_;
};

// How one grid column looks and is edited. A field that was never set follows the grid's value,
// also when that changes later; a field that was set keeps its own.
class TColumn {
public:
    TColumn(TApplegrid& grid, int index) : grid_(grid), index_(index), title_(*this) {}

    TApplegrid& Grid() const { return grid_; }
    int Index() const { return index_; }

    TColumnTitle& Title() { return title_; }
    const TColumnTitle& Title() const { return title_; }

    QColor Color() const;
    void SetColor(const QColor& color);
    QFont Font() const;
    void SetFont(const QFont& font);
    QColor FontColor() const;
    void SetFontColor(const QColor& color);
    Qt::Alignment Alignment() const { return alignment_.value_or(Qt::AlignLeft); }
    void SetAlignment(Qt::Alignment alignment);
    bool ReadOnly() const;
    void SetReadOnly(bool readOnly);
    QStringList PickList() const { return pickList_; }
    void SetPickList(const QStringList& items);
    int DropDownRows() const { return dropDownRows_; }
    void SetDropDownRows(int rows);

    // Repaints the grid after a change of this description.
    void Changed();

private:
    TApplegrid& grid_;
    int index_;
    TColumnTitle title_;
    std::optional<QColor> color_;
    std::optional<QFont> font_;
    std::optional<QColor> fontColor_;
    std::optional<Qt::Alignment> alignment_;
    std::optional<bool> readOnly_;
    QStringList pickList_;
    int dropDownRows_ = 7;
};

// The column descriptions, always one per grid column (the fixed column included).
class TDataGridColumns {
public:
    explicit TDataGridColumns(TApplegrid& grid) : grid_(grid) {}

    int Count() const { return static_cast<int>(items_.size()); }
    TColumn& operator[](int index) { return *items_.at(static_cast<size_t>(index)); }
    const TColumn& operator[](int index) const { return *items_.at(static_cast<size_t>(index)); }

private:
    friend class TApplegrid;
    // Appends default descriptions or drops surplus ones from the end.
    void Resize(int count);

    TApplegrid& grid_;
    std::vector<std::unique_ptr<TColumn>> items_;
};

// A text grid whose first row (titles) and first column are fixed, with a description per
// column and an in-place editor that offers a column's pick list in a drop-down list. Cells are
// addressed by column and row from 0, as the fixed ones count too.
class TApplegrid : public QTableView {
    Q_OBJECT
public:
    enum Option {
        GridLinesFixed = 0x1,
        GridLinesOrdinary = 0x2,
        ColumnSizing = 0x4,
        Editing = 0x8,
    };
    Q_DECLARE_FLAGS(Options, Option)

    explicit TApplegrid(QWidget* parent = nullptr);
    ~TApplegrid() override;

    int ColCount() const;
    void SetColCount(int count);
    int RowCount() const;
    void SetRowCount(int count);
    // The least number of rows the grid keeps; raising it adds rows, it never removes any.
    int RowCountMin() const { return rowCountMin_; }
    void SetRowCountMin(int rows);

    QString Cells(int col, int row) const;
    void SetCells(int col, int row, const QString& text);
    // Empties every cell, fixed ones included.
    void ClearCells();
    // Many cell changes at once repaint once, at the end.
    void BeginUpdate();
    void EndUpdate();

    int ColWidths(int col) const;
    void SetColWidths(int col, int width);
    int DefaultRowHeight() const { return defaultRowHeight_; }
    void SetDefaultRowHeight(int height);

    QColor Color() const { return color_; }
    void SetColor(const QColor& color);
    QColor FixedColor() const { return fixedColor_; }
    void SetFixedColor(const QColor& color);
    Options GridOptions() const { return options_; }
    void SetGridOptions(Options options);

    TDataGridColumns& Columns() { return columns_; }
    const TDataGridColumns& Columns() const { return columns_; }

    // The current cell, in grid coordinates (fixed row and column counted).
    int Col() const;
    int Row() const;
    void SetCurrentCell(int col, int row);
    // The current column.
    int SelectedIndex() const { return Col(); }
    void SetSelectedIndex(int col);

    // The editor open on the current cell, if any.
    TDataGridInplaceEdit* InplaceEditor() const;
    // Places the in-place editor on the current cell.
    void ShowEditor();
    // Ends an open edit, keeping the typed text in its cell.
    void CommitEdit();

    // The on-screen rectangle of a cell, in viewport coordinates for ordinary cells.
    QRect CellRect(int col, int row) const;

    // Colours and fonts of a cell as painted: for tests and the editor.
    struct CellLook {
        QString text;
        QColor background;
        QColor textColour;
        QFont font;
        Qt::Alignment alignment;
    };
    CellLook LookOf(int col, int row) const;

    // Repaints cells and fixed cells.
    void Repaint();

    // Marks on the row-number cells: a marked cell is painted in the mark colour and shows the
    // mark's text as its tooltip. SetRowMarks replaces every mark: entry i is for row i + 1, and
    // an empty text (or a row past the list) has no mark.
    void SetRowMarks(std::vector<QString> marks);
    QString RowMark(int row) const;
    static QColor MarkColor() { return QColor(0xFF, 0xC8, 0x5A); }

    // ---- editing blocks of cells, as in a spreadsheet ----

    // How the owner shapes texts: what a pasted text becomes in a column, and what filling down
    // puts into a column below a row (given that row's ordinary cells, from column 1).
    struct EditRules {
        std::function<QString(int col, const QString& text)> pasted;
        std::function<QString(int col, const QStringList& above)> filledDown;
    };
    void SetEditRules(EditRules rules) { rules_ = std::move(rules); }

    // The selected block in grid coordinates (x column, y row); the current cell when nothing
    // more is selected. SelectBlock makes (col1, row1) current and selects up to (col2, row2).
    QRect SelectedBlock() const;
    void SelectBlock(int col1, int row1, int col2, int row2);

    // The selected block as tab-separated text with CR LF rows.
    QString CopyText() const;
    // Puts the selected block on the clipboard; Cut empties it afterwards, as one undo step.
    void Copy();
    void Cut();
    // Pastes tab-separated text at the selected block's top-left cell, clipped at the last row
    // and column (saying so); one value into a selected block fills the block. One undo step.
    void Paste(const QString& text);
    void ClearSelectedCells();
    // Fills the selected rows below the first from it (a single row: from the row above), and
    // the selected columns right of the first from it (a single column: from the one left).
    void FillDown();
    void FillRight();
    // Inserts an empty row above `row`; refused, saying so, when the last row holds text.
    bool InsertRow(int row);
    // Deletes rows first..last; the rows below move up and empty rows fill the bottom.
    void DeleteRows(int first, int last);

    // A typed or picked cell: written and kept as one undo step.
    void EditCell(int col, int row, const QString& text);
    // Changes made between these two calls to rows first..last are one undo step.
    void BeginUndoStep(int first, int last);
    void EndUndoStep();
    void Undo();
    void Redo();
    bool CanUndo() const { return done_ > 0; }
    bool CanRedo() const { return done_ < steps_.size(); }
    void ClearUndo();

signals:
    // Something the user asked for was cut short or refused; the owner shows the text.
    void Notice(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void selectionChanged(const QItemSelection& selected,
                          const QItemSelection& deselected) override;

private:
    friend class TColumn;
    friend class TColumnTitle;
    class Model;
    class Header;
    class Delegate;

    void ApplyRowHeight();
    void CornerMouse(QMouseEvent* event);
    void PaintFixedCell(QPainter& painter, const QRect& rect, int col, int row) const;
    bool EditingKey(QKeyEvent* event);
    void RowMenu(const QPoint& at);
    std::vector<QString> Capture(int first, int last) const;
    void Restore(int first, int last, const std::vector<QString>& cells);
    QStringList RowTexts(int row) const;

    struct UndoStep {
        int first = 0, last = 0;
        std::vector<QString> before, after;
    };
    EditRules rules_;
    std::vector<UndoStep> steps_;
    size_t done_ = 0;
    std::optional<UndoStep> open_;

    Model* model_;
    Header* titles_;
    Header* numbers_;
    Delegate* delegate_;
    TDataGridColumns columns_;
    QWidget* corner_ = nullptr;
    int rowCountMin_ = 0;
    int defaultRowHeight_ = 20;
    int fixedColWidth_ = 64;
    bool fixedColumnDrag_ = false;
    QColor color_ = Qt::white;
    QColor fixedColor_ = QColor(0xF0, 0xF0, 0xF0);
    Options options_ = Options(GridLinesFixed | GridLinesOrdinary);
    std::vector<QString> rowMarks_;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TApplegrid::Options)

} // namespace fabricor
