#include "editors/translate_table_dialog.h"

#include "app/style.h"
#include "editors/grid.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace fabricor {

namespace {

const QColor kGridColour(0xF8, 0xF7, 0xED);
const QColor kSkyBlue(0xA6, 0xCA, 0xF0);
const QColor kPaleCyan(0xE0, 0xFA, 0xFE);
constexpr int kColumnWidths[kTranslateColumnCount] = {64, 101, 72, 111, 79, 64, 64};
constexpr QSize kOuterSize(618, 549);

} // namespace

TFSetVar::TFSetVar(Workspace& workspace, MessageBoxes& boxes, QWidget* parent)
    : QDialog(parent), workspace_(workspace), boxes_(boxes) {
    setObjectName(QStringLiteral("TFSetVar"));
    setWindowTitle(QStringLiteral("Set Translate Table"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    ApplyFabricorLook(this);
    QFont font = FabricorFont();
    font.setPixelSize(11);
    setFont(font);

    sga_ = new TApplegrid(this);
    sga_->setObjectName(QStringLiteral("sga"));
    sga_->SetColCount(kTranslateColumnCount);
    sga_->SetDefaultRowHeight(20);
    sga_->SetColor(kGridColour);
    sga_->SetFixedColor(kGridColour);
    sga_->SetGridOptions(TApplegrid::GridLinesFixed | TApplegrid::GridLinesOrdinary |
                         TApplegrid::ColumnSizing | TApplegrid::Editing);
    sga_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    sga_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    for (int c = 0; c < kTranslateColumnCount; ++c) {
        sga_->SetColWidths(c, kColumnWidths[c]);
        sga_->Columns()[c].Title().SetCaption(QString::fromUtf8(kTranslateColumnTitles[size_t(c)]));
    }
    TColumn& kind = sga_->Columns()[static_cast<int>(TranslateColumn::DataType)];
    kind.SetColor(kSkyBlue);
    QStringList kinds;
    for (const char* name : kDataTypeNames)
        kinds << QString::fromUtf8(name);
    kind.SetPickList(kinds);
    sga_->Columns()[static_cast<int>(TranslateColumn::AddressDeviceRtu)].SetColor(kPaleCyan);
    sga_->Columns()[static_cast<int>(TranslateColumn::AddressRtu)].SetColor(kPaleCyan);
    sga_->SetSelectedIndex(static_cast<int>(TranslateColumn::DataType));

    bitbtn1_ = new QPushButton(QStringLiteral("OK"), this);
    bitbtn1_->setObjectName(QStringLiteral("bitbtn1"));
    bitbtn1_->setAutoDefault(false);
    bitbtn2_ = new QPushButton(QStringLiteral("Cancel"), this);
    bitbtn2_->setObjectName(QStringLiteral("bitbtn2"));
    bitbtn2_->setAutoDefault(false);
    connect(bitbtn1_, &QPushButton::clicked, this, [this] { bitbtn1Click(); });
    connect(bitbtn2_, &QPushButton::clicked, this, &QDialog::reject);

    auto* bar = new QWidget(this);
    bar->setFixedHeight(41);
    auto* buttons = new QHBoxLayout(bar);
    buttons->setContentsMargins(8, 8, 8, 8);
    buttons->setSpacing(8);
    bitbtn1_->setFixedSize(75, 25);
    bitbtn2_->setFixedSize(75, 25);
    buttons->addWidget(bitbtn1_);
    buttons->addWidget(bitbtn2_);
    buttons->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(sga_, 1);
    layout->addWidget(bar);

    setTabOrder(sga_, bitbtn1_);
    setTabOrder(bitbtn1_, bitbtn2_);
    resize(kOuterSize);
}

void TFSetVar::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        FormShow();
        if (!sized_) {
            sized_ = true;
            // The initial size is the outer one, frame included, once a frame exists.
            QSize frame = frameGeometry().size() - geometry().size();
            if (frame.width() < 0 || frame.height() < 0)
                frame = QSize(0, 0);
            resize(kOuterSize - frame);
        }
        sga_->setFocus();
    }
    QDialog::showEvent(event);
}

void TFSetVar::hideEvent(QHideEvent* event) {
    // Closing, Cancel included, keeps an edit still open in the grid as typed.
    sga_->CommitEdit();
    QDialog::hideEvent(event);
}

void TFSetVar::FormShow() {
    sga_->SetRowCountMin(kDataRows + 1);
    sga_->BeginUpdate();
    sga_->ClearCells();
    for (int row = 1; row <= kDataRows; ++row)
        sga_->SetCells(0, row, QString::number(row));
    // Loading never checks and never complains: it stops where the document stops making sense.
    auto document = ReadTranslateTable(workspace_.VarPath);
    if (document.outcome == ReadOutcome::Read) {
        int row = 1;
        for (const auto& read : document.rows) {
            TranslateRowCells cells = CellsOfDocumentRow(read);
            for (size_t a = 0; a < read.cells.size() && a < cells.size(); ++a)
                sga_->SetCells(static_cast<int>(a) + 1, row, QString::fromStdString(cells[a]));
            ++row;
        }
    }
    sga_->EndUpdate();
    // Every showing starts at the top, on row 1's "Data Type", wherever the last one was left.
    sga_->SetCurrentCell(static_cast<int>(TranslateColumn::DataType), 1);
    sga_->scrollToTop();
}

std::vector<TranslateRowCells> TFSetVar::GridRows() const {
    std::vector<TranslateRowCells> rows(static_cast<size_t>(std::max(0, sga_->RowCount() - 1)));
    for (size_t r = 0; r < rows.size(); ++r)
        for (int c = 1; c < kTranslateColumnCount; ++c)
            rows[r][static_cast<size_t>(c) - 1] = sga_->Cells(c, static_cast<int>(r) + 1).toStdString();
    return rows;
}

void TFSetVar::Refuse(const TranslateCellProblem& problem) {
    boxes_.Error(this, QString::fromStdString(problem.message));
    // Take the user to the cell that was refused.
    const int row = static_cast<int>(problem.row);
    const int col = static_cast<int>(problem.column);
    sga_->SetCurrentCell(col, row);
    sga_->scrollTo(sga_->model()->index(row - 1, col - 1));
    sga_->setFocus();
}

bool TFSetVar::CollectFrom(const std::vector<TranslateRowCells>& cells) {
    auto collected = fabricor::CollectTranslateRows(cells);
    rows_ = std::move(collected.rows);
    if (collected.problem) {
        Refuse(*collected.problem);
        return false;
    }
    return true;
}

bool TFSetVar::CollectTranslateRows() { return CollectFrom(GridRows()); }

bool TFSetVar::bitbtn1Click() {
    // An edit still open in the grid counts as typed.
    sga_->CommitEdit();
    const auto cells = GridRows();
    if (auto problem = FirstKindProblem(cells)) {
        Refuse(*problem);
        return false;
    }
    if (!CollectFrom(cells))
        return false;
    Status written = WriteTranslateTable(workspace_.VarPath, rows_);
    if (!written.ok()) {
        // Staying open without a word would leave the user believing the table was saved.
        boxes_.Error(this, QString::fromStdString(written.message()));
        return false;
    }
    accept();
    return true;
}

} // namespace fabricor
