#include "project/project_folders.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace fabricor {
namespace {

using test_support::TempDir;
namespace fs = std::filesystem;

// One table: every name either travels between Linux and Windows as a plain folder name or is
// refused with "Name project not valid".
TEST(ProjectName, OnlyANameThatTravelsBetweenLinuxAndWindowsIsAProjectName) {
    const std::vector<std::pair<std::string, bool>> names = {
        {"pump", true},
        {"Pump station 2", true},
        {"a.b", true},
        {" lead", true},
        {"n°1", true},
        {"console", true},
        {"CONNECT", true},
        {"COM10", true},
        {"LPT0", true},
        {"nul-pump", true},
        {"auxiliary.txt", true},
        {"pump.v2", true},
        {"com1x", true},
        // empty, dots, separators of either platform
        {"", false},
        {".", false},
        {"..", false},
        {"...", false},
        {"a/b", false},
        {"/abs", false},
        {"a\\b", false},
        {"\\pump", false},
        {"../up", false},
        {"pump/", false},
        // characters Windows forbids
        {"a<b", false},
        {"a>b", false},
        {"a:b", false},
        {"say \"hi\"", false},
        {"a|b", false},
        {"why?", false},
        {"*", false},
        // control characters
        {std::string("a\0b", 3), false},
        {"a\tb", false},
        {"a\nb", false},
        {"a\rb", false},
        {"\x01", false},
        {"a\x1f", false},
        {"a\x7f", false},
        // a trailing dot or blank
        {"pump.", false},
        {"trail ", false},
        {"pump. ", false},
        // device names, any case, with or without extension
        {"CON", false},
        {"con", false},
        {"Prn", false},
        {"aux", false},
        {"NUL", false},
        {"COM1", false},
        {"com9", false},
        {"LPT1", false},
        {"lpt9", false},
        {"con.txt", false},
        {"NUL.tar.gz", false},
        {"Com3.sx", false},
        {"aux .txt", false},
        // the flash tool's parameter is Windows-1252; a file system takes 255 bytes
        {"\xC3\xA9t\xC3\xA9 \xE2\x82\xAC", true},
        {"\xD0\xBD\xD0\xB0\xD1\x81\xD0\xBE\xD1\x81", false},
        {std::string(255, 'x'), true},
        {std::string(256, 'x'), false},
    };
    for (const auto& [name, valid] : names)
        EXPECT_EQ(IsValidProjectName(name), valid) << "\"" << name << "\"";
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
    test_support::WriteFile(projects / "pump" / "pargen.xml", "keep");
    EXPECT_EQ(CreateNewProjectFolder(projects.str(), "pump"), NewProjectFolder::AlreadyExists);
    EXPECT_EQ(test_support::ReadFile(projects / "pump" / "pargen.xml"), "keep");
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

TEST(NewProjectFolder, AFolderTheSystemRefusesIsNotCreatedAndItsReasonKept) {
    TempDir app;
    // The destination's parent is missing, and only the single folder is ever made.
    std::string why;
    EXPECT_EQ(CreateNewProjectFolder((app / "PROJECTS").string(), "pump", &why),
              NewProjectFolder::NotCreated);
    EXPECT_EQ(why, (app / "PROJECTS" / "pump").string() + ": No such file or directory");
    EXPECT_FALSE(fs::exists(app / "PROJECTS"));
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
