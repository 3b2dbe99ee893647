#include "workspace/workspace.h"

#include "base/settings_file.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace fabricor {
namespace {

using test_support::ReadFile;
using test_support::TempDir;
using test_support::WriteFile;
namespace fs = std::filesystem;

// Paths are joined with the system's separator ("\\" on Windows).
const std::string S(1, kSeparator);

class Startup : public ::testing::Test {
protected:
    std::string Exe() const { return app.str() + S + "fabricor"; }
    std::string Projects() const { return app.str() + S + "PROJECTS"; }
    void StoreName(const std::string& name) {
        ASSERT_TRUE(WriteIniValue(app / "Fabricor.ini", "lastproj", "projectname", name));
    }
    TempDir app;
    Workspace ws;
};

// Qt names the executable with "/" on every system; the folder is the same as from the system's
// own name, so the programs beside it are found.
TEST_F(Startup, TheApplicationFolderIsTheSameWhicheverSeparatorTheExecutablesPathCarries) {
    std::string slashed = Exe();
    std::replace(slashed.begin(), slashed.end(), kSeparator, '/');
    RunStartup(ws, slashed);
    EXPECT_EQ(ws.AppFolder, app.str());
    EXPECT_EQ(ws.MasterFolder, app.str() + S + "MASTER");
    EXPECT_TRUE(fs::is_directory(app / "MASTER"));
}

TEST_F(Startup, FirstRunCreatesFoldersAndRestoresNothing) {
    auto result = RunStartup(ws, Exe());
    EXPECT_EQ(ws.AppFolder, app.str());
    EXPECT_EQ(ws.DataFolder, app.str());
    EXPECT_TRUE(fs::is_directory(app / "MASTER"));
    EXPECT_TRUE(fs::is_directory(app / "PROJECTS"));
    EXPECT_EQ(ws.MasterFolder, app.str() + S + "MASTER");
    EXPECT_EQ(ws.ProjectFolder, Projects());
    EXPECT_EQ(ws.PargenPath, Projects() + S + "pargen.xml");
    EXPECT_EQ(ws.VarPath, Projects() + S + "var.xml");
    EXPECT_EQ(ws.ProjectName, "");
    EXPECT_EQ(result.title, ProductCaption);
    EXPECT_FALSE(result.translateEnabled); // no pargen.xml: state left as it is

    ASSERT_TRUE(SaveLastProject(ws));
    EXPECT_EQ(ReadFile(app / "Fabricor.ini"), "[lastproj]\r\nprojectname=\r\n");
}

TEST_F(Startup, StoredNameWithOrWithoutSeparatorRestoresTheSameProject) {
    fs::create_directories(app / "PROJECTS" / "pump");
    for (std::string stored : {std::string("pump"), S + "pump"}) {
        StoreName(stored);
        auto result = RunStartup(ws, Exe());
        EXPECT_EQ(ws.ProjectName, S + "pump");
        EXPECT_EQ(ws.ProjectFolder, Projects() + S + "pump");
        EXPECT_EQ(ws.VarPath, Projects() + S + "pump" + S + "var.xml");
        EXPECT_EQ(result.title, std::string(ProductCaption) + " : " + S + "pump");
        ASSERT_TRUE(SaveLastProject(ws));
        EXPECT_EQ(ReadIniValue(app / "Fabricor.ini", "lastproj", "projectname"), S + "pump");
    }
}

TEST_F(Startup, DeletedProjectFallsBackButKeepsTheStaleName) {
    StoreName("gone");
    auto result = RunStartup(ws, Exe());
    EXPECT_EQ(ws.ProjectFolder, Projects());
    EXPECT_EQ(ws.ProjectName, S + "gone");
    EXPECT_EQ(result.title, ProductCaption);
    ASSERT_TRUE(SaveLastProject(ws));
    EXPECT_EQ(ReadIniValue(app / "Fabricor.ini", "lastproj", "projectname"), S + "gone");
}

TEST_F(Startup, TheStoredNameIsJudgedByItsTextAndALinkInProjectsIsAProject) {
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links need a privilege on Windows, and Wine cannot make one to a "
                    "folder";
#endif
    TempDir elsewhere;
    fs::create_directories(app / "PROJECTS" / "pump" / "deeper");
    fs::create_directory_symlink(elsewhere.path(), app / "PROJECTS" / "link");
    // Restored or not; a link to elsewhere is a project, a name is judged by its text.
    const std::pair<std::string, bool> cases[] = {
        {"link", true},
        {S + "link", true},
        {"pump", true},
        {"..", false},
        {".", false},
        {"pump" + S + "..", false},
        {".." + S + "PROJECTS" + S + "pump", false},
        {"pump/deeper", false},
        {"link" + S + ".." + S + "pump", false},
    };
    for (const auto& [name, restored] : cases) {
        StoreName(name);
        auto result = RunStartup(ws, Exe());
        const std::string expected = S + (name.starts_with(S) ? name.substr(1) : name);
        EXPECT_EQ(ws.ProjectFolder, restored ? Projects() + expected : Projects()) << name;
        EXPECT_EQ(result.title, restored ? std::string(ProductCaption) + " : " + expected
                                         : std::string(ProductCaption))
            << name;
        EXPECT_EQ(ws.ProjectName, expected) << name; // kept and written back either way
    }
}

TEST_F(Startup, AProjectsFolderThatIsALinkRestoresTheProjectsInIt) {
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links need a privilege on Windows, and Wine cannot make one to a "
                    "folder";
#endif
    TempDir shared;
    fs::create_directories(shared / "pump");
    fs::create_directory_symlink(shared.path(), app / "PROJECTS");
    // A link inside that stays inside is an ordinary project too.
    fs::create_directory_symlink(shared / "pump", shared / "alias");
    for (std::string name : {"pump", "alias"}) {
        StoreName(name);
        auto result = RunStartup(ws, Exe());
        EXPECT_EQ(ws.ProjectFolder, Projects() + S + name);
        EXPECT_EQ(result.title, std::string(ProductCaption) + " : " + S + name);
    }
}

TEST_F(Startup, AStoredNameWithAControlCharacterIsNotRestoredAndCloseWritesNothingHarmful) {
    // Windows has no folder of such a name at all: there only PROJECTS is made.
    std::error_code impossibleOnWindows;
    for (std::string name : {"pu\rmp", "pump\r", "pu\tmp", "\x01"})
        fs::create_directories(app / "PROJECTS" / name, impossibleOnWindows);
    fs::create_directories(app / "PROJECTS");
    // A line break inside a stored line can only be a lone carriage return.
    for (std::string line : {"pu\rmp", "pump\r", "pu\tmp", "\x01"}) {
        SCOPED_TRACE(line);
        const std::string bytes = "[lastproj]\r\nprojectname=" + line + "\r\n[other]\r\nk=v\r\n";
        WriteFile(app / "Fabricor.ini", bytes);
        auto result = RunStartup(ws, Exe());
        EXPECT_EQ(ws.ProjectFolder, Projects());
        EXPECT_EQ(result.title, ProductCaption);
        // Close succeeds: a name the file cannot hold leaves its line as it was; any other is
        // written back unchanged, as a deleted project's is.
        ASSERT_TRUE(SaveLastProject(ws));
        if (line.find('\r') != std::string::npos) {
            EXPECT_EQ(ReadFile(app / "Fabricor.ini"), bytes);
        } else {
            EXPECT_EQ(ReadIniValue(app / "Fabricor.ini", "lastproj", "projectname"), S + line);
        }
    }
}

TEST_F(Startup, ExistingFoldersAndTheirContentAreKept) {
    fs::create_directories(app / "MASTER");
    WriteFile(app / "MASTER" / "SX30418.sx", "S0");
    RunStartup(ws, Exe());
    EXPECT_EQ(ReadFile(app / "MASTER" / "SX30418.sx"), "S0");
}

TEST_F(Startup, TranslateStateFollowsTheStoredMode) {
    fs::create_directories(app / "PROJECTS" / "p");
    StoreName("p");
    auto pargen = app / "PROJECTS" / "p" / "pargen.xml";
    struct Case {
        const char* document;
        std::optional<bool> enabled;
    } cases[] = {
        {"<General_Parameter><MODE>0</MODE></General_Parameter>", false},
        {"<General_Parameter><MODE>$0</MODE></General_Parameter>", false},
        {"<General_Parameter><MODE>1</MODE></General_Parameter>", true},
        {"<General_Parameter><MODE>5</MODE></General_Parameter>", true},
        {"<General_Parameter><MODE>abc</MODE></General_Parameter>", true},
        {"<General_Parameter></General_Parameter>", true},
        {"<Other><MODE>0</MODE></Other>", true},
        {"<General_Parameter><MODE>0</MODE>", std::nullopt},
    };
    for (const auto& c : cases) {
        WriteFile(pargen, c.document);
        EXPECT_EQ(RunStartup(ws, Exe()).translateEnabled, c.enabled) << c.document;
    }
}

// An installed program's folder cannot be written: MASTER, PROJECTS and Fabricor.ini go to the
// user's data folder, made with its parents; the flash tool is still looked for beside the
// program.
TEST_F(Startup, AProgramFolderThatCannotBeWrittenUsesTheUsersDataFolder) {
    TempDir home;
    SystemFacts facts = TheSystem();
    facts.folderWritable = [](const std::string&) { return false; };
    facts.variable = [&home](const char* name) -> std::optional<std::string> {
        if (std::string(name) == "HOME" || std::string(name) == "APPDATA")
            return home.str();
        return std::nullopt;
    };
#ifdef _WIN32
    const std::string data = home.str() + "\\Fabricor";
#else
    const std::string data = home.str() + "/.local/share/fabricor";
#endif
    fs::create_directories(fs::path(data) / "PROJECTS" / "pump");
    WriteFile(fs::path(data) / "Fabricor.ini", "[lastproj]\r\nprojectname=pump\r\n");

    auto result = RunStartup(ws, Exe(), facts);
    EXPECT_EQ(ws.AppFolder, app.str());
    EXPECT_EQ(ws.DataFolder, data);
    EXPECT_EQ(ws.MasterFolder, data + S + "MASTER");
    EXPECT_TRUE(fs::is_directory(fs::path(data) / "MASTER"));
    EXPECT_EQ(ws.ProjectFolder, data + S + "PROJECTS" + S + "pump");
    EXPECT_EQ(result.title, std::string(ProductCaption) + " : " + S + "pump");
    ws.ProjectName = S + "other";
    ASSERT_TRUE(SaveLastProject(ws));
    EXPECT_EQ(ReadIniValue(fs::path(data) / "Fabricor.ini", "lastproj", "projectname"),
              S + "other");
    EXPECT_TRUE(fs::is_empty(app.path()));
}

// A shared installation (see ApplicationFolder): its MASTER, its PROJECTS and the project its
// Fabricor.ini names are used; close writes the user's own Fabricor.ini, read at the next start.
TEST_F(Startup, ASharedInstallationKeepsItsMasterProjectsAndSettings) {
#ifdef _WIN32
    GTEST_SKIP() << "a folder's mode does not stop writing on Windows";
#endif
    TempDir home;
    SystemFacts facts = TheSystem();
    facts.variable = [&home](const char* name) -> std::optional<std::string> {
        return std::string(name) == "HOME" ? std::optional(home.str()) : std::nullopt;
    };
    fs::create_directories(app / "PROJECTS" / "pump");
    fs::create_directories(app / "PROJECTS" / "valve");
    fs::create_directories(app / "MASTER");
    WriteFile(app / "Fabricor.ini", "[lastproj]\r\nprojectname=pump\r\n");
    fs::permissions(app.path(), fs::perms(0555));
    for (const char* restored : {"/pump", "/valve"}) {
        RunStartup(ws, Exe(), facts);
        EXPECT_EQ(ws.MasterFolder, app.str() + "/MASTER");
        EXPECT_EQ(ws.ProjectFolder, Projects() + restored);
        ws.ProjectName = "/valve";
        ASSERT_TRUE(SaveLastProject(ws));
    }
    EXPECT_EQ(ReadIniValue(app / "Fabricor.ini", "lastproj", "projectname"), "pump");
}

TEST(WorkspaceNewProject, NewProjectIsCurrentByItsBareName) {
    Workspace workspace;
    workspace.ProjectName = S + "old";
    MakeNewProjectCurrent(workspace, "/app/PROJECTS", "pump");
    EXPECT_EQ(workspace.ProjectName, "pump");
    EXPECT_EQ(workspace.ProjectFolder, "/app/PROJECTS" + S + "pump");
    EXPECT_EQ(workspace.PargenPath, "/app/PROJECTS" + S + "pump" + S + "pargen.xml");
    EXPECT_EQ(workspace.VarPath, "/app/PROJECTS" + S + "pump" + S + "var.xml");
}

TEST(WorkspaceTitles, NewAndOpenUseAColonWithoutBlank) {
    EXPECT_EQ(ProjectTitle("pump"), std::string(ProductCaption) + " :pump");
    EXPECT_EQ(ProjectTitle(""), std::string(ProductCaption) + " :");
}

TEST(WorkspaceClose, UnwritableSettingsFileNamesItsPath) {
    TempDir dir;
    Workspace ws;
    RunStartup(ws, dir.str() + S + "fabricor");
    WriteFile(dir / "Fabricor.ini", "[lastproj]\r\nprojectname=keep\r\n");
    fs::permissions(dir / "Fabricor.ini", fs::perms::owner_read);
    ws.ProjectName = S + "other";
    EXPECT_FALSE(SaveLastProject(ws));
    EXPECT_EQ(SettingsWriteFailureText(ws), "Unable to write to " + dir.str() + S + "Fabricor.ini");
    EXPECT_EQ(ReadFile(dir / "Fabricor.ini"), "[lastproj]\r\nprojectname=keep\r\n");
}

} // namespace
} // namespace fabricor
