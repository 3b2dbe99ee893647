#include "front/editors/grid.h"

#include "front/editors/grid_inplace_edit.h"
#include "rules/translate_block.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QStyledItemDelegate>

#include <algorithm>

namespace fabricor {

// ---- column descriptions ----

void TColumnTitle::SetCaption(const QString& caption) {
    caption_ = caption;
    column_.Changed();
}

void TColumnTitle::SetAlignment(Qt::Alignment alignment) {
    alignment_ = alignment;
    column_.Changed();
}

QFont TColumnTitle::Font() const { return font_.value_or(column_.Grid().font()); }

void TColumnTitle::SetFont(const QFont& font) {
    font_ = font;
    column_.Changed();
}

QColor TColumn::Color() const { return color_.value_or(grid_.Color()); }

void TColumn::SetColor(const QColor& color) {
    color_ = color;
    Changed();
}

QFont TColumn::Font() const { return font_.value_or(grid_.font()); }

void TColumn::SetFont(const QFont& font) {
    font_ = font;
    Changed();
}

QColor TColumn::FontColor() const {
    return fontColor_.value_or(grid_.palette().color(QPalette::Text));
}

void TColumn::SetFontColor(const QColor& color) {
    fontColor_ = color;
    Changed();
}

void TColumn::SetAlignment(Qt::Alignment alignment) {
    alignment_ = alignment;
    Changed();
}

bool TColumn::ReadOnly() const {
    return readOnly_.value_or(!grid_.GridOptions().testFlag(TApplegrid::Editing));
}

void TColumn::SetReadOnly(bool readOnly) {
    readOnly_ = readOnly;
    Changed();
}

void TColumn::SetPickList(const QStringList& items) {
    pickList_ = items;
    Changed();
}

void TColumn::SetDropDownRows(int rows) {
    dropDownRows_ = std::max(1, rows);
    Changed();
}

void TColumn::Changed() { grid_.Repaint(); }

void TDataGridColumns::Resize(int count) {
    while (Count() > count)
        items_.pop_back();
    while (Count() < count)
        items_.push_back(std::make_unique<TColumn>(grid_, Count()));
}

// ---- cells ----

// All cells, fixed ones included; the view sees the ordinary ones, the headers the fixed ones.
class TApplegrid::Model : public QAbstractTableModel {
public:
    explicit Model(TApplegrid& grid) : QAbstractTableModel(&grid), grid_(grid) {}

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : rows_ - 1;
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : cols_ - 1;
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
            return {};
        return Text(index.column() + 1, index.row() + 1);
    }
    bool setData(const QModelIndex& index, const QVariant& value, int role) override {
        if (!index.isValid() || role != Qt::EditRole)
            return false;
        grid_.EditCell(index.column() + 1, index.row() + 1, value.toString());
        return true;
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        if (!index.isValid())
            return Qt::NoItemFlags;
        Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (grid_.GridOptions().testFlag(Editing))
            flags |= Qt::ItemIsEditable;
        return flags;
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (role == Qt::ToolTipRole && orientation == Qt::Vertical) {
            QString mark = grid_.RowMark(section + 1);
            return mark.isEmpty() ? QVariant() : QVariant(mark);
        }
        if (role != Qt::DisplayRole)
            return {};
        if (orientation == Qt::Vertical)
            return Text(0, section + 1);
        return grid_.LookOf(section + 1, 0).text;
    }

    const QString& Text(int col, int row) const {
        return cells_[static_cast<size_t>(row) * static_cast<size_t>(cols_) + static_cast<size_t>(col)];
    }
    void SetText(int col, int row, const QString& text) {
        cells_[static_cast<size_t>(row) * static_cast<size_t>(cols_) + static_cast<size_t>(col)] = text;
        if (batch_ == 0)
            Notify(col, row);
    }
    void Clear() {
        std::fill(cells_.begin(), cells_.end(), QString());
        if (batch_ == 0)
            NotifyAll();
    }
    void BeginBatch() { ++batch_; }
    void EndBatch() {
        if (batch_ > 0 && --batch_ == 0)
            NotifyAll();
    }

    int Rows() const { return rows_; }
    int Cols() const { return cols_; }

