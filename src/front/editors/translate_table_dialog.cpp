#include "front/editors/translate_table_dialog.h"

#include "base/atomic_file.h"
#include "documents/integer_text.h"
#include "front/editors/grid.h"
#include "rules/translate_block.h"
#include "rules/translate_csv.h"
#include "style/style.h"

#include <QAction>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
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
    TApplegrid::EditRules rules;
    rules.pasted = [](int col, const QString& text) {
        return QString::fromStdString(
            PastedTranslateCell(static_cast<TranslateColumn>(col), text.toStdString()));
    };
    rules.filledDown = [](int col, const QStringList& above) {
        TranslateRowCells cells;
        for (size_t c = 0; c < cells.size() && c < size_t(above.size()); ++c)
            cells[c] = above[qsizetype(c)].toStdString();
        return QString::fromStdString(
            FilledDownTranslateCell(static_cast<TranslateColumn>(col), cells));
    };
    sga_->SetEditRules(std::move(rules));
    connect(sga_, &TApplegrid::Notice, this,
            [this](const QString& text) { boxes_.Plain(this, text); });

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
    // Two lines of the summary fit between the bar's edges; the buttons stay centred in it.
    buttons->setContentsMargins(8, 6, 8, 6);
    buttons->setSpacing(8);
    bitbtn1_->setFixedSize(75, 25);
    bitbtn2_->setFixedSize(75, 25);
    buttons->addWidget(bitbtn1_);
    buttons->addWidget(bitbtn2_);
    buttons->addStretch();
    AddCsvControls(buttons);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(sga_, 1);
    layout->addWidget(bar);

    AddFindControls();
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
        } else if (lastSize_.isValid()) {
            resize(lastSize_);
        }
        laidOutWidth_ = width();
        sga_->setFocus();
    }
    QDialog::showEvent(event);
}

void TFSetVar::AddFindControls() {
    // Over the grid's top right corner, outside the layout, shown by Ctrl+F and Ctrl+G.
    finder_ = new QLineEdit(this);
    finder_->setObjectName(QStringLiteral("E_Find"));
    finder_->setClearButtonEnabled(true);
    finder_->hide();
    connect(finder_, &QLineEdit::returnPressed, this, [this] { goTo_ ? GoTo() : FindNext(); });
    const auto shortcut = [this](const QKeySequence& keys, auto slot) {
        auto* action = new QAction(this);
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, slot);
        addAction(action);
    };
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_F), [this] { OpenFinder(false); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_G), [this] { OpenFinder(true); });
    shortcut(QKeySequence(Qt::Key_F3), [this] {
        if (finder_->text().isEmpty() || goTo_)
            OpenFinder(false);
        else
            FindNext();
    });
}

void TFSetVar::OpenFinder(bool goTo) {
    sga_->CommitEdit();
    if (goTo != goTo_)
        finder_->clear();
    goTo_ = goTo;
    finder_->setPlaceholderText(goTo ? QStringLiteral("Row, or kind and TCP address")
                                     : QStringLiteral("Find text or number"));
    const int width = std::min(240, sga_->width() / 2);
    const QPoint corner = sga_->mapTo(this, QPoint(sga_->width() - width - 24, 2));
    finder_->setGeometry(corner.x(), corner.y(), width, finder_->sizeHint().height());
    finder_->show();
    finder_->raise();
    finder_->setFocus();
    finder_->selectAll();
}

void TFSetVar::FindNext() {
    const QString needle = finder_->text();
    TranslateCellPlace after{static_cast<size_t>(sga_->Row()),
                             static_cast<TranslateColumn>(sga_->Col())};
    const auto found = FindTranslateCell(GridRows(), needle.toStdString(), after);
    if (!found) {
        ShowDone(QStringLiteral("Nothing found for \u201C%1\u201D").arg(needle));
        return;
    }
    const int row = static_cast<int>(found->row), col = static_cast<int>(found->column);
    if (row < sga_->Row() || (row == sga_->Row() && col <= sga_->Col()))
        ShowDone(QStringLiteral("Found again from the top: row %1").arg(row));
    else
        ShowDone(QStringLiteral("Found in row %1").arg(row));
    sga_->SetCurrentCell(col, row);
    sga_->scrollTo(sga_->model()->index(row - 1, col - 1));
}

