#include "front/editors/translate_table_dialog.h"

#include "front/editors/grid.h"
#include "front/editors/grid_inplace_edit.h"
#include "support/recording_seams.h"
#include "support/temp_dir.h"

#include <QClipboard>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>

#include <QTest>
#include <functional>
#include <gtest/gtest.h>

namespace fabricor {
namespace {

using test_support::RecordingMessageBoxes;
using test_support::TempDir;
using test_support::WriteFile;

std::string RowXml(const std::string& kind, const std::string& tcp, const std::string& rest = "") {
    return "<row DATA_TYPE=\"" + kind + "\" TCP_ADDRESS=\"" + tcp + "\"" +
           (rest.empty() ? " RTU_ADD_DEV=\"1\" RTU_ADDRESS=\"2\" N_POINT=\"3\" MNEMONIC=\"m\"" : rest) + "/>";
}

class TranslateTableDialog : public ::testing::Test {
protected:
    TranslateTableDialog() : dialog(workspace, boxes), grid(dialog.sga()) {
        workspace.ProjectFolder = project.str();
        workspace.UpdateDocumentPaths();
    }
    void Open() {
        dialog.show();
        QApplication::setActiveWindow(&dialog);
    }
    // Types into a cell as a user does: Enter opens the editor, Enter ends the edit.
    void Type(int col, int row, const QString& text) {
        grid.setFocus();
        grid.SetCurrentCell(col, row);
        QTest::keyClick(&grid, Qt::Key_Return);
        auto* editor = grid.InplaceEditor();
        ASSERT_NE(editor, nullptr);
        editor->selectAll();
        if (text.isEmpty())
            QTest::keyClick(editor, Qt::Key_Delete);
        else
            QTest::keyClicks(editor, text);
        QTest::keyClick(editor, Qt::Key_Return);
    }
    void FillRow(int row, const QString& kind, const QString& tcp) {
        grid.SetCells(1, row, kind);
        grid.SetCells(2, row, tcp);
        grid.SetCells(3, row, "1");
        grid.SetCells(4, row, "2");
        grid.SetCells(5, row, "3");
    }
    void PressOk() { QTest::mouseClick(dialog.findChild<QPushButton*>("bitbtn1"), Qt::LeftButton); }
    std::vector<TranslateRowText> Saved() { return ReadTranslateTable(workspace.VarPath).rows; }

