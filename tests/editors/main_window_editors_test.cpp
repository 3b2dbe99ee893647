#include "documents/pargen.h"
#include "documents/var.h"
#include "front/editors/general_parameter_dialog.h"
#include "front/editors/grid.h"
#include "front/editors/translate_table_dialog.h"
#include "front/project/new_project_dialog.h"
#include "front/shell/main_window.h"

#include "support/recording_seams.h"
#include "support/temp_dir.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <gtest/gtest.h>

namespace fabricor {
namespace {

using test_support::RecordingServices;
using test_support::TempDir;
namespace fs = std::filesystem;

// The editors as the main window opens them; the application folder is a fresh temporary one,
// so the documents live directly in its PROJECTS folder.
class MainWindowEditors : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<TFFabricoreFirmWare>(
            QString::fromStdString(app.str() + "/fabricor"), doubles.services());
    }
    void Script(const char* dialog, std::function<void(QDialog&)> script) {
        doubles.dialogs.scripts[dialog] = std::move(script);
    }
    void Click(const char* button) { window->findChild<QPushButton*>(button)->click(); }
    const Workspace& Ws() { return window->workspace(); }

    TempDir app;
    RecordingServices doubles;
    std::unique_ptr<TFFabricoreFirmWare> window;
};

TEST_F(MainWindowEditors, GeneralParameterSetsThePingBoxAlwaysAndTranslateTableOnSave) {
    Script("TFpargen", [](QDialog& dialog) {
        dialog.findChild<QLineEdit*>("E_IP1")->setText("192");
        dialog.findChild<QLineEdit*>("E_IP4")->setText("999");
        dialog.findChild<QPushButton*>("BitBtn1")->click();
        EXPECT_TRUE(dialog.isVisible());
    });
    Click("btn_Prm_Gen");
    EXPECT_EQ(doubles.dialogs.shown, QStringList{"TFpargen"});
    EXPECT_EQ(doubles.boxes.texts(), QStringList{"Error!! IP must be between 0 and 255. "});
    EXPECT_EQ(window->PingAddress(), "192.0.0.999");
    EXPECT_FALSE(fs::exists(Ws().PargenPath));
    EXPECT_TRUE(window->findChild<QPushButton*>("btn_Translate")->isEnabled());

    Script("TFpargen", [](QDialog& dialog) {
        dialog.findChild<QLineEdit*>("E_IP1")->setText("10");
        dialog.findChild<QRadioButton*>("RG_Mode_Routing")->setChecked(true);
        dialog.findChild<QPushButton*>("BitBtn1")->click();
        EXPECT_FALSE(dialog.isVisible());
    });
    Click("btn_Prm_Gen");
    EXPECT_EQ(window->PingAddress(), "10.0.0.0");
    EXPECT_EQ(ReadGeneralParameters(Ws().PargenPath)[GeneralParameter::MODE], "0");
    EXPECT_FALSE(window->findChild<QPushButton*>("btn_Translate")->isEnabled());
}

TEST_F(MainWindowEditors, AnUnparsableGeneralParameterDocumentIsShownThenTheDialogOpens) {
    test_support::WriteFile(Ws().PargenPath, "<General_Parameter>");
    QString shownIp;
    Script("TFpargen", [&](QDialog& dialog) {
        EXPECT_EQ(doubles.boxes.shown.size(), 1u); // before the user sees the dialog
        shownIp = dialog.findChild<QLineEdit*>("E_IP1")->text();
    });
    Click("btn_Prm_Gen");
    EXPECT_EQ(doubles.dialogs.shown, QStringList{"TFpargen"});
    ASSERT_EQ(doubles.boxes.shown.size(), 1u);
    EXPECT_EQ(doubles.boxes.shown[0].kind, test_support::RecordingMessageBoxes::Shown::Error);
    EXPECT_EQ(shownIp, "0");
}

TEST_F(MainWindowEditors, TranslateTableEditsAndSavesTheTable) {
    Script("TFSetVar", [](QDialog& dialog) {
        auto& grid = static_cast<TFSetVar&>(dialog).sga();
        EXPECT_EQ(grid.RowCount(), 2001);
        const QStringList row{"Input Register", "100", "17", "3000", "2", "flow"};
        for (int c = 0; c < row.size(); ++c)
            grid.SetCells(c + 1, 1, row[c]);
        dialog.findChild<QPushButton*>("bitbtn1")->click();
    });
    Click("btn_Translate");
    EXPECT_EQ(doubles.dialogs.shown, QStringList{"TFSetVar"});
    auto table = ReadTranslateTable(Ws().VarPath);
    ASSERT_EQ(table.rows.size(), 1u);
    EXPECT_EQ(table.rows[0].cells, (std::vector<std::string>{"4", "100", "17", "3000", "2", "flow"}));
}

TEST_F(MainWindowEditors, NewProjectWritesTheRowsLastEditedEvenWhenCancelled) {
    Script("TFSetVar", [](QDialog& dialog) {
        auto& grid = static_cast<TFSetVar&>(dialog).sga();
        const QStringList row{"Coil Status", "007", "1", "2", "3", "kept"};
        for (int c = 0; c < row.size(); ++c)
            grid.SetCells(c + 1, 1, row[c]);
        dialog.findChild<QPushButton*>("bitbtn2")->click();
    });
    Click("btn_Translate");
    EXPECT_FALSE(fs::exists(Ws().VarPath));
    window->SetTranslateEnabled(false);
    Script("TFsaveproj", [](QDialog& dialog) {
        auto& save = static_cast<TFsaveproj&>(dialog);
        save.Edit1->setText("pump");
        save.bitbtn1->click();
    });
    Click("New");
    EXPECT_TRUE(doubles.boxes.shown.empty());
    auto table = ReadTranslateTable((app / "PROJECTS" / "pump" / "var.xml").string());
    ASSERT_EQ(table.rows.size(), 1u);
    EXPECT_EQ(table.rows[0].cells, (std::vector<std::string>{"1", "7", "1", "2", "3", "kept"}));
    auto pargen = ReadGeneralParameters((app / "PROJECTS" / "pump" / "pargen.xml").string());
    EXPECT_EQ(pargen[GeneralParameter::OFFSET], "10000");
    EXPECT_TRUE(window->findChild<QPushButton*>("btn_Translate")->isEnabled());
    EXPECT_EQ(window->PingAddress(), "0.0.0.0");
}

TEST_F(MainWindowEditors, NewProjectWithRefusedRowsIsMadeWithoutItsTable) {
    Script("TFSetVar", [](QDialog& dialog) {
        auto& grid = static_cast<TFSetVar&>(dialog).sga();
        grid.SetCells(1, 1, "Coil Status");
        grid.SetCells(2, 1, "70000");
        dialog.findChild<QPushButton*>("bitbtn2")->click();
    });
    Click("btn_Translate");
    Script("TFsaveproj", [](QDialog& dialog) {
        auto& save = static_cast<TFsaveproj&>(dialog);
        save.Edit1->setText("pump");
        save.bitbtn1->click();
        EXPECT_FALSE(dialog.isVisible());
    });
    Click("New");
    EXPECT_EQ(doubles.boxes.texts(), QStringList{"Error!! Address TCP must be between 0 and 65535. "});
    EXPECT_TRUE(fs::exists(app / "PROJECTS" / "pump" / "pargen.xml"));
    EXPECT_FALSE(fs::exists(app / "PROJECTS" / "pump" / "var.xml"));
}

} // namespace
} // namespace fabricor
