#include "front/editors/translate_table_dialog.h"

#include "front/editors/grid.h"
#include "rules/translate_csv.h"
#include "support/recording_seams.h"
#include "support/temp_dir.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace fabricor {
namespace {

using test_support::ReadFile;
using test_support::TempDir;
using test_support::WriteFile;

const std::string kHeader =
    "Data Type,Address TCP,Address Device RTU,Address RTU,N° Point,Mnemonic\r\n";

class TranslateTableCsv : public ::testing::Test {
protected:
    TranslateTableCsv() : dialog(workspace, seams.boxes), grid(dialog.sga()) {
        workspace.ProjectFolder = project.str();
        workspace.UpdateDocumentPaths();
        WriteFile(workspace.VarPath,
                  "<TCP_TO_RTU><row DATA_TYPE=\"3\" TCP_ADDRESS=\"1\" RTU_ADD_DEV=\"2\" "
                  "RTU_ADDRESS=\"3\" N_POINT=\"4\" MNEMONIC=\"old\"/></TCP_TO_RTU>");
        dialog.SetCsvServices(&seams.files, &seams.dialogs);
        dialog.show();
    }
    QPushButton* Button(const char* name) { return dialog.findChild<QPushButton*>(name); }
    void Click(const char* name) { QTest::mouseClick(Button(name), Qt::LeftButton); }
    QStringList Row(int row) {
        QStringList cells;
        for (int c = 1; c < 7; ++c)
            cells << grid.Cells(c, row);
        return cells;
    }