    void SetRows(int rows) {
        rows = std::max(1, rows);
        if (rows == rows_)
            return;
        if (rows > rows_) {
            beginInsertRows({}, rows_ - 1, rows - 2);
            cells_.resize(static_cast<size_t>(rows) * static_cast<size_t>(cols_));
            rows_ = rows;
            endInsertRows();
        } else {
            beginRemoveRows({}, rows - 1, rows_ - 2);
            cells_.resize(static_cast<size_t>(rows) * static_cast<size_t>(cols_));
            rows_ = rows;
            endRemoveRows();
        }
    }

    void SetCols(int cols) {
        cols = std::max(1, cols);
        if (cols == cols_)
            return;
        std::vector<QString> cells(static_cast<size_t>(rows_) * static_cast<size_t>(cols));
        const int kept = std::min(cols, cols_);
        for (int r = 0; r < rows_; ++r)
            for (int c = 0; c < kept; ++c)
                cells[static_cast<size_t>(r) * static_cast<size_t>(cols) + static_cast<size_t>(c)] =
                    std::move(cells_[static_cast<size_t>(r) * static_cast<size_t>(cols_) + static_cast<size_t>(c)]);
        if (cols > cols_) {
            beginInsertColumns({}, cols_ - 1, cols - 2);
            cells_ = std::move(cells);
            cols_ = cols;
            endInsertColumns();
        } else {
            beginRemoveColumns({}, cols - 1, cols_ - 2);
            cells_ = std::move(cells);
            cols_ = cols;
            endRemoveColumns();
        }
    }

    void NotifyAll() {
        if (rows_ > 1 && cols_ > 1)
            emit dataChanged(index(0, 0), index(rows_ - 2, cols_ - 2));
        if (cols_ > 1)
            emit headerDataChanged(Qt::Horizontal, 0, cols_ - 2);
        if (rows_ > 1)
            emit headerDataChanged(Qt::Vertical, 0, rows_ - 2);
        grid_.Repaint();
    }

private:
    void Notify(int col, int row) {
        if (row > 0 && col > 0) {
            auto cell = index(row - 1, col - 1);
            emit dataChanged(cell, cell);
        } else if (row == 0 && col > 0) {
            emit headerDataChanged(Qt::Horizontal, col - 1, col - 1);
        } else if (col == 0 && row > 0) {
            emit headerDataChanged(Qt::Vertical, row - 1, row - 1);
        } else {
            grid_.Repaint();
        }
    }

    TApplegrid& grid_;
    int rows_ = 1;
    int cols_ = 1;
    std::vector<QString> cells_{QString()};
    int batch_ = 0;
};

// The title row (horizontal) and the fixed column (vertical), painted as grid cells.
class TApplegrid::Header : public QHeaderView {
public:
    Header(Qt::Orientation orientation, TApplegrid& grid) : QHeaderView(orientation, &grid), grid_(grid) {}

    QSize sizeHint() const override {
        if (orientation() == Qt::Horizontal)
            return {length(), grid_.DefaultRowHeight()};
        return {grid_.fixedColWidth_, length()};
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        // Beyond the last section the fixed colour continues.
        QPainter(viewport()).fillRect(event->rect(), grid_.FixedColor());
        QHeaderView::paintEvent(event);
    }
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override {
        if (orientation() == Qt::Horizontal)
            grid_.PaintFixedCell(*painter, rect, logicalIndex + 1, 0);
        else
            grid_.PaintFixedCell(*painter, rect, 0, logicalIndex + 1);
    }

private:
    TApplegrid& grid_;
};

namespace {

void DrawCellText(QPainter& painter, const QRect& cell, const QString& text, Qt::Alignment alignment) {
    // Text starts 2 pixels in from the left, ends 3 pixels in from the right, 2 below the top.
    QRect area = cell.adjusted(0, 2, 0, 0);
    Qt::Alignment horizontal = alignment & Qt::AlignHorizontal_Mask;
    if (horizontal & Qt::AlignRight) {
        area.setRight(cell.right() - 3);
    } else if (!(horizontal & Qt::AlignHCenter)) {
        area.setLeft(cell.left() + 2);
        horizontal = Qt::AlignLeft;
    }
    painter.setClipRect(cell);
    painter.drawText(area, static_cast<int>(horizontal | Qt::AlignTop | Qt::TextSingleLine), text);
}

} // namespace

