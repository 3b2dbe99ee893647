#include "base/settings_file.h"
#include "documents/var.h"
#include "front/editors/grid.h"
#include "front/editors/translate_table_dialog.h"
#include "front/project/new_project_dialog.h"
#include "front/shell/main_window.h"
#include "sample/sample_firmware.h"

#include "support/recording_seams.h"
#include "support/temp_dir.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

namespace fabricor {
namespace {

using test_support::ReadFile;
using test_support::RecordingServices;
using test_support::TempDir;
namespace fs = std::filesystem;

// Paths are joined with the system's separator ("\\" on Windows).
const std::string S(1, kSeparator);

// The four steps of the main window, one after the other, in a fresh application folder, and the
// project found again at the next start.
TEST(Workflow, NewProjectParametersTableDevicePingAndUpdate) {
    TempDir app;
    // Update Device makes MASTER the current folder; the suite's own is restored at the end.
    struct RestoreCurrent {
        QString folder = QDir::currentPath();
        ~RestoreCurrent() { QDir::setCurrent(folder); }
    } restore;
    const QString exe = QString::fromStdString(app.str() + S + "fabricor");
    RecordingServices doubles;
    auto window = std::make_unique<TFFabricoreFirmWare>(exe, doubles.services());
    // Start-up made MASTER; the base firmware and the flash tool are put beside the program.
    test_support::WriteFile(app / "MASTER" / "SX30418.sx", sample::SampleFirmwareText());
    test_support::WriteFile(app / "Progwerk.exe", "recorded, never run");
    auto click = [&](const char* name) { window->findChild<QPushButton*>(name)->click(); };

    // Step 1
    doubles.dialogs.scripts["TFsaveproj"] = [](QDialog& dialog) {
        auto& save = static_cast<TFsaveproj&>(dialog);
        save.Edit1->setText("pump");
        save.bitbtn1->click();
    };
    click("New");
    const fs::path project = app / "PROJECTS" / "pump";
    ASSERT_TRUE(fs::exists(project / "pargen.xml"));

    // Step 2: the device's address, then a ping to it (answered by the test, never sent).
    doubles.dialogs.scripts["TFpargen"] = [](QDialog& dialog) {
        for (auto [box, text] : {std::pair{"E_IP1", "192"}, {"E_IP2", "168"}, {"E_IP3", "1"},
                                 {"E_IP4", "50"}})
            dialog.findChild<QLineEdit*>(box)->setText(text);
        dialog.findChild<QPushButton*>("BitBtn1")->click();
    };
    click("btn_Prm_Gen");
    EXPECT_EQ(window->PingAddress(), "192.168.1.50");
    click("Btn_Ping");
    EXPECT_EQ(doubles.echo.hosts, std::vector<std::string>{"192.168.1.50"});
    EXPECT_EQ(window->PingState, kPingFound);

    // Step 3
    doubles.dialogs.scripts["TFSetVar"] = [](QDialog& dialog) {
        auto& grid = static_cast<TFSetVar&>(dialog).sga();
        const QStringList row{"Holding Register", "40001", "5", "100", "10", "level"};
        for (int c = 0; c < row.size(); ++c)
            grid.SetCells(c + 1, 1, row[c]);
        dialog.findChild<QPushButton*>("bitbtn1")->click();
    };
    click("btn_Translate");
    ASSERT_EQ(ReadTranslateTable((project / "var.xml").string()).rows.size(), 1u);

    // Step 4, on COM2
    doubles.dialogs.scripts["TFModifyFileSx"] = [](QDialog& dialog) {
        dialog.findChild<QComboBox*>("cbport")->setCurrentIndex(1);
        dialog.findChild<QPushButton*>("LbButton2")->click();
    };
    click("CreateBin");
    EXPECT_TRUE(doubles.boxes.shown.empty()) << doubles.boxes.texts().join("|").toStdString();
    EXPECT_EQ(doubles.dialogs.shown,
              (QStringList{"TFsaveproj", "TFpargen", "TFPing", "TFSetVar", "TFModifyFileSx"}));
    EXPECT_EQ(ReadFile(project / "bin" / "bank1.bin").size(), 16384u);
    EXPECT_TRUE(fs::exists(project / "bin" / "bankg.c"));
    EXPECT_TRUE(fs::exists(project / "New_SX30418.sx"));
    ASSERT_EQ(doubles.shell.started.size(), 1u);
    EXPECT_EQ(doubles.shell.started[0].program.toStdString(), app.str() + S + "Progwerk.exe");
    EXPECT_TRUE(doubles.shell.started[0].argument.endsWith("\xB6" "1"));

    // The project is remembered bare and comes back with its separator.
    window->close();
    window.reset();
    EXPECT_EQ(ReadIniValue(app / "Fabricor.ini", "lastproj", "projectname"), "pump");
    window = std::make_unique<TFFabricoreFirmWare>(exe, doubles.services());
    EXPECT_EQ(window->workspace().ProjectName, S + "pump");
    EXPECT_EQ(window->windowTitle().toStdString(),
              std::string(ProductCaption) + " : " + S + "pump");
}

} // namespace
} // namespace fabricor