    TempDir project;
    Workspace workspace;
    test_support::RecordingServices seams;
    TFSetVar dialog;
    TApplegrid& grid;
};

TEST_F(TranslateTableCsv, ImportFillsTheGridOrListsEveryProblemAndKeepsIt) {
    // Right of Cancel; OK and Cancel first.
    EXPECT_LT(Button("bitbtn1")->x(), Button("bitbtn2")->x());
    EXPECT_LT(Button("bitbtn2")->x(), Button("btn_ImportCsv")->x());
    EXPECT_LT(Button("btn_ImportCsv")->x(), Button("btn_ExportCsv")->x());
    EXPECT_EQ(Button("btn_ImportCsv")->text(), "Import CSV…");
    EXPECT_EQ(Button("btn_ExportCsv")->text(), "Export CSV…");

    const std::string saved = ReadFile(workspace.VarPath);
    WriteFile(project / "good.csv", kHeader + "Input Register,007,1,2,3,\"a,b\"\r\n2,9,1,2,3,\r\n");
    seams.files.answers = {QString::fromStdString((project / "good.csv").string())};
    seams.boxes.answer = true; // replacing the row read from var.xml
    Click("btn_ImportCsv");
    EXPECT_EQ(Row(1), QStringList({"Input Register", "7", "1", "2", "3", "a,b"}));
    EXPECT_EQ(Row(2), QStringList({"Input Status", "9", "1", "2", "3", ""}));
    EXPECT_EQ(Row(3), QStringList({"", "", "", "", "", ""}));
    EXPECT_EQ(ReadFile(workspace.VarPath), saved); // only OK saves

    WriteFile(project / "bad.csv",
              kHeader + "Input Register,1,300,2,3,\r\nInput Register,1,1,2,300,\r\n");
    QStringList listed;
    seams.dialogs.scripts["TFCsvProblems"] = [&](QDialog& list) {
        auto* lines = list.findChild<QListWidget*>("problems");
        for (int i = 0; lines && i < lines->count(); ++i)
            listed << lines->item(i)->text();
    };
    seams.files.answers = {QString::fromStdString((project / "bad.csv").string())};
    Click("btn_ImportCsv");
    EXPECT_EQ(
        listed,
        QStringList(
            {"line 2 Address Device RTU: Error!! Address Device RTU must be between 0 and 255. ",
             "line 3 N° Point: Error!! N° Point must be between 0 and 127. "}));
    EXPECT_EQ(Row(1), QStringList({"Input Register", "7", "1", "2", "3", "a,b"}));
    EXPECT_EQ(seams.files.asked, std::vector<bool>({false, false}));
}

TEST_F(TranslateTableCsv, ImportAsksBeforeReplacingRowsAndIsOneUndoStep) {
    const QStringList old = Row(1);
    WriteFile(project / "two.csv", kHeader + "Coil Status,5,1,2,3,\r\nCoil Status,8,1,2,3,\r\n");
    seams.files.answers = {QString::fromStdString((project / "two.csv").string())};
    Click("btn_ImportCsv"); // answered "No"
    EXPECT_EQ(Row(1), old);
    ASSERT_EQ(seams.boxes.shown.size(), 1u);
    EXPECT_EQ(seams.boxes.shown[0].kind, test_support::RecordingMessageBoxes::Shown::Question);

    seams.boxes.answer = true;
    seams.files.answers = {QString::fromStdString((project / "two.csv").string())};
    Click("btn_ImportCsv");
    EXPECT_EQ(grid.Cells(2, 2), "8");
    auto* summary = dialog.findChild<QLabel*>("L_TableSummary");
    EXPECT_TRUE(summary->text().startsWith("2 rows")) << summary->text().toStdString();
    grid.setFocus();
    QTest::keyClick(&grid, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Row(1), old);
    EXPECT_EQ(grid.Cells(2, 2), "");

    dialog.resize(dialog.width() + 100, dialog.height()); // Mnemonic takes the extra width
    QCoreApplication::processEvents();
    const int mnemonic = grid.ColWidths(6);
    EXPECT_GE(mnemonic, 64 + 100);
    EXPECT_EQ(grid.ColWidths(5), 64);
    const QSize size = dialog.size();
    dialog.hide();
    dialog.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(dialog.size(), size);
    EXPECT_EQ(grid.ColWidths(6), mnemonic);
}

TEST_F(TranslateTableCsv, ExportWritesTheGridAfterTheChecksOfOk) {
    grid.SetCells(6, 1, "new; \"quoted\"");
    const auto file = project / "out.csv";
    seams.files.answers = {QString::fromStdString(file.string())};
    Click("btn_ExportCsv");
    EXPECT_EQ(ReadFile(file), kHeader + "Holding Register,1,2,3,4,\"new; \"\"quoted\"\"\"\r\n");
    EXPECT_EQ(seams.files.asked, std::vector<bool>({true}));

    grid.SetCells(5, 1, "128");
    Click("btn_ExportCsv");
    EXPECT_EQ(seams.boxes.texts(), QStringList({"Error!! N° Point must be between 0 and 127. "}));
    EXPECT_EQ(seams.files.asked.size(), 1u); // refused before a file is chosen
    EXPECT_EQ(ReadFile(file), kHeader + "Holding Register,1,2,3,4,\"new; \"\"quoted\"\"\"\r\n");
}

// The dialog's paths reach the core as UTF-8, whatever the system's 8-bit code page.
TEST_F(TranslateTableCsv, ExportAndImportFindAFileWhoseNameIsOutsideAscii) {
    const std::filesystem::path file =
        project.path() / std::filesystem::path(u8"Pumpstation S\u00fcd.csv");
    const auto utf8 = file.u8string();
    const QString name = QString::fromUtf8(reinterpret_cast<const char*>(utf8.data()),
                                           static_cast<qsizetype>(utf8.size()));
    seams.files.answers = {name};
    Click("btn_ExportCsv");
    ASSERT_TRUE(std::filesystem::exists(file)) << name.toStdString();

    grid.SetCells(6, 1, "changed");
    seams.files.answers = {name};
    seams.boxes.answer = true;
    Click("btn_ImportCsv");
    EXPECT_EQ(Row(1), QStringList({"Holding Register", "1", "2", "3", "4", "old"}));
}

TEST_F(TranslateTableCsv, RowsWithAWarningAreMarkedAndTheSummaryFollowsEdits) {
    auto* summary = dialog.findChild<QLabel*>("L_TableSummary");
    ASSERT_NE(summary, nullptr);
    QCoreApplication::processEvents();
    EXPECT_EQ(summary->text(), "1 of 2000 rows");
    EXPECT_EQ(grid.RowMark(1), "");

    for (int c = 1; c < 7; ++c)
        grid.SetCells(c, 2, grid.Cells(c, 1));
    grid.SetCells(2, 2, "3"); // TCP 3 to 6 against 1 to 4
    grid.SetCells(4, 2, "50");
    QCoreApplication::processEvents();
    EXPECT_EQ(summary->text(), "2 of 2000 rows · 1 overlap");
    const QString overlap = "rows 1 and 2: Holding Register TCP addresses 3 to 4 overlap";
    EXPECT_EQ(grid.RowMark(1), overlap);
    EXPECT_EQ(grid.RowMark(2), overlap);
    EXPECT_EQ(grid.model()->headerData(1, Qt::Vertical, Qt::ToolTipRole).toString(), overlap);
    EXPECT_EQ(grid.LookOf(0, 2).background, TApplegrid::MarkColor());
    EXPECT_NE(grid.LookOf(0, 3).background, TApplegrid::MarkColor());

    grid.SetCells(2, 2, "5");
    QCoreApplication::processEvents();
    EXPECT_EQ(summary->text(), "2 of 2000 rows");
    EXPECT_EQ(grid.RowMark(2), "");

    // At the dialog's starting size a summary wider than its place goes on in a second line.
    for (int c = 1; c < 7; ++c)
        grid.SetCells(c, 3, grid.Cells(c, 1));
    grid.SetCells(5, 2, "0");
    QCoreApplication::processEvents();
    ASSERT_GT(summary->fontMetrics().horizontalAdvance(summary->text()), summary->width());
    const QImage shot = summary->grab().toImage();
    int ink = 0;
    for (int y = shot.height() / 2 + 1; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            ink += shot.pixelColor(x, y).lightness() < 128;
    EXPECT_GT(ink, 20);
}

} // namespace
} // namespace fabricor