// Paints ordinary cells and places the in-place editor.
class TApplegrid::Delegate : public QStyledItemDelegate {
public:
    explicit Delegate(TApplegrid& grid) : QStyledItemDelegate(&grid), grid_(grid) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const int col = index.column() + 1, row = index.row() + 1;
        CellLook look = grid_.LookOf(col, row);
        painter->save();
        painter->fillRect(option.rect, look.background);
        painter->setFont(look.font);
        painter->setPen(look.textColour);
        DrawCellText(*painter, option.rect, look.text, look.alignment);
        if (grid_.hasFocus() && grid_.currentIndex() == index) {
            QPen dotted(look.textColour, 1, Qt::DotLine);
            painter->setPen(dotted);
            painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
        }
        PaintSelection(*painter, option.rect, col, row);
        painter->restore();
    }

    // A block of more than one cell is tinted, all but its current cell, and framed.
    void PaintSelection(QPainter& painter, const QRect& rect, int col, int row) const {
        const QRect block = grid_.SelectedBlock();
        if (block.width() * block.height() <= 1 || !block.contains(col, row))
            return;
        QColor tint = grid_.palette().color(QPalette::Highlight);
        if (!(col == grid_.Col() && row == grid_.Row())) {
            tint.setAlpha(60);
            painter.fillRect(rect, tint);
        }
        tint.setAlpha(255);
        painter.setPen(QPen(tint, 2));
        const QRect r = rect.adjusted(1, 1, -1, -1);
        if (col == block.left())
            painter.drawLine(r.topLeft(), r.bottomLeft());
        if (col == block.right())
            painter.drawLine(r.topRight(), r.bottomRight());
        if (row == block.top())
            painter.drawLine(r.topLeft(), r.topRight());
        if (row == block.bottom())
            painter.drawLine(r.bottomLeft(), r.bottomRight());
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex& index) const override {
        auto* editor = new TDataGridInplaceEdit(grid_, index, parent);
        editor->Configure(grid_.Columns()[index.column() + 1]);
        editor->setFont(grid_.Columns()[index.column() + 1].Font());
        editor_ = editor;
        return editor;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        auto* edit = static_cast<TDataGridInplaceEdit*>(editor);
        QString text = index.data(Qt::EditRole).toString();
        if (edit->text() != text)
            edit->setText(text);
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override {
        model->setData(index, static_cast<TDataGridInplaceEdit*>(editor)->text(), Qt::EditRole);
    }
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex&) const override {
        editor->setGeometry(option.rect);
    }

    void destroyEditor(QWidget* editor, const QModelIndex& index) const override {
        if (editor == editor_)
            editor_ = nullptr;
        QStyledItemDelegate::destroyEditor(editor, index);
    }

    TDataGridInplaceEdit* Editor() const { return editor_.data(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            if (auto* edit = qobject_cast<TDataGridInplaceEdit*>(watched)) {
                auto* key = static_cast<QKeyEvent*>(event);
                if (edit->HandleDropDownKey(key))
                    return true;
                // Enter ends the edit there and then, keeping the typed text in the cell.
                if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
                    emit commitData(edit);
                    emit closeEditor(edit, QAbstractItemDelegate::NoHint);
                    return true;
                }
            }
        }
        return QStyledItemDelegate::eventFilter(watched, event);
    }

private:
    TApplegrid& grid_;
    mutable QPointer<TDataGridInplaceEdit> editor_;
};

// ---- the grid ----

TApplegrid::TApplegrid(QWidget* parent)
    : QTableView(parent),
      model_(new Model(*this)),
      titles_(new Header(Qt::Horizontal, *this)),
      numbers_(new Header(Qt::Vertical, *this)),
      delegate_(new Delegate(*this)),
      columns_(*this) {
    setObjectName(QStringLiteral("TApplegrid"));
    setHorizontalHeader(titles_);
    setVerticalHeader(numbers_);
    setModel(model_);
    setItemDelegate(delegate_);
    for (Header* header : {titles_, numbers_}) {
        header->setSectionsClickable(false);
        header->setHighlightSections(false);
        header->setMinimumSectionSize(1);
    }
    // A click on a row number selects the row, a drag or Shift+click more rows.
    numbers_->setSectionsClickable(true);
    numbers_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(numbers_, &QWidget::customContextMenuRequested, this, &TApplegrid::RowMenu);
    titles_->setDefaultSectionSize(64);
    titles_->setStretchLastSection(false);
    numbers_->setSectionResizeMode(QHeaderView::Fixed);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setWordWrap(false);
    // The corner is the title cell of the fixed column: it selects nothing, and its right edge
    // is the grip that resizes that column.
    corner_ = findChild<QAbstractButton*>(QString(), Qt::FindDirectChildrenOnly);
    if (corner_) {
        disconnect(corner_, nullptr, this, nullptr);
        corner_->setMouseTracking(true);
        corner_->installEventFilter(this);
    }
    columns_.Resize(1);
    SetGridOptions(options_);
    ApplyRowHeight();
    // A fresh grid has a title row, a fixed column and one ordinary cell.
    SetColCount(2);
    SetRowCount(2);
}