    TempDir project;
    Workspace workspace;
    RecordingMessageBoxes boxes;
    TFSetVar dialog;
    TApplegrid& grid;
};

TEST_F(TranslateTableDialog, GridIsSetUpWithItsColumns) {
    EXPECT_EQ(dialog.windowTitle(), "Set Translate Table");
    EXPECT_EQ(grid.objectName(), "sga");
    EXPECT_EQ(grid.ColCount(), 7);
    EXPECT_EQ(grid.RowCount(), 2); // one empty data row before the first showing
    EXPECT_EQ(grid.SelectedIndex(), 1);
    EXPECT_EQ(grid.DefaultRowHeight(), 20);
    const int widths[] = {64, 101, 72, 111, 79, 64, 64};
    const char* titles[] = {"N°", "Data Type", "Address TCP", "Address Device RTU", "Address RTU",
                            "N° Point", "Mnemonic"};
    for (int c = 0; c < 7; ++c) {
        EXPECT_EQ(grid.ColWidths(c), widths[c]);
        EXPECT_EQ(grid.LookOf(c, 0).text, QString::fromUtf8(titles[c]));
    }
    EXPECT_EQ(grid.Columns()[1].Color(), QColor(0xA6, 0xCA, 0xF0));
    EXPECT_EQ(grid.Columns()[3].Color(), QColor(0xE0, 0xFA, 0xFE));
    EXPECT_EQ(grid.Columns()[4].Color(), QColor(0xE0, 0xFA, 0xFE));
    EXPECT_EQ(grid.Columns()[2].Color(), QColor(0xF8, 0xF7, 0xED));
    EXPECT_EQ(grid.Columns()[1].PickList(),
              (QStringList{"Coil Status", "Input Status", "Holding Register", "Input Register"}));
    Open();
    EXPECT_EQ(dialog.frameGeometry().size(), QSize(618, 549));
}

TEST_F(TranslateTableDialog, ShowingNumbers2000RowsAndLoadsWithoutChecking) {
    WriteFile(workspace.VarPath, "<TABLE>" + RowXml("4", "007") + RowXml("9", "x") +
                                     RowXml("1", "5", " RTU_ADD_DEV=\"a\" RTU_ADDRESS=\"b\" N_POINT=\"c\"") +
                                     RowXml("2", "6") + "</TABLE>");
    grid.SetCells(6, 1500, "left over");
    Open();
    EXPECT_EQ(grid.RowCount(), 2001);
    EXPECT_EQ(grid.Cells(0, 1), "1");
    EXPECT_EQ(grid.Cells(0, 2000), "2000");
    EXPECT_EQ(grid.Cells(6, 1500), "");
    EXPECT_EQ(grid.Cells(1, 1), "Input Register");
    EXPECT_EQ(grid.Cells(2, 1), "007");
    EXPECT_EQ(grid.Cells(6, 1), "m");
    EXPECT_EQ(grid.Cells(1, 2), ""); // DATA_TYPE 9
    EXPECT_EQ(grid.Cells(2, 2), "x");
    // Row 3 lacks MNEMONIC: its first five cells stay, nothing after them is loaded.
    EXPECT_EQ(grid.Cells(1, 3), "Coil Status");
    EXPECT_EQ(grid.Cells(5, 3), "c");
    EXPECT_EQ(grid.Cells(2, 4), "");
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(TranslateTableDialog, ADocumentThatIsNotWellFormedLeavesTheGridEmptySilently) {
    WriteFile(workspace.VarPath, "<TCP_TO_RTU>" + RowXml("1", "1") + "<row");
    Open();
    EXPECT_EQ(grid.Cells(1, 1), "");
    EXPECT_EQ(grid.Cells(0, 1), "1");
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(TranslateTableDialog, ConfirmingWritesTheTypedTableInCanonicalNumbers) {
    Open();
    Type(1, 1, "Holding Register");
    Type(2, 1, "007");
    Type(3, 1, "$FF");
    Type(4, 1, "65535");
    Type(5, 1, "127");
    Type(6, 1, "pump");
    FillRow(3, "Coil Status", "9"); // below the empty Address TCP of row 2: not saved
    PressOk();
    EXPECT_TRUE(boxes.shown.empty()) << boxes.texts().join("|").toStdString();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    auto saved = Saved();
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].cells, (std::vector<std::string>{"3", "7", "255", "65535", "127", "pump"}));
}

TEST_F(TranslateTableDialog, AWrongKindNameAnywhereIsRefusedWithItsLineAndSelected) {
    Open();
    FillRow(1, "Coil Status", "1");
    Type(1, 12, "holding register");
    PressOk();
    EXPECT_EQ(boxes.texts(),
              QStringList{"Error!! Type Data must be Holding Register or Input Register (Line 12). "});
    EXPECT_EQ(boxes.shown[0].kind, RecordingMessageBoxes::Shown::Error);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(std::filesystem::exists(workspace.VarPath));
    EXPECT_EQ(grid.Col(), 1);
    EXPECT_EQ(grid.Row(), 12);
    EXPECT_TRUE(grid.hasFocus());
}

TEST_F(TranslateTableDialog, EachRefusedCellShowsItsMessageAndTakesTheFocus) {
    Open();
    FillRow(1, "Input Status", "1");
    FillRow(2, "", "2");
    PressOk();
    EXPECT_EQ(boxes.texts().last(), "Error!! Data Type must be Holding Register or Input Register. ");
    EXPECT_EQ(grid.Row(), 2);
    EXPECT_EQ(grid.Col(), 1);
    grid.SetCells(1, 2, "Input Register");
    Type(3, 2, "256");
    PressOk();
    EXPECT_EQ(boxes.texts().last(), "Error!! Address Device RTU must be between 0 and 255. ");
    EXPECT_EQ(grid.Col(), 3);
    Type(3, 2, "255");
    Type(5, 2, "128");
    PressOk();
    EXPECT_EQ(boxes.texts().last(), "Error!! N° Point must be between 0 and 127. ");
    EXPECT_EQ(grid.Col(), 5);
    Type(5, 2, "-1");
    PressOk();
    EXPECT_EQ(boxes.texts().last(), "Error!! N° Point must be between 0 and 127. ");
    Type(5, 2, "127");
    PressOk();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(Saved().size(), 2u);
}

TEST_F(TranslateTableDialog, AFullTableKeepsRow2000AndAScrolledCellIsShown) {
    Open();
    grid.BeginUpdate();
    for (int row = 1; row <= 2000; ++row)
        FillRow(row, "Coil Status", QString::number(row));
    grid.EndUpdate();
    grid.SetCells(4, 1999, "70000");
    PressOk();
    EXPECT_EQ(boxes.texts().last(), "Error!! Address RTU must be between 0 and 65535. ");
    EXPECT_EQ(grid.Row(), 1999);
    EXPECT_TRUE(grid.viewport()->rect().intersects(grid.CellRect(4, 1999)));
    grid.SetCells(4, 1999, "2");
    PressOk();
    auto saved = Saved();
    ASSERT_EQ(saved.size(), 2000u);
    EXPECT_EQ(saved.back().cells[1], "2000");
}

TEST_F(TranslateTableDialog, EveryShowingOpensAtTheTopOnRowOnesDataType) {
    WriteFile(workspace.VarPath, "<TCP_TO_RTU>" + RowXml("3", "7") + "</TCP_TO_RTU>");
    Open();
    grid.setFocus();
    QTest::keyClick(&grid, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(grid.Row(), 2000);
    EXPECT_FALSE(grid.viewport()->rect().intersects(grid.CellRect(1, 1)));
    QTest::mouseClick(dialog.findChild<QPushButton*>("bitbtn2"), Qt::LeftButton);
    ASSERT_FALSE(dialog.isVisible());
    Open();
    EXPECT_EQ(grid.Row(), 1);
    EXPECT_EQ(grid.Col(), static_cast<int>(TranslateColumn::DataType));
    EXPECT_TRUE(grid.viewport()->rect().contains(grid.CellRect(1, 1)));
    EXPECT_EQ(grid.Cells(1, 1), "Holding Register");
}

TEST_F(TranslateTableDialog, CommentsAheadOfTheTableAndAmongTheRowsArePassedOver) {
    WriteFile(workspace.VarPath, "<?xml version=\"1.0\"?><!--by hand--><TCP_TO_RTU>" +
                                     RowXml("3", "7") + "<!--c-->" + RowXml("4", "8") +
                                     "<?pi x?>" + RowXml("3", "9") + "</TCP_TO_RTU>");
    Open();
    EXPECT_EQ(grid.Cells(1, 1), "Holding Register");
    EXPECT_EQ(grid.Cells(2, 3), "9");
    EXPECT_TRUE(boxes.shown.empty());
    PressOk();
    ASSERT_EQ(Saved().size(), 3u);
    EXPECT_EQ(Saved()[2].cells[1], "9");
}

TEST_F(TranslateTableDialog, CancelKeepsTheEditsForTheNextHiddenConfirm) {
    // Before any showing the grid holds no rows: an empty table.
    EXPECT_TRUE(dialog.bitbtn1Click());
    EXPECT_EQ(ReadTranslateTable(workspace.VarPath).outcome, ReadOutcome::Read);
    EXPECT_TRUE(Saved().empty());

    WriteFile(workspace.VarPath, "<TCP_TO_RTU>" + RowXml("3", "1") + "</TCP_TO_RTU>");
    Open();
    Type(2, 1, "44");
    QTest::mouseClick(dialog.findChild<QPushButton*>("bitbtn2"), Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(Saved()[0].cells[1], "1");
    EXPECT_EQ(grid.Cells(2, 1), "44");

    // New project: another folder, the same grid.
    TempDir other;
    workspace.ProjectFolder = other.str();
    workspace.UpdateDocumentPaths();
    EXPECT_TRUE(dialog.bitbtn1Click());
    auto saved = Saved();
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].cells, (std::vector<std::string>{"3", "44", "1", "2", "3", "m"}));
}

TEST_F(TranslateTableDialog, AWriteFailureIsReportedAndTheDialogStaysOpen) {
    Open();
    FillRow(1, "Coil Status", "1");
    workspace.ProjectFolder = (project / "gone").string();
    workspace.UpdateDocumentPaths();
    PressOk();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].kind, RecordingMessageBoxes::Shown::Error);
    EXPECT_TRUE(boxes.shown[0].text.contains("var.xml"));
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(TranslateTableDialog, AnOpenEditCountsAsTyped) {
    Open();
    FillRow(1, "Coil Status", "1");
    grid.setFocus();
    grid.SetCurrentCell(6, 1);
    QTest::keyClick(&grid, Qt::Key_Return);
    ASSERT_NE(grid.InplaceEditor(), nullptr);
    QTest::keyClicks(grid.InplaceEditor(), "typed");
    EXPECT_TRUE(dialog.bitbtn1Click());
    EXPECT_EQ(Saved()[0].cells[5], "typed");

    // Left open at Cancel, it stays in the grid too, and the next showing starts afresh.
    Open();
    grid.setFocus();
    grid.SetCurrentCell(6, 1);
    QTest::keyClick(&grid, Qt::Key_Return);
    ASSERT_NE(grid.InplaceEditor(), nullptr);
    grid.InplaceEditor()->selectAll();
    QTest::keyClicks(grid.InplaceEditor(), "cancelled");
    QTest::mouseClick(dialog.findChild<QPushButton*>("bitbtn2"), Qt::LeftButton);
    EXPECT_EQ(grid.Cells(6, 1), "cancelled");
    Open();
    EXPECT_EQ(grid.InplaceEditor(), nullptr);
    EXPECT_EQ(grid.Cells(6, 1), "typed");
}

// ---- editing blocks of cells ----

class TranslateTableEditing : public TranslateTableDialog {
protected:
    void SetUp() override {
        Open();
        grid.setFocus();
    }
    QStringList All() const {
        QStringList cells;
        for (int r = 1; r < grid.RowCount(); ++r)
            for (int c = 1; c < 7; ++c)
                cells << grid.Cells(c, r);
        return cells;
    }
    void Key(int key, Qt::KeyboardModifiers mods = Qt::ControlModifier) {
        QTest::keyClick(&grid, Qt::Key(key), mods);
    }
    void PasteAt(int col, int row, const QString& text) {
        grid.SetCurrentCell(col, row);
        QGuiApplication::clipboard()->setText(text);
        Key(Qt::Key_V);
    }
};

TEST_F(TranslateTableEditing, BlocksAreSelectedByMouseAndKeyboard) {
    grid.SetCurrentCell(2, 3);
    Key(Qt::Key_Down, Qt::ShiftModifier);
    Key(Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(grid.SelectedBlock(), QRect(QPoint(2, 3), QPoint(3, 4)));
    auto* numbers = grid.verticalHeader();
    const auto rowAt = [&](int row) {
        return QPoint(5, numbers->sectionViewportPosition(row - 1) +
                             numbers->sectionSize(row - 1) / 2);
    };
    QTest::mouseClick(numbers->viewport(), Qt::LeftButton, {}, rowAt(5));
    EXPECT_EQ(grid.SelectedBlock(), QRect(QPoint(1, 5), QPoint(6, 5)));
    QTest::mouseClick(numbers->viewport(), Qt::LeftButton, Qt::ShiftModifier, rowAt(7));
    EXPECT_EQ(grid.SelectedBlock(), QRect(QPoint(1, 5), QPoint(6, 7)));
    const QRect b = grid.CellRect(2, 2), e = grid.CellRect(4, 6);
    QTest::mousePress(grid.viewport(), Qt::LeftButton, {}, b.center());
    QMouseEvent move(QEvent::MouseMove, e.center(), grid.viewport()->mapToGlobal(e.center()),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(grid.viewport(), &move);
    QTest::mouseRelease(grid.viewport(), Qt::LeftButton, {}, e.center());
    EXPECT_EQ(grid.SelectedBlock(), QRect(QPoint(2, 2), QPoint(4, 6)));
    Key(Qt::Key_A);
    EXPECT_EQ(grid.SelectedBlock(), QRect(QPoint(1, 1), QPoint(6, 2000)));
}

TEST_F(TranslateTableEditing, PastesBlocksFromSpreadsheets) {
    PasteAt(1, 1, " input register\t7\t1\t2\t3\t\"a\tb\"\r\nCOIL STATUS\t8\t1\t2\t3\tc\r\n");
    EXPECT_EQ(grid.Cells(1, 1), "Input Register");
    EXPECT_EQ(grid.Cells(6, 1), "a\tb");
    EXPECT_EQ(grid.Cells(1, 2), "Coil Status");
    EXPECT_EQ(grid.Cells(1, 3), ""); // the trailing line break adds no row
    EXPECT_TRUE(boxes.shown.empty());
    PressOk();
    EXPECT_EQ(Saved().size(), 2u);

    Open(); // over the edge: the rest is dropped, and the user is told
    PasteAt(5, 1999, "1\t2\t3\r\n4\t5\t6\r\n7\t8\t9\r\n");
    EXPECT_EQ(grid.Cells(6, 2000), "5");
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_TRUE(boxes.shown[0].text.contains("2 of 3 rows"));

    grid.SelectBlock(2, 10, 3, 12); // one value fills a selected block
    QGuiApplication::clipboard()->setText("9\r\n");
    Key(Qt::Key_V);
    EXPECT_EQ(grid.Cells(3, 12) + grid.Cells(2, 10) + grid.Cells(4, 12), "99");

    grid.SelectBlock(1, 1, 2, 2); // and back out as the same text
    Key(Qt::Key_C);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "Input Register\t7\r\nCoil Status\t8\r\n");
}

TEST_F(TranslateTableEditing, EveryKindOfChangeIsUndoneAndRedoneAsOneStep) {
    FillRow(1, "Coil Status", "1");
    FillRow(2, "Coil Status", "2");
    const std::vector<std::pair<const char*, std::function<void()>>> changes = {
        {"typed", [&] { Type(2, 3, "5"); }},
        {"pick",
         [&] {
             grid.SetCurrentCell(1, 3);
             Key(Qt::Key_Return, Qt::NoModifier);
             QTest::keyClick(grid.InplaceEditor(), Qt::Key_Down, Qt::AltModifier);
             QTest::keyClick(grid.InplaceEditor(), Qt::Key_Down);
             QTest::keyClick(grid.InplaceEditor(), Qt::Key_Return);
             QTest::keyClick(grid.InplaceEditor(), Qt::Key_Return);
         }},
        {"paste", [&] { PasteAt(2, 1, "7\t8\r\n9\t10\r\n"); }},
        {"cut",
         [&] {
             grid.SelectBlock(2, 1, 3, 2);
             Key(Qt::Key_X);
         }},
        {"clear",
         [&] {
             grid.SelectBlock(1, 2, 6, 2);
             Key(Qt::Key_Delete, Qt::NoModifier);
         }},
        {"fill",
         [&] {
             grid.SelectBlock(1, 1, 6, 4);
             Key(Qt::Key_D);
         }},
        {"fill right",
         [&] {
             grid.SelectBlock(2, 1, 5, 1);
             Key(Qt::Key_R);
         }},
        {"insert",
         [&] {
             grid.SetCurrentCell(1, 1);
             Key(Qt::Key_Plus);
         }},
        {"delete",
         [&] {
             grid.SelectBlock(1, 1, 1, 2);
             Key(Qt::Key_Minus);
         }},
    };
    for (const auto& [name, change] : changes) {
        const QStringList before = All();
        change();
        const QStringList after = All();
        ASSERT_NE(after, before) << name;
        Key(Qt::Key_Z);
        EXPECT_EQ(All(), before) << name;
        Key(Qt::Key_Y);
        EXPECT_EQ(All(), after) << name;
        Key(Qt::Key_Z);
        Key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_EQ(All(), after) << name;
    }
    dialog.reject(); // Cancel writes nothing
    EXPECT_TRUE(Saved().empty());
}

TEST_F(TranslateTableEditing, RowsAreInsertedAndDeletedAtTheEdges) {
    FillRow(1, "Coil Status", "1");
    FillRow(1999, "Coil Status", "1999");
    grid.SetCurrentCell(1, 1);
    Key(Qt::Key_Equal, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(grid.Cells(2, 1), "");
    EXPECT_EQ(grid.Cells(2, 2), "1");
    EXPECT_EQ(grid.Cells(2, 2000), "1999");
    EXPECT_EQ(grid.Cells(0, 2000), "2000"); // row numbers stay
    const QStringList full = All();
    grid.SetCurrentCell(3, 5);
    Key(Qt::Key_Plus); // row 2000 holds data: refused, saying so
    EXPECT_EQ(All(), full);
    EXPECT_EQ(boxes.shown.size(), 1u);

    grid.SelectBlock(1, 2000, 6, 2000);
    Key(Qt::Key_Minus);
    EXPECT_EQ(grid.Cells(2, 2000), "");
    FillRow(1001, "Coil Status", "x");
    grid.SelectBlock(2, 1, 2, 1000); // 1000 rows at row 1
    Key(Qt::Key_Minus);
    EXPECT_EQ(grid.Cells(2, 1), "x");
    EXPECT_EQ(grid.Cells(2, 2), "");
}

TEST_F(TranslateTableEditing, TheRowNumbersMenuInsertsAndDeletes) {
    FillRow(1, "Coil Status", "1");
    FillRow(2, "Coil Status", "2");
    auto* numbers = grid.verticalHeader();
    const auto choose = [&](int row, int item) {
        QTimer::singleShot(0, [item] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr);
            for (int i = 0; i <= item; ++i)
                QTest::keyClick(menu, Qt::Key_Down);
            QTest::keyClick(menu, Qt::Key_Return);
        });
        emit numbers->customContextMenuRequested(
            QPoint(5, numbers->sectionViewportPosition(row - 1) + 2));
    };
    choose(2, 0); // insert above row 2
    EXPECT_EQ(grid.Cells(2, 2), "");
    EXPECT_EQ(grid.Cells(2, 3), "2");
    grid.SelectBlock(1, 1, 6, 2);
    choose(1, 1); // delete the selected rows 1 and 2
    EXPECT_EQ(grid.Cells(2, 1), "2");
}

TEST_F(TranslateTableEditing, FillDownCountsOnOverConsecutiveBlocks) {
    FillRow(1, "Holding Register", "100"); // N° Point 3, Address RTU 2
    grid.SelectBlock(1, 1, 6, 3);
    Key(Qt::Key_D);
    EXPECT_EQ(grid.Cells(2, 3), "106");
    EXPECT_EQ(grid.Cells(4, 3), "8");
    EXPECT_EQ(grid.Cells(1, 3), "Holding Register");
    PressOk();
    EXPECT_EQ(Saved().size(), 3u);
}

TEST_F(TranslateTableEditing, CtrlTabLeavesTheGridAndComesBack) {
    grid.SetCurrentCell(1, 2000);
    Key(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), dialog.findChild<QPushButton*>("bitbtn1"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), &grid);
    Key(Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_NE(QApplication::focusWidget(), &grid);
}
TEST_F(TranslateTableEditing, FindWrapsAndGoToReachesRows) {
    FillRow(3, "Holding Register", "100");
    FillRow(1500, "Coil Status", "100");
    grid.SetCurrentCell(1, 1);
    Key(Qt::Key_F);
    auto* finder = dialog.findChild<QLineEdit*>("E_Find");
    ASSERT_TRUE(finder && finder->hasFocus());
    QTest::keyClicks(finder, "0x64");
    QTest::keyClick(finder, Qt::Key_Return);
    EXPECT_EQ(grid.Row(), 3);
    EXPECT_EQ(grid.Col(), 2);
    QTest::keyClick(finder, Qt::Key_Return);
    EXPECT_EQ(grid.Row(), 1500);
    QTest::keyClick(finder, Qt::Key_Escape); // closes the box, not the dialog
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(grid.hasFocus());
    Key(Qt::Key_F3, Qt::NoModifier);
    EXPECT_EQ(grid.Row(), 3); // wrapped

    Key(Qt::Key_G);
    QTest::keyClicks(finder, "coil status 100");
    QTest::keyClick(finder, Qt::Key_Return);
    EXPECT_EQ(grid.Row(), 1500);
    Key(Qt::Key_G);
    QTest::keyClicks(finder, "1999");
    QTest::keyClick(finder, Qt::Key_Return);
    EXPECT_EQ(grid.Row(), 1999);
    EXPECT_TRUE(boxes.shown.empty());
}

} // namespace
} // namespace fabricor
