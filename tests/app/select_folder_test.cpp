#include "front/seams/select_folder.h"

#include "support/recording_seams.h"
#include "support/temp_dir.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace fabricor {
namespace {

using test_support::ScriptedFolderBrowser;
using test_support::TempDir;
namespace fs = std::filesystem;

QString Q(const fs::path& path) { return QString::fromStdString(path.string()); }

TEST(SelectFolder, MissingFolderIsEmptiedAndStaysEmptyOnCancel) {
    TempDir root;
    ScriptedFolderBrowser browser;
    QString folder = Q(root / "gone");
    EXPECT_FALSE(SelectFolder(browser, nullptr, "Pick", Q(root.path()), folder));
    EXPECT_TRUE(folder.isEmpty());
    ASSERT_EQ(browser.asked.size(), 1u);
    EXPECT_EQ(browser.asked[0].caption, "Pick");
    EXPECT_EQ(browser.asked[0].root, Q(root.path()));
    EXPECT_TRUE(browser.asked[0].preselected.isEmpty());
}

TEST(SelectFolder, ExistingFolderIsPreselectedAndKeptOnCancel) {
    TempDir root;
    fs::create_directories(root / "pump");
    ScriptedFolderBrowser browser;
    QString folder = Q(root / "pump");
    EXPECT_FALSE(SelectFolder(browser, nullptr, "Pick", Q(root.path()), folder));
    EXPECT_EQ(folder, Q(root / "pump"));
    EXPECT_EQ(browser.asked[0].preselected, Q(root / "pump"));
}

TEST(SelectFolder, ConfirmedFolderIsReturnedWithoutTrailingSeparator) {
    TempDir root;
    ScriptedFolderBrowser browser;
    browser.answers = {Q(root / "valve") + "/"};
    QString folder;
    EXPECT_TRUE(SelectFolder(browser, nullptr, "Pick", Q(root.path()), folder));
    EXPECT_EQ(folder, Q(root / "valve"));
}

class RootedBrowser : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(outside / "PROJECTS" / "beta" / "bin");
        fs::create_directories(outside / "PROJECTS" / "Alpha" / "deep" / "deeper");
        fs::create_directories(outside / "PROJECTS" / "gamma");
        test_support::WriteFile(outside / "PROJECTS" / "notes.txt", "not a folder");
        // A link out of the root, where the system makes one (Wine does not).
        std::error_code noLink;
        fs::create_directory_symlink(outside.path(), outside / "PROJECTS" / "escape", noLink);
        root = Q(outside / "PROJECTS");
    }
    static QStringList Children(QTreeWidgetItem* item) {
        QStringList names;
        for (int i = 0; i < item->childCount(); ++i)
            names << item->child(i)->text(0);
        return names;
    }
    TempDir outside;
    QString root;
};

TEST_F(RootedBrowser, RootIsTheOnlyTopItemAndOnlyFoldersBelowItAreListed) {
    RootedFolderDialog dialog("Select directory of project", root, QString());
    ASSERT_EQ(dialog.Tree->topLevelItemCount(), 1);
    QTreeWidgetItem* top = dialog.Tree->topLevelItem(0);
    EXPECT_EQ(top->text(0), "PROJECTS");
    EXPECT_TRUE(top->isExpanded());
    // No file; a link is a project, offered but not opened, so a loop cannot be followed.
    if (fs::is_symlink(outside / "PROJECTS" / "escape")) {
        EXPECT_EQ(Children(top), (QStringList{"Alpha", "beta", "escape", "gamma"}));
        EXPECT_EQ(top->child(2)->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator);
        top->child(2)->setExpanded(true);
        EXPECT_EQ(top->child(2)->childCount(), 0);
    } else {
        EXPECT_EQ(Children(top), (QStringList{"Alpha", "beta", "gamma"}));
    }
    EXPECT_EQ(dialog.Prompt->text(), "Select directory of project");
    EXPECT_EQ(dialog.windowModality(), Qt::ApplicationModal);
    // Nothing preselected: nothing to confirm yet.
    EXPECT_TRUE(dialog.SelectedFolder().isEmpty());
    EXPECT_FALSE(dialog.OkButton->isEnabled());
}

TEST_F(RootedBrowser, PreselectedFolderIsSelectedWithTheWayToItOpen) {
    QString deep = Q(outside / "PROJECTS" / "Alpha" / "deep");
    RootedFolderDialog dialog("Pick", root, deep);
    EXPECT_EQ(dialog.SelectedFolder(), deep);
    EXPECT_TRUE(dialog.OkButton->isEnabled());
    QTreeWidgetItem* alpha = dialog.Tree->topLevelItem(0)->child(0);
    EXPECT_TRUE(alpha->isExpanded());
    EXPECT_EQ(Children(alpha->child(0)).size(), 0); // listed only when opened
    alpha->child(0)->setExpanded(true);
    EXPECT_EQ(Children(alpha->child(0)), QStringList{"deeper"});
}

TEST_F(RootedBrowser, TheRootItselfCanBeChosenButNothingAboveIt) {
    RootedFolderDialog dialog("Pick", root, Q(outside.path()));
    EXPECT_TRUE(dialog.SelectedFolder().isEmpty());
    EXPECT_FALSE(dialog.SelectFolderPath(Q(outside / "PROJECTS" / ".." )));
    EXPECT_FALSE(dialog.SelectFolderPath(Q(outside / "PROJECTS2")));
    EXPECT_TRUE(dialog.SelectFolderPath(root));
    EXPECT_EQ(dialog.SelectedFolder(), root);
}

TEST_F(RootedBrowser, RealBrowserReturnsTheFolderConfirmedInIt) {
    QtFolderBrowser browser;
    QString folder = Q(outside / "PROJECTS" / "gamma");
    QString askedWith;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<RootedFolderDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        askedWith = dialog->SelectedFolder();
        dialog->SelectFolderPath(Q(outside / "PROJECTS" / "beta" / "bin"));
        dialog->OkButton->click();
    });
    EXPECT_TRUE(browser.Browse(nullptr, "Pick", root, folder));
    EXPECT_EQ(askedWith, Q(outside / "PROJECTS" / "gamma"));
    EXPECT_EQ(folder, Q(outside / "PROJECTS" / "beta" / "bin"));

    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<RootedFolderDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->CancelButton->click();
    });
    EXPECT_FALSE(browser.Browse(nullptr, "Pick", root, folder));
    EXPECT_EQ(folder, Q(outside / "PROJECTS" / "beta" / "bin"));
}

} // namespace
} // namespace fabricor