TApplegrid::~TApplegrid() = default;

int TApplegrid::ColCount() const { return model_->Cols(); }

void TApplegrid::SetColCount(int count) {
    count = std::max(1, count);
    model_->SetCols(count);
    columns_.Resize(count);
    if (!currentIndex().isValid())
        SetCurrentCell(1, 1);
    Repaint();
}

int TApplegrid::RowCount() const { return model_->Rows(); }

void TApplegrid::SetRowCount(int count) {
    model_->SetRows(std::max(1, count));
    if (!currentIndex().isValid())
        SetCurrentCell(1, 1);
}

void TApplegrid::SetRowCountMin(int rows) {
    rowCountMin_ = std::max(0, rows);
    if (rowCountMin_ > 0 && RowCount() < rowCountMin_)
        SetRowCount(rowCountMin_);
}

QString TApplegrid::Cells(int col, int row) const {
    if (col < 0 || row < 0 || col >= ColCount() || row >= RowCount())
        return {};
    return model_->Text(col, row);
}

void TApplegrid::SetCells(int col, int row, const QString& text) {
    if (col < 0 || row < 0 || col >= ColCount() || row >= RowCount())
        return;
    model_->SetText(col, row, text);
}

void TApplegrid::ClearCells() { model_->Clear(); }

void TApplegrid::BeginUpdate() { model_->BeginBatch(); }

void TApplegrid::EndUpdate() { model_->EndBatch(); }

int TApplegrid::ColWidths(int col) const {
    if (col == 0)
        return fixedColWidth_;
    return titles_->sectionSize(col - 1);
}

void TApplegrid::SetColWidths(int col, int width) {
    if (col < 0 || col >= ColCount())
        return;
    if (col == 0) {
        fixedColWidth_ = std::max(0, width);
        updateGeometries();
        Repaint();
    } else {
        titles_->resizeSection(col - 1, std::max(0, width));
    }
}

void TApplegrid::SetDefaultRowHeight(int height) {
    defaultRowHeight_ = std::max(1, height);
    ApplyRowHeight();
}

void TApplegrid::ApplyRowHeight() {
    numbers_->setDefaultSectionSize(defaultRowHeight_);
    updateGeometries();
}

void TApplegrid::SetColor(const QColor& color) {
    color_ = color;
    // The area beyond the last row and column shows the grid's colour too.
    QPalette colours = viewport()->palette();
    colours.setColor(QPalette::Base, color);
    viewport()->setPalette(colours);
    Repaint();
}

void TApplegrid::SetFixedColor(const QColor& color) {
    fixedColor_ = color;
    for (Header* header : {titles_, numbers_}) {
        QPalette colours = header->palette();
        colours.setColor(QPalette::Window, color);
        colours.setColor(QPalette::Button, color);
        colours.setColor(QPalette::Base, color);
        header->setPalette(colours);
    }
    Repaint();
}

void TApplegrid::SetGridOptions(Options options) {
    options_ = options;
    setShowGrid(options.testFlag(GridLinesOrdinary));
    titles_->setSectionResizeMode(options.testFlag(ColumnSizing) ? QHeaderView::Interactive
                                                                 : QHeaderView::Fixed);
    setEditTriggers(options.testFlag(Editing)
                        ? QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                              QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed
                        : QAbstractItemView::NoEditTriggers);
    Repaint();
}

int TApplegrid::Col() const {
    auto current = currentIndex();
    return current.isValid() ? current.column() + 1 : 1;
}

int TApplegrid::Row() const {
    auto current = currentIndex();
    return current.isValid() ? current.row() + 1 : 1;
}

void TApplegrid::SetCurrentCell(int col, int row) {
    auto cell = model_->index(row - 1, col - 1);
    if (!cell.isValid() || !selectionModel())
        return;
    selectionModel()->setCurrentIndex(cell, QItemSelectionModel::ClearAndSelect);
}

