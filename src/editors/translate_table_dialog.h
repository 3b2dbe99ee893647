#pragma once

#include "app/seams.h"
#include "app/workspace.h"
#include "documents/var.h"
#include "editors/translate_rules.h"

#include <QDialog>

#include <vector>

class QPushButton;

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

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    std::vector<TranslateRowCells> GridRows() const;
    bool CollectFrom(const std::vector<TranslateRowCells>& cells);
    void Refuse(const TranslateCellProblem& problem);

    Workspace& workspace_;
    MessageBoxes& boxes_;
    TApplegrid* sga_ = nullptr;
    QPushButton* bitbtn1_ = nullptr;
    QPushButton* bitbtn2_ = nullptr;
    std::vector<TMyRec> rows_;
    bool sized_ = false;
};

} // namespace fabricor
