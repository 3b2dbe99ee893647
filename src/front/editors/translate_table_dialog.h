#pragma once

#include "documents/var.h"
#include "front/seams/seams.h"
#include "rules/translate_analysis.h"
#include "rules/translate_rules.h"
#include "workspace/workspace.h"

#include <QDialog>

#include <vector>

class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace fabricor {

class TApplegrid;

// "Set Translate Table": the translate table of the current project in a grid of 2000 rows.
// Created once and reused: the grid keeps what it holds, Cancel included, until the next
// showing empties and reloads it.
class TFSetVar : public QDialog {
    Q_OBJECT
public:
    TFSetVar(Workspace& workspace, MessageBoxes& boxes, QWidget* parent = nullptr);

    // The show step: empties the grid, numbers the rows and loads var.xml without checking it.
    void FormShow();
    // The confirm operation of "OK", also run while the dialog is hidden (New project): checks
    // every row's kind, collects the table and writes var.xml. True when it was written.
    bool bitbtn1Click();
    // Rebuilds the collected rows from the grid; false after showing the first failing cell.
    bool CollectTranslateRows();

    const std::vector<TMyRec>& CollectedRows() const { return rows_; }
    TApplegrid& sga() { return *sga_; }

    static constexpr int kDataRows = 2000;

    // The file dialogs of "Import CSV…" and "Export CSV…", and the runner that shows the list
    // of an import's problems. Without a file chooser both buttons do nothing.
    void SetCsvServices(FileChooser* files, DialogRunner* dialogs);
    // Where OK writes var.xml: the system's files unless given another.
    void SetFileOutput(FileOutput& output) { output_ = &output; }
    // "Import CSV…": a chosen CSV file fills the grid when every row passes the checks (saved
    // only by OK); otherwise every problem is listed and the grid stays as it was.
    void ImportCsvClick();
    // "Export CSV…": the grid's rows, after the checks of OK, into a chosen CSV file.
    void ExportCsvClick();
    // Runs the table analysis over the grid now: row marks and the summary line. Edits run it
    // on their own, once the event loop is back.
    void UpdateTableAnalysis();
    const TranslateTableAnalysis& TableAnalysis() const { return analysis_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    std::vector<TranslateRowCells> GridRows() const;
    bool CollectFrom(const std::vector<TranslateRowCells>& cells);
    void Refuse(const TranslateCellProblem& problem);

    Workspace& workspace_;
    MessageBoxes& boxes_;
    FileOutput* output_ = &SystemFileOutput();
    TApplegrid* sga_ = nullptr;
    QPushButton* bitbtn1_ = nullptr;
    QPushButton* bitbtn2_ = nullptr;
    std::vector<TMyRec> rows_;
    bool sized_ = false;
    QSize lastSize_;
    int laidOutWidth_ = 0;

    void AddCsvControls(QHBoxLayout* buttons);
    void ShowDone(const QString& line);
    void AddFindControls();
    void OpenFinder(bool goTo);
    void FindNext();
    void GoTo();
    QLineEdit* finder_ = nullptr;
    bool goTo_ = false;
    void ShowCsvProblems(const QString& path, const std::vector<std::string>& problems);
    FileChooser* files_ = nullptr;
    DialogRunner* dialogs_ = nullptr;
    QPushButton* importCsv_ = nullptr;
    QPushButton* exportCsv_ = nullptr;
    QLabel* summary_ = nullptr;
    QTimer* analysisTimer_ = nullptr;
    QString csvPath_;
    TranslateTableAnalysis analysis_;
};

} // namespace fabricor
