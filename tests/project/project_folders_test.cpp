#include "project/project_folders.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace fabricor {
namespace {

using testing::TempDir;
namespace fs = std::filesystem;

TEST(ProjectName, OnlyAPlainFolderNameIsAProjectName) {
    for (const char* good : {"pump", "Pump station 2", "a.b", "...", " lead", "trail ", "n°1"})
        EXPECT_TRUE(IsValidProjectName(good)) << good;
    for (const char* bad : {"", ".", "..", "a/b", "/abs", "a\\b", "\\pump", "../up", "pump/"})
        EXPECT_FALSE(IsValidProjectName(bad)) << bad;
    EXPECT_FALSE(IsValidProjectName(std::string("a\0b", 3)));
}

TEST(NewProjectFolder, FreeNameGivesTheFolderAndItsBinFolder) {
    TempDir projects;
    EXPECT_EQ(CreateNewProjectFolder(projects.str(), "pump"), NewProjectFolder::Created);
    EXPECT_TRUE(fs::is_directory(projects / "pump"));
    EXPECT_TRUE(fs::is_directory(projects / "pump" / "bin"));
    EXPECT_TRUE(fs::is_empty(projects / "pump" / "bin"));
}

TEST(NewProjectFolder, RefusedNamesTouchNothing) {
    TempDir projects;
    fs::create_directory(projects / "pump");
    testing::WriteFile(projects / "pump" / "pargen.xml", "keep");
    EXPECT_EQ(CreateNewProjectFolder(projects.str(), "pump"), NewProjectFolder::AlreadyExists);
    EXPECT_EQ(testing::ReadFile(projects / "pump" / "pargen.xml"), "keep");
    EXPECT_FALSE(fs::exists(projects / "pump" / "bin"));

    for (const char* bad : {"", ".", "..", "pump/deeper", "../outside"}) {
        EXPECT_EQ(CreateNewProjectFolder(projects.str(), bad), NewProjectFolder::InvalidName)
            << bad;
    }
    EXPECT_FALSE(fs::exists(projects / "pump" / "deeper"));
    EXPECT_FALSE(fs::exists(projects.path().parent_path() / "outside"));
    EXPECT_STREQ(MessageOf(NewProjectFolder::InvalidName), "Name project not valid");
    EXPECT_STREQ(MessageOf(NewProjectFolder::AlreadyExists),
                 "Name project not valid because directory already exists");
    EXPECT_STREQ(MessageOf(NewProjectFolder::NotCreated), "");
}

TEST(NewProjectFolder, AFolderTheSystemRefusesIsNotCreatedWithoutAMessage) {
    TempDir app;
    // The destination's parent is missing, and only the single folder is ever made.
    EXPECT_EQ(CreateNewProjectFolder((app / "PROJECTS").string(), "pump"),
              NewProjectFolder::NotCreated);
    EXPECT_FALSE(fs::exists(app / "PROJECTS"));
    // A name longer than a folder name may be.
    fs::create_directory(app / "PROJECTS");
    EXPECT_EQ(CreateNewProjectFolder((app / "PROJECTS").string(), std::string(300, 'x')),
              NewProjectFolder::NotCreated);
}

TEST(OpenProjectName, CutByPositionAfterTheProjectsFolder) {
    EXPECT_EQ(ProjectNameAfterOpen("/app/PROJECTS", "/app/PROJECTS/pump"), "/pump");
    EXPECT_EQ(ProjectNameAfterOpen("/app/PROJECTS", "/app/PROJECTS/a/b"), "/a/b");
    EXPECT_EQ(ProjectNameAfterOpen("/app/PROJECTS", "/app/PROJECTS"), "");
    EXPECT_EQ(ProjectNameAfterOpen("/app/PROJECTS", ""), "");
    EXPECT_EQ(ProjectNameAfterOpen("/app/PROJECTS", "/app/PROJ"), "");
}

} // namespace
} // namespace fabricor