void TFSetVar::GoTo() {
    const auto row = GoToTranslateRow(GridRows(), finder_->text().toStdString());
    if (!row) {
        ShowDone(QStringLiteral("No row for \u201C%1\u201D").arg(finder_->text()));
        return;
    }
    const int r = static_cast<int>(*row);
    sga_->SetCurrentCell(sga_->Col(), r);
    sga_->scrollTo(sga_->model()->index(r - 1, sga_->Col() - 1));
    finder_->hide();
    sga_->setFocus();
}

void TFSetVar::keyPressEvent(QKeyEvent* event) {
    // Esc in the find box closes the box, not the dialog.
    if (event->key() == Qt::Key_Escape && finder_->isVisible()) {
        finder_->hide();
        sga_->setFocus();
        return;
    }
    // Ctrl+Tab and Ctrl+Shift+Tab on a button take the focus back into the grid.
    if (event->modifiers().testFlag(Qt::ControlModifier) &&
        (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab) && !sga_->hasFocus()) {
        sga_->setFocus(Qt::TabFocusReason);
        return;
    }
    QDialog::keyPressEvent(event);
}

void TFSetVar::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    // Width gained or lost by the dialog after its sizing goes to Mnemonic, never below its own.
    if (laidOutWidth_ <= 0)
        return;
    const int mnemonic = static_cast<int>(TranslateColumn::Mnemonic);
    const int width = sga_->ColWidths(mnemonic) + event->size().width() - laidOutWidth_;
    sga_->SetColWidths(mnemonic, std::max(kColumnWidths[mnemonic], width));
    laidOutWidth_ = event->size().width();
}

void TFSetVar::hideEvent(QHideEvent* event) {
    // The next showing within this run comes back at this size.
    if (sized_)
        lastSize_ = size();
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
    sga_->ClearUndo();
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
    Status written = WriteTranslateTable(workspace_.VarPath, rows_, *output_);
    if (!written.ok()) {
        // Staying open without a word would leave the user believing the table was saved.
        boxes_.Error(this, QString::fromStdString(written.message()));
        return false;
    }
    accept();
    return true;
}

// ---- CSV import and export, table analysis ----

namespace {

constexpr const char* kCsvFilter = "CSV files (*.csv);;All files (*)";

// The summary beside the buttons: wrapped between its parts onto as many lines as the bar holds
// (two at the dialog's starting size), and ending in "…" only when even they are too few.
class ElidedLabel final : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        const QRect area = contentsRect();
        const QFontMetrics metrics = fontMetrics();
        const int flags = static_cast<int>(alignment()) | Qt::TextWordWrap;
        // Lines break between the parts only, never inside "1 without points".
        const QString dot = QStringLiteral(" \u00B7 ");
        QString whole = text();
        whole.replace(QLatin1Char(' '), QChar::Nbsp);
        whole.replace(QString(dot).replace(QLatin1Char(' '), QChar::Nbsp), dot);
        QString shown = whole;
        const int lines = std::max(1, area.height() / metrics.lineSpacing());
        // Shortened from the end until the wrapped text fits the lines there are.
        for (int room = area.width() * lines;
             room > 0 && metrics.boundingRect(area, flags, shown).height() > area.height();
             room -= metrics.averageCharWidth())
            shown = metrics.elidedText(whole, Qt::ElideRight, room);
        painter.drawText(area, flags, shown);
    }
};

} // namespace

