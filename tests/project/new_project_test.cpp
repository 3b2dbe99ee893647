#include "base/atomic_file.h"
#include "documents/pargen.h"
#include "documents/var.h"
#include "front/project/new_project_dialog.h"
#include "front/shell/main_window.h"

#include "support/recording_seams.h"
#include "support/temp_dir.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

namespace fabricor {
namespace {

using test_support::RecordingMessageBoxes;
using test_support::RecordingServices;
using test_support::TempDir;
namespace fs = std::filesystem;

// The application folder is a fresh temporary folder, so start-up makes PROJECTS there.
class NewProject : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<TFFabricoreFirmWare>(
            QString::fromStdString(app.str() + "/fabricor"), doubles.services());
        projects = app / "PROJECTS";
    }
    // Runs New project with the given script acting on the dialog.
    void New(std::function<void(TFsaveproj&)> script) {
        doubles.dialogs.scripts["TFsaveproj"] = [script](QDialog& dialog) {
            script(static_cast<TFsaveproj&>(dialog));
        };
        window->findChild<QPushButton*>("New")->click();
    }
    static void TypeAndOk(TFsaveproj& dialog, const QString& name) {
        dialog.Edit1->setText(name);
        dialog.bitbtn1->click();
    }
    QString Title() const { return window->windowTitle(); }
    static QString TitleFor(const std::string& name) {
        return QString::fromStdString(std::string(ProductCaption) + " :" + name);
    }

    TempDir app;
    RecordingServices doubles;
    std::unique_ptr<TFFabricoreFirmWare> window;
    fs::path projects;
};

TEST_F(NewProject, FreeNameMakesTheProjectWithDefaultDocumentsAndMakesItCurrent) {
    window->SetTranslateEnabled(false);
    window->SetPingAddress("10.1.1.1");
    bool closed = false;
    New([&](TFsaveproj& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "New project");
        EXPECT_EQ(dialog.destination, QString::fromStdString(projects.string()));
        TypeAndOk(dialog, "pump");
        closed = !dialog.isVisible() && dialog.result() == QDialog::Accepted;
    });
    EXPECT_TRUE(closed);
    EXPECT_TRUE(doubles.boxes.shown.empty());
    EXPECT_TRUE(fs::is_directory(projects / "pump" / "bin"));

    auto pargen = ReadGeneralParameters((projects / "pump" / "pargen.xml").string());
    ASSERT_EQ(pargen.outcome, ReadOutcome::Read);
    EXPECT_EQ(EncodeGeneralParameters(DecodeGeneralParameters(pargen)),
              EncodeGeneralParameters(NewProjectGeneralParameters()));
    EXPECT_EQ(*pargen[GeneralParameter::MODE], "1");
    EXPECT_EQ(*pargen[GeneralParameter::TCP_PORT], "502");

    auto table = ReadTranslateTable((projects / "pump" / "var.xml").string());
    EXPECT_EQ(table.outcome, ReadOutcome::Read);
    EXPECT_TRUE(table.rows.empty());

    const Workspace& ws = window->workspace();
    EXPECT_EQ(ws.ProjectName, "pump"); // bare, without separator
    EXPECT_EQ(ws.ProjectFolder, (projects / "pump").string());
    EXPECT_EQ(ws.PargenPath, (projects / "pump" / "pargen.xml").string());
    EXPECT_EQ(ws.VarPath, (projects / "pump" / "var.xml").string());
    EXPECT_EQ(Title(), TitleFor("pump"));
    EXPECT_TRUE(window->findChild<QPushButton*>("btn_Translate")->isEnabled());
    EXPECT_EQ(window->PingAddress(), "0.0.0.0");
}

TEST_F(NewProject, ExistingNameIsRefusedAndTheTypedNameKeptForARetry) {
    fs::create_directories(projects / "pump");
    test_support::WriteFile(projects / "pump" / "pargen.xml", "<keep/>");
    New([&](TFsaveproj& dialog) {
        TypeAndOk(dialog, "pump");
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(dialog.Edit1->text(), "pump");
        // OK again retries with the name in the box.
        dialog.bitbtn1->click();
        EXPECT_TRUE(dialog.isVisible());
        // A second try with a free name goes through.
        TypeAndOk(dialog, "valve");
        EXPECT_FALSE(dialog.isVisible());
    });
    const QString exists = "Name project not valid because directory already exists";
    EXPECT_EQ(doubles.boxes.texts(), (QStringList{exists, exists}));
    EXPECT_EQ(doubles.boxes.shown[0].kind, RecordingMessageBoxes::Shown::Plain);
    EXPECT_EQ(test_support::ReadFile(projects / "pump" / "pargen.xml"), "<keep/>");
    EXPECT_FALSE(fs::exists(projects / "pump" / "bin"));
    EXPECT_TRUE(fs::exists(projects / "valve" / "pargen.xml"));
    EXPECT_EQ(Title(), TitleFor("valve"));
}