void TApplegrid::SetSelectedIndex(int col) { SetCurrentCell(col, Row()); }

TDataGridInplaceEdit* TApplegrid::InplaceEditor() const {
    auto* editor = delegate_->Editor();
    return editor && editor->isVisible() ? editor : nullptr;
}

void TApplegrid::ShowEditor() {
    if (currentIndex().isValid())
        edit(currentIndex());
}

void TApplegrid::CommitEdit() {
    if (auto* editor = delegate_->Editor()) {
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

QRect TApplegrid::CellRect(int col, int row) const {
    return visualRect(model_->index(row - 1, col - 1));
}

TApplegrid::CellLook TApplegrid::LookOf(int col, int row) const {
    CellLook look;
    look.text = Cells(col, row);
    look.background = color_;
    look.textColour = palette().color(QPalette::Text);
    look.font = font();
    look.alignment = Qt::AlignLeft;
    const bool fixed = col == 0 || row == 0;
    if (col < columns_.Count()) {
        const TColumn& column = columns_[col];
        look.alignment = column.Alignment();
        if (row == 0) {
            if (!column.Title().Caption().isEmpty())
                look.text = column.Title().Caption();
            look.alignment = column.Title().Alignment();
            look.font = column.Title().Font();
        } else if (!fixed && hasFocus() && currentIndex() == model_->index(row - 1, col - 1)) {
            // The focused cell keeps the grid's own colours and takes only the column's face.
            const QFont face = column.Font();
            look.font.setFamily(face.family());
            if (face.pixelSize() > 0)
                look.font.setPixelSize(face.pixelSize());
            else
                look.font.setPointSizeF(face.pointSizeF());
        } else {
            look.background = column.Color();
            look.font = column.Font();
            look.textColour = column.FontColor();
        }
    }
    if (fixed)
        look.background =
            col == 0 && row > 0 && !RowMark(row).isEmpty() ? MarkColor() : fixedColor_;
    return look;
}

void TApplegrid::SetRowMarks(std::vector<QString> marks) {
    rowMarks_ = std::move(marks);
    numbers_->viewport()->update();
}

QString TApplegrid::RowMark(int row) const {
    const auto index = static_cast<size_t>(row - 1);
    return row > 0 && index < rowMarks_.size() ? rowMarks_[index] : QString();
}

void TApplegrid::PaintFixedCell(QPainter& painter, const QRect& rect, int col, int row) const {
    CellLook look = LookOf(col, row);
    painter.save();
    painter.fillRect(rect, look.background);
    if (options_.testFlag(GridLinesFixed)) {
        QStyleOptionViewItem option;
        option.initFrom(this);
        painter.setPen(QColor::fromRgba(static_cast<QRgb>(
            style()->styleHint(QStyle::SH_Table_GridLineColor, &option, this))));
        painter.drawLine(rect.topRight(), rect.bottomRight());
        painter.drawLine(rect.bottomLeft(), rect.bottomRight());
    }
    painter.setFont(look.font);
    painter.setPen(look.textColour);
    DrawCellText(painter, rect.adjusted(0, 0, -1, -1), look.text, look.alignment);
    painter.restore();
}

void TApplegrid::Repaint() {
    viewport()->update();
    titles_->viewport()->update();
    numbers_->viewport()->update();
    if (corner_)
        corner_->update();
}

void TApplegrid::keyPressEvent(QKeyEvent* event) {
    if (state() != QAbstractItemView::EditingState && EditingKey(event)) {
        event->accept();
        return;
    }
    // Enter is never inserted: in the grid it opens the editor on the current cell.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        state() != QAbstractItemView::EditingState) {
        if (options_.testFlag(Editing))
            ShowEditor();
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void TApplegrid::paintEvent(QPaintEvent* event) {
    // Beyond the last row and column the grid's colour continues.
    QPainter(viewport()).fillRect(event->rect(), color_);
    QTableView::paintEvent(event);
}

void TApplegrid::changeEvent(QEvent* event) {
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange)
        Repaint();
}

bool TApplegrid::eventFilter(QObject* watched, QEvent* event) {
    if (watched == corner_) {
        switch (event->type()) {
        case QEvent::Paint: {
            QPainter painter(corner_);
            PaintFixedCell(painter, corner_->rect(), 0, 0);
            return true;
        }
        case QEvent::MouseButtonPress:
        case QEvent::MouseMove:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
            CornerMouse(static_cast<QMouseEvent*>(event));
            return true;
        default:
            break;
        }
    }
    return QTableView::eventFilter(watched, event);
}

void TApplegrid::CornerMouse(QMouseEvent* event) {
    constexpr int kGrip = 4;
    const int x = static_cast<int>(event->position().x());
    const bool sizing = options_.testFlag(ColumnSizing);
    const bool onGrip = sizing && x >= corner_->width() - kGrip;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        fixedColumnDrag_ = onGrip && event->button() == Qt::LeftButton;
        break;
    case QEvent::MouseMove:
        if (fixedColumnDrag_)
            SetColWidths(0, std::max(1, x));
        else if (onGrip)
            corner_->setCursor(Qt::SplitHCursor);
        else
            corner_->unsetCursor();
        break;
    case QEvent::MouseButtonRelease:
        if (fixedColumnDrag_ && event->button() == Qt::LeftButton) {
            SetColWidths(0, std::max(1, x));
            fixedColumnDrag_ = false;
        }
        break;
    default:
        break;
    }
}

void TApplegrid::focusInEvent(QFocusEvent* event) {
    QTableView::focusInEvent(event);
    viewport()->update();
}

void TApplegrid::focusOutEvent(QFocusEvent* event) {
    QTableView::focusOutEvent(event);
    viewport()->update();
}

void TApplegrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    viewport()->update();
}