void TFSetVar::AddCsvControls(QHBoxLayout* buttons) {
    // Right of Cancel; OK and Cancel keep their places.
    importCsv_ = new QPushButton(QStringLiteral("Import CSV…"), this);
    importCsv_->setObjectName(QStringLiteral("btn_ImportCsv"));
    exportCsv_ = new QPushButton(QStringLiteral("Export CSV…"), this);
    exportCsv_->setObjectName(QStringLiteral("btn_ExportCsv"));
    int at = buttons->indexOf(bitbtn2_) + 1;
    for (QPushButton* button : {importCsv_, exportCsv_}) {
        button->setAutoDefault(false);
        button->setFixedSize(std::max(90, button->sizeHint().width()), 25);
        buttons->insertWidget(at++, button);
    }
    connect(importCsv_, &QPushButton::clicked, this, [this] { ImportCsvClick(); });
    connect(exportCsv_, &QPushButton::clicked, this, [this] { ExportCsvClick(); });
    setTabOrder(bitbtn2_, importCsv_);
    setTabOrder(importCsv_, exportCsv_);

    summary_ = new ElidedLabel(this);
    summary_->setObjectName(QStringLiteral("L_TableSummary"));
    summary_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    summary_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    buttons->addWidget(summary_, 1);

    // Edits are analysed once the event loop is back, so a burst of changes costs one run.
    analysisTimer_ = new QTimer(this);
    analysisTimer_->setSingleShot(true);
    analysisTimer_->setInterval(0);
    connect(analysisTimer_, &QTimer::timeout, this, [this] { UpdateTableAnalysis(); });
    connect(sga_->model(), &QAbstractItemModel::dataChanged, analysisTimer_,
            qOverload<>(&QTimer::start));
    connect(sga_->model(), &QAbstractItemModel::rowsInserted, analysisTimer_,
            qOverload<>(&QTimer::start));
    UpdateTableAnalysis();
}

void TFSetVar::SetCsvServices(FileChooser* files, DialogRunner* dialogs) {
    files_ = files;
    dialogs_ = dialogs;
}

void TFSetVar::UpdateTableAnalysis() {
    analysisTimer_->stop();
    // The table as the editor saves it: the rows above the first empty Address TCP, each as it
    // would be collected, or nothing when a cell would be refused.
    std::vector<std::optional<TMyRec>> rows;
    const int last = std::min(sga_->RowCount() - 1, kDataRows);
    const int tcp = static_cast<int>(TranslateColumn::AddressTcp);
    for (int r = 1; r <= last && !sga_->Cells(tcp, r).isEmpty(); ++r) {
        TranslateRowCells cells;
        for (int c = 1; c < kTranslateColumnCount; ++c)
            cells[static_cast<size_t>(c) - 1] = sga_->Cells(c, r).toStdString();
        rows.push_back(RecordOfCells(cells));
    }
    analysis_ = AnalyseTranslateTable(rows);
    std::vector<QString> marks;
    marks.reserve(analysis_.rowNotes.size());
    for (const auto& note : analysis_.rowNotes)
        marks.push_back(QString::fromStdString(note));
    sga_->SetRowMarks(std::move(marks));
    const QString summary = QString::fromStdString(TableAnalysisSummary(analysis_));
    summary_->setText(summary);
    summary_->setToolTip(summary);
}

void TFSetVar::ShowCsvProblems(const QString& path, const std::vector<std::string>& problems) {
    QDialog list(this);
    list.setObjectName(QStringLiteral("TFCsvProblems"));
    list.setWindowTitle(QStringLiteral("Import CSV"));
    auto* layout = new QVBoxLayout(&list);
    layout->addWidget(new QLabel(
        QStringLiteral("%1 was not imported; the table is as it was:").arg(path), &list));
    auto* lines = new QListWidget(&list);
    lines->setObjectName(QStringLiteral("problems"));
    lines->setUniformItemSizes(true);
    for (const auto& problem : problems)
        lines->addItem(QString::fromStdString(problem));
    layout->addWidget(lines, 1);
    auto* ok = new QPushButton(QStringLiteral("OK"), &list);
    connect(ok, &QPushButton::clicked, &list, &QDialog::accept);
    layout->addWidget(ok, 0, Qt::AlignRight);
    list.resize(560, 320);
    if (dialogs_)
        dialogs_->Run(list);
    else
        list.exec();
}

