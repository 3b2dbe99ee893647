#include "front/shell/main_window.h"

#include "support/recording_seams.h"
#include "support/temp_dir.h"

#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace fabricor {
namespace {

using test_support::RecordingServices;
using test_support::TempDir;
namespace fs = std::filesystem;

// Paths are joined with the system's separator ("\\" on Windows).
const std::string S(1, kSeparator);

class OpenProject : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(app / "PROJECTS" / "pump" / "bin");
        fs::create_directories(app / "PROJECTS" / "site" / "north");
        window = std::make_unique<TFFabricoreFirmWare>(
            QString::fromStdString(app.str() + S + "fabricor"), doubles.services());
        projects = (app / "PROJECTS").string();
    }
    void Open(const QString& answer) {
        doubles.folders.answers = {answer};
        window->findChild<QPushButton*>("open")->click();
    }
    QString Title(const std::string& name) const {
        return QString::fromStdString(std::string(ProductCaption) + " :" + name);
    }
    const Workspace& ws() const { return window->workspace(); }

    TempDir app;
    RecordingServices doubles;
    std::unique_ptr<TFFabricoreFirmWare> window;
    std::string projects;
};

TEST_F(OpenProject, SubfolderBecomesCurrentWithALeadingSeparator) {
    Open(QString::fromStdString(projects + S + "pump"));
    ASSERT_EQ(doubles.folders.asked.size(), 1u);
    EXPECT_EQ(doubles.folders.asked[0].caption, "Select directory of project");
    EXPECT_EQ(doubles.folders.asked[0].root, QString::fromStdString(projects));
    EXPECT_EQ(doubles.folders.asked[0].preselected, QString::fromStdString(projects));
    EXPECT_EQ(ws().ProjectName, S + "pump");
    EXPECT_EQ(ws().ProjectFolder, projects + S + "pump");
    EXPECT_EQ(ws().PargenPath, projects + S + "pump" + S + "pargen.xml");
    EXPECT_EQ(ws().VarPath, projects + S + "pump" + S + "var.xml");
    EXPECT_EQ(window->windowTitle(), Title(S + "pump"));
    // Nothing checks the documents and nothing is reported.
    EXPECT_TRUE(doubles.boxes.shown.empty());
}

TEST_F(OpenProject, TheProjectsFolderItselfGivesTheEmptyName) {
    Open(QString::fromStdString(projects + S + "pump"));
    Open(QString::fromStdString(projects));
    EXPECT_EQ(doubles.folders.asked[1].preselected, QString::fromStdString(projects + S + "pump"));
    EXPECT_EQ(ws().ProjectName, "");
    EXPECT_EQ(ws().ProjectFolder, projects);
    EXPECT_EQ(ws().PargenPath, projects + S + "pargen.xml");
    EXPECT_EQ(window->windowTitle(), Title(""));
}

TEST_F(OpenProject, DeeperFolderGivesTheWholeRemainder) {
    Open(QString::fromStdString(projects + S + "site" + S + "north"));
    EXPECT_EQ(ws().ProjectName, S + "site" + S + "north");
    EXPECT_EQ(ws().ProjectFolder, projects + S + "site" + S + "north");
    EXPECT_EQ(window->windowTitle(), Title(S + "site" + S + "north"));
}

TEST_F(OpenProject, CancelKeepsAnExistingFolderButRecomputesItsName) {
    window->workspace().ProjectName = "pump"; // as New project leaves it
    window->workspace().ProjectFolder = projects + S + "pump";
    window->SetTranslateEnabled(false);
    Open(QString()); // cancel
    EXPECT_EQ(doubles.folders.asked[0].preselected, QString::fromStdString(projects + S + "pump"));
    EXPECT_EQ(ws().ProjectName, S + "pump");
    EXPECT_EQ(ws().ProjectFolder, projects + S + "pump");
    EXPECT_EQ(window->windowTitle(), Title(S + "pump"));
    // Without a pargen.xml Translate Table is enabled, as a start with this project gives it.
    EXPECT_TRUE(window->findChild<QPushButton*>("btn_Translate")->isEnabled());
}

TEST_F(OpenProject, TranslateTableFollowsTheModeOfTheOpenedProject) {
    fs::create_directories(app / "PROJECTS" / "routing");
    test_support::WriteFile(app / "PROJECTS" / "routing" / "pargen.xml",
                            "<General_Parameter><MODE>0</MODE></General_Parameter>");
    test_support::WriteFile(app / "PROJECTS" / "pump" / "pargen.xml",
                            "<General_Parameter><MODE>1</MODE></General_Parameter>");
    window->show();
    auto* translate = window->findChild<QPushButton*>("btn_Translate");
    auto open = [&](const std::string& folder) {
        doubles.folders.answers = {QString::fromStdString(folder)};
        QTest::mouseClick(window->findChild<QPushButton*>("open"), Qt::LeftButton);
    };
    open(projects + S + "routing");
    EXPECT_FALSE(translate->isEnabled());
    QTest::mouseClick(translate, Qt::LeftButton);
    EXPECT_TRUE(doubles.dialogs.shown.isEmpty());
    open(projects + S + "pump");
    EXPECT_TRUE(translate->isEnabled());
    QTest::mouseClick(translate, Qt::LeftButton);
    EXPECT_EQ(doubles.dialogs.shown, QStringList{"TFSetVar"});
    open(projects + S + "routing");
    EXPECT_FALSE(translate->isEnabled());
}

TEST_F(OpenProject, CancelWithTheCurrentFolderGoneLeavesNoProject) {
    Open(QString::fromStdString(projects + S + "pump"));
    fs::remove_all(app / "PROJECTS" / "pump");
    Open(QString());
    EXPECT_TRUE(doubles.folders.asked[1].preselected.isEmpty());
    EXPECT_EQ(ws().ProjectFolder, "");
    EXPECT_EQ(ws().ProjectName, "");
    EXPECT_EQ(window->windowTitle(), Title(""));
    // The commands behind the project check now refuse.
    window->findChild<QPushButton*>("Btn_Ping")->click();
    window->findChild<QPushButton*>("btn_Prm_Gen")->click();
    EXPECT_EQ(doubles.boxes.texts(), (QStringList{"Project not valid", "Project not valid"}));
    EXPECT_TRUE(doubles.echo.hosts.empty());
}

TEST_F(OpenProject, ALinkIsAProjectAndAPathLeadingOutIsTakenForAVanishedFolder) {
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links need a privilege on Windows, and Wine cannot make one to a "
                    "folder";
#endif
    TempDir elsewhere;
    fs::create_directory_symlink(elsewhere.path(), app / "PROJECTS" / "link");
    Open(QString::fromStdString(projects + S + "link"));
    EXPECT_EQ(ws().ProjectFolder, projects + S + "link");
    EXPECT_EQ(ws().ProjectName, S + "link");
    // A path that leaves the projects folder by its text, chosen (a browser of the platform may
    // offer it) and, as the current folder, cancelled.
    for (std::string out :
         {projects + S + "..", projects + S + "link" + S + ".." + S + "..", projects + "2"}) {
        Open(QString::fromStdString(out));
        EXPECT_EQ(ws().ProjectFolder, "") << out;
        window->workspace().ProjectFolder = out;
        Open(QString());
        EXPECT_EQ(ws().ProjectFolder, "") << out;
    }
    // Update Device then writes nothing, there or anywhere.
    window->findChild<QPushButton*>("CreateBin")->click();
    EXPECT_EQ(doubles.boxes.texts(), QStringList{"Project not valid"});
}

} // namespace
} // namespace fabricor