void TApplegrid::selectionChanged(const QItemSelection& selected,
                                  const QItemSelection& deselected) {
    QTableView::selectionChanged(selected, deselected);
    // The block's frame moves with its edges, beyond the cells that changed.
    viewport()->update();
}

// ---- blocks of cells ----

QRect TApplegrid::SelectedBlock() const {
    QRect block;
    if (selectionModel())
        for (const QItemSelectionRange& range : selectionModel()->selection())
            block |= QRect(QPoint(range.left() + 1, range.top() + 1),
                           QPoint(range.right() + 1, range.bottom() + 1));
    if (!block.contains(Col(), Row()))
        block = QRect(Col(), Row(), 1, 1);
    return block;
}

void TApplegrid::SelectBlock(int col1, int row1, int col2, int row2) {
    auto from = model_->index(row1 - 1, col1 - 1), to = model_->index(row2 - 1, col2 - 1);
    if (!from.isValid() || !to.isValid())
        return;
    selectionModel()->setCurrentIndex(from, QItemSelectionModel::NoUpdate);
    selectionModel()->select(QItemSelection(from, to), QItemSelectionModel::ClearAndSelect);
    viewport()->update();
}

QStringList TApplegrid::RowTexts(int row) const {
    QStringList texts;
    for (int c = 1; c < ColCount(); ++c)
        texts << Cells(c, row);
    return texts;
}

QString TApplegrid::CopyText() const {
    const QRect block = SelectedBlock();
    TextBlock cells;
    for (int r = block.top(); r <= block.bottom(); ++r) {
        cells.emplace_back();
        for (int c = block.left(); c <= block.right(); ++c)
            cells.back().push_back(Cells(c, r).toStdString());
    }
    return QString::fromStdString(FormatTabText(cells));
}

void TApplegrid::Copy() {
    QGuiApplication::clipboard()->setText(CopyText());
}

void TApplegrid::Cut() {
    Copy();
    ClearSelectedCells();
}

void TApplegrid::Paste(const QString& text) {
    const TextBlock cells = ParseTabText(text.toStdString());
    if (cells.empty() || cells.front().empty())
        return;
    const QRect selected = SelectedBlock();
    const int rows = static_cast<int>(cells.size()), cols = static_cast<int>(cells.front().size());
    const bool fill = rows == 1 && cols == 1 && selected.width() * selected.height() > 1;
    const int lastRow = RowCount() - 1, lastCol = ColCount() - 1;
    QRect target = fill ? selected : QRect(selected.left(), selected.top(), cols, rows);
    target = target.intersected(QRect(QPoint(1, 1), QPoint(lastCol, lastRow)));
    const auto pasted = [this](int col, const std::string& value) {
        const QString text = QString::fromStdString(value);
        return rules_.pasted ? rules_.pasted(col, text) : text;
    };
    BeginUndoStep(target.top(), target.bottom());
    BeginUpdate();
    for (int r = target.top(); r <= target.bottom(); ++r)
        for (int c = target.left(); c <= target.right(); ++c) {
            const auto& value = fill ? cells[0][0]
                                     : cells[static_cast<size_t>(r - target.top())]
                                            [static_cast<size_t>(c - target.left())];
            if (!columns_[c].ReadOnly())
                model_->SetText(c, r, pasted(c, value));
        }
    EndUpdate();
    EndUndoStep();
    SelectBlock(target.left(), target.top(), target.right(), target.bottom());
    if (!fill && (target.height() < rows || target.width() < cols))
        emit Notice(tr("Pasted %1 of %2 rows and %3 of %4 columns: the rest lies beyond the "
                       "table's last row or column.")
                        .arg(target.height())
                        .arg(rows)
                        .arg(target.width())
                        .arg(cols));
}