TEST_F(NewProject, CancelAfterARefusalClosesAndRewritesTheTitle) {
    fs::create_directories(projects / "pump");
    ASSERT_EQ(Title(), QString::fromLatin1(ProductCaption)); // nothing restored
    New([&](TFsaveproj& dialog) {
        TypeAndOk(dialog, "pump");
        // The system's close request is refused while the close permission is off.
        dialog.close();
        EXPECT_TRUE(dialog.isVisible());
        dialog.bitbtn2->click();
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
    });
    EXPECT_EQ(Title(), TitleFor(""));
    EXPECT_EQ(window->workspace().ProjectFolder, projects.string());
}

TEST_F(NewProject, NamesThatAreNoPlainFolderNameAreRefused) {
    // Also names that would not travel to Windows, that no update could hand to the flash tool
    // (a double quote, a character outside Windows-1252), or that no file system takes.
    for (const QString& bad : QStringList{"", ".", "..", "a/b", "../outside", "pump/", "say \"hi\"",
                                          "a:b", "pump.", "pump ", "con.txt", "LPT1", "a\tb",
                                          "\u043D\u0430\u0441\u043E\u0441", QString(300, 'x')}) {
        doubles.boxes.shown.clear();
        New([&](TFsaveproj& dialog) {
            TypeAndOk(dialog, bad);
            EXPECT_TRUE(dialog.isVisible()) << bad.toStdString();
            dialog.bitbtn2->click();
        });
        EXPECT_EQ(doubles.boxes.texts(), QStringList{"Name project not valid"}) << bad.toStdString();
    }
    EXPECT_TRUE(fs::is_empty(projects));
    EXPECT_FALSE(fs::exists(app.path().parent_path() / "outside"));
}

TEST_F(NewProject, EachShowingStartsWithAnEmptyNameAndTheNameIsTakenAsTyped) {
    New([&](TFsaveproj& dialog) {
        dialog.Edit1->setText("left over");
        dialog.bitbtn2->click();
    });
    New([&](TFsaveproj& dialog) {
        EXPECT_TRUE(dialog.Edit1->text().isEmpty());
        EXPECT_TRUE(dialog.newName.isEmpty());
        TypeAndOk(dialog, " pump 2");
    });
    EXPECT_TRUE(fs::is_directory(projects / " pump 2" / "bin"));
    EXPECT_EQ(window->workspace().ProjectName, " pump 2");
}

TEST_F(NewProject, FolderTheSystemRefusesKeepsTheDialogOpenAndSaysWhy) {
    fs::remove(projects); // gone since start-up
    New([&](TFsaveproj& dialog) {
        TypeAndOk(dialog, "pump");
        EXPECT_TRUE(dialog.isVisible());
        dialog.bitbtn2->click();
    });
    ASSERT_EQ(doubles.boxes.shown.size(), 1u);
    EXPECT_EQ(doubles.boxes.shown[0].kind, RecordingMessageBoxes::Shown::Error);
    EXPECT_TRUE(doubles.boxes.shown[0].text.startsWith(
        QString::fromStdString((projects / "pump").string() + ": ")));
    EXPECT_FALSE(fs::exists(projects));
}

TEST_F(NewProject, FailedGeneralParametersWriteIsShownAndKeepsTheDialogOpen) {
    New([&](TFsaveproj& dialog) {
        doubles.disk.FailAfter(0);
        TypeAndOk(dialog, "pump");
        doubles.disk.FailAfter(-1);
        EXPECT_TRUE(dialog.isVisible());
        ASSERT_EQ(doubles.boxes.shown.size(), 1u);
        EXPECT_EQ(doubles.boxes.shown[0].kind, RecordingMessageBoxes::Shown::Error);
        // The workspace already names the new folder, which now exists.
        EXPECT_EQ(window->workspace().ProjectName, "pump");
        TypeAndOk(dialog, "pump");
        EXPECT_EQ(doubles.boxes.shown.back().text,
                  "Name project not valid because directory already exists");
        dialog.bitbtn2->click();
    });
    EXPECT_FALSE(fs::exists(projects / "pump" / "pargen.xml"));
    EXPECT_FALSE(fs::exists(projects / "pump" / "var.xml"));
    EXPECT_EQ(Title(), TitleFor("pump"));
}

TEST_F(NewProject, DialogLayout) {
    TFsaveproj* dialog = window->Saveproj();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->size(), QSize(319, 91));
    EXPECT_EQ(dialog->Label1->text(), "Project name");
    EXPECT_EQ(dialog->Label1->pos(), QPoint(16, 2));
    EXPECT_EQ(dialog->Edit1->geometry(), QRect(16, 16, 297, 21));
    EXPECT_EQ(dialog->bitbtn1->text(), "OK");
    EXPECT_EQ(dialog->bitbtn1->geometry(), QRect(92, 59, 69, 23));
    EXPECT_EQ(dialog->bitbtn2->text(), "Cancel");
    EXPECT_EQ(dialog->bitbtn2->geometry(), QRect(164, 59, 69, 23));
    EXPECT_FALSE(dialog->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(dialog->closePermission); // at creation
}

} // namespace
} // namespace fabricor