void TFSetVar::ImportCsvClick() {
    if (!files_)
        return;
    sga_->CommitEdit();
    // The project's folder until a file was chosen.
    QString path = csvPath_.isEmpty() ? QString::fromStdString(workspace_.ProjectFolder) : csvPath_;
    if (!files_->ChooseFile(this, QStringLiteral("Import CSV"), QString::fromUtf8(kCsvFilter),
                            false, path))
        return;
    csvPath_ = path;
    auto imported = ReadTranslateTableCsv(path.toStdString());
    if (!imported.ok()) {
        std::vector<std::string> lines;
        lines.reserve(imported.problems.size());
        for (const auto& problem : imported.problems)
            lines.push_back(DescribeCsvProblem(problem));
        ShowCsvProblems(path, lines);
        return;
    }
    int held = 0;
    for (int r = 1; r < sga_->RowCount(); ++r)
        for (int c = 1; c < kTranslateColumnCount; ++c)
            if (!sga_->Cells(c, r).isEmpty()) {
                ++held;
                break;
            }
    const QString name = QFileInfo(path).fileName();
    if (held > 0 &&
        !boxes_.Question(this,
                         QStringLiteral("Replace the %1 rows in the table with the %2 rows of %3?")
                             .arg(held)
                             .arg(imported.rows.size())
                             .arg(name)))
        return;
    sga_->SetRowCountMin(kDataRows + 1);
    sga_->BeginUndoStep(1, kDataRows);
    sga_->BeginUpdate();
    for (int r = 1; r <= kDataRows; ++r) {
        const auto index = static_cast<size_t>(r - 1);
        if (index < imported.rows.size()) {
            const TMyRec& rec = imported.rows[index];
            const std::array<std::string, 6> cells = {
                kDataTypeNames[static_cast<size_t>(rec.DataType) - 1],
                CanonicalDecimal(rec.TcpAddress),
                CanonicalDecimal(rec.RtuAddDev),
                CanonicalDecimal(rec.RtuAddress),
                CanonicalDecimal(rec.NPoint),
                rec.Mnemonic};
            for (int c = 1; c < kTranslateColumnCount; ++c)
                sga_->SetCells(c, r, QString::fromStdString(cells[static_cast<size_t>(c) - 1]));
        } else {
            for (int c = 1; c < kTranslateColumnCount; ++c)
                sga_->SetCells(c, r, QString());
        }
    }
    sga_->EndUpdate();
    sga_->EndUndoStep();
    UpdateTableAnalysis();
    ShowDone(QStringLiteral("%1 rows read from %2").arg(imported.rows.size()).arg(name));
}

void TFSetVar::ShowDone(const QString& line) {
    // In the bar until the next edit sums the table up again.
    summary_->setText(line);
    summary_->setToolTip(line);
}

void TFSetVar::ExportCsvClick() {
    if (!files_)
        return;
    // The same checks as OK: a refused cell is shown and nothing is exported.
    sga_->CommitEdit();
    const auto cells = GridRows();
    if (auto problem = FirstKindProblem(cells)) {
        Refuse(*problem);
        return;
    }
    if (!CollectFrom(cells))
        return;
    QString path = csvPath_.isEmpty()
                       ? QString::fromStdString(workspace_.ProjectFolder + kSeparator + "var.csv")
                       : csvPath_;
    if (!files_->ChooseFile(this, QStringLiteral("Export CSV"), QString::fromUtf8(kCsvFilter), true,
                            path))
        return;
    csvPath_ = path;
    Status written = WriteFileAtomically(path.toStdString(),
                                         TranslateTableToCsv(rows_, TranslateCsvOptions{}));
    if (!written.ok()) {
        boxes_.Error(this, QString::fromStdString(written.message()));
        return;
    }
    ShowDone(
        QStringLiteral("%1 rows written to %2").arg(rows_.size()).arg(QFileInfo(path).fileName()));
}

} // namespace fabricor