void TApplegrid::ClearSelectedCells() {
    const QRect block = SelectedBlock();
    BeginUndoStep(block.top(), block.bottom());
    BeginUpdate();
    for (int r = block.top(); r <= block.bottom(); ++r)
        for (int c = block.left(); c <= block.right(); ++c)
            if (!columns_[c].ReadOnly())
                model_->SetText(c, r, QString());
    EndUpdate();
    EndUndoStep();
}

void TApplegrid::FillDown() {
    QRect block = SelectedBlock();
    if (block.height() == 1) {
        if (block.top() <= 1)
            return;
        block.setTop(block.top() - 1);
    }
    BeginUndoStep(block.top() + 1, block.bottom());
    BeginUpdate();
    for (int r = block.top() + 1; r <= block.bottom(); ++r) {
        const QStringList above = RowTexts(r - 1);
        for (int c = block.left(); c <= block.right(); ++c)
            if (!columns_[c].ReadOnly())
                model_->SetText(c, r,
                                rules_.filledDown ? rules_.filledDown(c, above) : above[c - 1]);
    }
    EndUpdate();
    EndUndoStep();
}

void TApplegrid::FillRight() {
    QRect block = SelectedBlock();
    if (block.width() == 1) {
        if (block.left() <= 1)
            return;
        block.setLeft(block.left() - 1);
    }
    BeginUndoStep(block.top(), block.bottom());
    BeginUpdate();
    for (int r = block.top(); r <= block.bottom(); ++r) {
        const QString first = Cells(block.left(), r);
        for (int c = block.left() + 1; c <= block.right(); ++c)
            if (!columns_[c].ReadOnly())
                model_->SetText(c, r, rules_.pasted ? rules_.pasted(c, first) : first);
    }
    EndUpdate();
    EndUndoStep();
}

bool TApplegrid::InsertRow(int row) {
    const int last = RowCount() - 1;
    if (row < 1 || row > last)
        return false;
    for (const QString& text : RowTexts(last))
        if (!text.isEmpty()) {
            emit Notice(tr("No row was inserted: row %1 holds data and would be pushed out of "
                           "the table.")
                            .arg(last));
            return false;
        }
    BeginUndoStep(row, last);
    auto cells = Capture(row, last - 1);
    cells.insert(cells.begin(), static_cast<size_t>(ColCount() - 1), QString());
    Restore(row, last, cells);
    EndUndoStep();
    return true;
}

void TApplegrid::DeleteRows(int first, int last) {
    const int end = RowCount() - 1;
    first = std::max(first, 1);
    last = std::min(last, end);
    if (first > last)
        return;
    BeginUndoStep(first, end);
    auto cells = Capture(last + 1, end);
    cells.resize(static_cast<size_t>(end - first + 1) * static_cast<size_t>(ColCount() - 1));
    Restore(first, end, cells);
    EndUndoStep();
}

void TApplegrid::RowMenu(const QPoint& at) {
    const int row = numbers_->logicalIndexAt(at) + 1;
    if (row < 1)
        return;
    QRect block = SelectedBlock();
    if (!(row >= block.top() && row <= block.bottom()))
        block = QRect(1, row, 1, 1);
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("rowMenu"));
    menu.addAction(tr("Insert row above"), this, [this, row] { InsertRow(row); });
    menu.addAction(block.height() > 1
                       ? tr("Delete rows %1 to %2").arg(block.top()).arg(block.bottom())
                       : tr("Delete row %1").arg(row),
                   this, [this, block] { DeleteRows(block.top(), block.bottom()); });
    menu.exec(numbers_->viewport()->mapToGlobal(at));
}

