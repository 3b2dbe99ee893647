// The program's road on Windows, driven as a user would: New project "Pumpstation Süd",
// General Parameter OK, Update Device on COM8. The flash tool is the real Progwerk.exe, started
// through the system's shell, and sends to the COM8 line that scripts/test-windows.sh maps under
// Wine; what arrives there must be the golden firmware. The executable's path is given with "/",
// as Qt gives it.
#include "front/shell/main_window.h"
#include "front/seams/seams.h"
#include "front/project/new_project_dialog.h"

#include "support/golden.h"
#include "support/recording_seams.h"
#include "support/temp_dir.h"
#include "support/windows_flash_tool.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

namespace fabricor {
namespace {

using namespace fabricor::test_support;
namespace fs = std::filesystem;

TEST(WorkflowOnWindows, NewProjectParametersAndUpdateDeviceSendTheGoldenFirmwareToCom8) {
    const auto recording = Com8Recording();
    if (!recording)
        GTEST_SKIP() << kNoCom8;
    const size_t before = ReadFile(*recording).size();
    struct RestoreCurrent {
        QString folder = QDir::currentPath();
        ~RestoreCurrent() { QDir::setCurrent(folder); }
    } restore;

    TempDir temp;
    const fs::path app = temp.path() / fs::path(u8"Anlage S\u00fcd");
    fs::create_directory(app);
    fs::copy_file(fs::path(FABRICOR_APP_DIR) / "Progwerk.exe", app / "Progwerk.exe");
    const QString exe =
        QDir::fromNativeSeparators(QString::fromStdString(Utf8(app))) + "/fabricor.exe";
    RecordingServices doubles; // its clock stands at the golden build's time
    SystemShell shell;
    Services services = doubles.services();
    services.shell = &shell;
    TFFabricoreFirmWare window(exe, services);
    WriteFile(app / "MASTER" / "SX30418.sx", ReadFile(kGoldenFolder / "SX30418.sx"));
    auto click = [&](const char* name) { window.findChild<QPushButton*>(name)->click(); };

    const QString name = QString::fromUtf8(u8"Pumpstation S\u00fcd");
    doubles.dialogs.scripts["TFsaveproj"] = [&](QDialog& dialog) {
        auto& save = static_cast<TFsaveproj&>(dialog);
        save.Edit1->setText(name);
        save.bitbtn1->click();
    };
    click("New");
    const fs::path project = app / "PROJECTS" / fs::path(name.toStdU16String());
    ASSERT_TRUE(fs::exists(project / "pargen.xml"))
        << doubles.boxes.texts().join("|").toStdString();
    CopyGoldenProject(project);

    doubles.dialogs.scripts["TFpargen"] = [](QDialog& dialog) {
        dialog.findChild<QPushButton*>("BitBtn1")->click();
    };
    click("btn_Prm_Gen");
    doubles.dialogs.scripts["TFModifyFileSx"] = [](QDialog& dialog) {
        dialog.findChild<QComboBox*>("cbport")->setCurrentIndex(7);
        dialog.findChild<QPushButton*>("LbButton2")->click();
    };
    click("CreateBin");
    EXPECT_TRUE(doubles.boxes.shown.empty()) << doubles.boxes.texts().join("|").toStdString();
    EXPECT_EQ(doubles.dialogs.shown, (QStringList{"TFsaveproj", "TFpargen", "TFModifyFileSx"}));
    const std::string golden = ReadFile(kGoldenFolder / "New_SX30418.sx");
    ASSERT_TRUE(ReadFile(project / "New_SX30418.sx") == golden);

    ExpectFirmwareSentToCom8(golden, app / "Progwerk.log", *recording, before);
}

} // namespace
} // namespace fabricor