// ---- undo ----

std::vector<QString> TApplegrid::Capture(int first, int last) const {
    std::vector<QString> cells;
    if (first > last)
        return cells;
    cells.reserve(static_cast<size_t>(last - first + 1) * static_cast<size_t>(ColCount() - 1));
    for (int r = first; r <= last; ++r)
        for (int c = 1; c < ColCount(); ++c)
            cells.push_back(model_->Text(c, r));
    return cells;
}

void TApplegrid::Restore(int first, int last, const std::vector<QString>& cells) {
    BeginUpdate();
    size_t i = 0;
    for (int r = first; r <= last; ++r)
        for (int c = 1; c < ColCount(); ++c, ++i)
            model_->SetText(c, r, i < cells.size() ? cells[i] : QString());
    EndUpdate();
}

void TApplegrid::EditCell(int col, int row, const QString& text) {
    if (col < 1 || row < 1 || col >= ColCount() || row >= RowCount() ||
        model_->Text(col, row) == text)
        return;
    BeginUndoStep(row, row);
    model_->SetText(col, row, text);
    EndUndoStep();
}

void TApplegrid::BeginUndoStep(int first, int last) {
    first = std::max(first, 1);
    last = std::min(last, RowCount() - 1);
    open_ = UndoStep{first, last, Capture(first, last), {}};
}

void TApplegrid::EndUndoStep() {
    if (!open_)
        return;
    UndoStep step = std::move(*open_);
    open_.reset();
    step.after = Capture(step.first, step.last);
    if (step.after == step.before)
        return;
    steps_.resize(done_);
    steps_.push_back(std::move(step));
    // A long session keeps its last few hundred steps.
    constexpr size_t kKept = 500;
    if (steps_.size() > kKept)
        steps_.erase(steps_.begin(),
                     steps_.begin() + static_cast<std::ptrdiff_t>(steps_.size() - kKept));
    done_ = steps_.size();
}

void TApplegrid::Undo() {
    if (!CanUndo())
        return;
    const UndoStep& step = steps_[--done_];
    Restore(step.first, step.last, step.before);
    SelectBlock(1, step.first, ColCount() - 1, step.last);
}

void TApplegrid::Redo() {
    if (!CanRedo())
        return;
    const UndoStep& step = steps_[done_++];
    Restore(step.first, step.last, step.after);
    SelectBlock(1, step.first, ColCount() - 1, step.last);
}

void TApplegrid::ClearUndo() {
    steps_.clear();
    done_ = 0;
    open_.reset();
}

bool TApplegrid::EditingKey(QKeyEvent* event) {
    const auto mods = event->modifiers() & ~Qt::KeypadModifier;
    const bool ctrl = mods.testFlag(Qt::ControlModifier);
    const bool shift = mods.testFlag(Qt::ShiftModifier);
    const bool editing = options_.testFlag(Editing);
    const int key = event->key();
    if (ctrl && (key == Qt::Key_Tab || key == Qt::Key_Backtab)) {
        // Out of the grid, to the next or previous control; plain Tab stays in the grid.
        QWidget::focusNextPrevChild(key == Qt::Key_Tab && !shift);
        return true;
    }
    if (ctrl && key == Qt::Key_C) {
        Copy();
        return true;
    }
    if (!editing)
        return false;
    if (ctrl && key == Qt::Key_X)
        Cut();
    else if (ctrl && key == Qt::Key_V)
        Paste(QGuiApplication::clipboard()->text());
    else if (key == Qt::Key_Delete && !ctrl)
        ClearSelectedCells();
    else if (ctrl && !shift && key == Qt::Key_Z)
        Undo();
    else if (ctrl && (key == Qt::Key_Y || (shift && key == Qt::Key_Z)))
        Redo();
    else if (ctrl && (key == Qt::Key_Plus || key == Qt::Key_Equal))
        InsertRow(SelectedBlock().top());
    else if (ctrl && key == Qt::Key_Minus) {
        const QRect block = SelectedBlock();
        DeleteRows(block.top(), block.bottom());
    } else if (ctrl && key == Qt::Key_D)
        FillDown();
    else if (ctrl && key == Qt::Key_R)
        FillRight();
    else
        return false;
    return true;
}

} // namespace fabricor
