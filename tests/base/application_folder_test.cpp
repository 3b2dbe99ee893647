#include "base/application_folder.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <map>
#include <tuple>

namespace fabricor {
namespace {

using test_support::TempDir;
namespace fs = std::filesystem;

SystemFacts Facts(bool writable, std::map<std::string, std::string> variables,
                  std::string userDatabaseHome = "/home/from-passwd") {
    SystemFacts facts;
    facts.folderWritable = [writable](const std::string&) { return writable; };
    facts.folderReadable = [](const std::string&) { return false; };
    facts.variable = [variables](const char* name) -> std::optional<std::string> {
        auto found = variables.find(name);
        if (found == variables.end())
            return std::nullopt;
        return found->second;
    };
    facts.homeFolder = [userDatabaseHome] { return userDatabaseHome; };
    return facts;
}

TEST(ApplicationFolder, AWritableProgramFolderKeepsThePortableLayout) {
    auto folder = DecideApplicationFolder("/opt/fab", Facts(true, {{"HOME", "/home/ann"}}));
    EXPECT_EQ(folder.programFolder, "/opt/fab");
    EXPECT_EQ(folder.dataFolder, "/opt/fab");
    EXPECT_FALSE(folder.PerUser());
}

#ifdef _WIN32

TEST(ApplicationFolder, AProgramFolderThatCannotBeWrittenTakesAppData) {
    auto folder =
        DecideApplicationFolder("C:\\Program Files\\Fabricor",
                                Facts(false, {{"APPDATA", "C:\\Users\\ann\\AppData\\Roaming\\"}}));
    EXPECT_EQ(folder.dataFolder, "C:\\Users\\ann\\AppData\\Roaming\\Fabricor");
    EXPECT_TRUE(folder.PerUser());
    folder =
        DecideApplicationFolder("C:\\Fabricor", Facts(false, {{"APPDATA", "\\\\server\\ann"}}));
    EXPECT_EQ(folder.dataFolder, "\\\\server\\ann\\Fabricor");
    folder = DecideApplicationFolder("C:\\Fabricor", Facts(false, {{"APPDATA", "Roaming"}}));
    EXPECT_EQ(folder.dataFolder, "C:\\Fabricor");
    EXPECT_FALSE(folder.PerUser());
}

TEST(ApplicationFolder, WritableMeansAFileCanBeMadeInIt) {
    TempDir dir;
    EXPECT_TRUE(FolderIsWritable(dir.str()));
    EXPECT_FALSE(FolderIsWritable((dir / "missing").string()));
    EXPECT_FALSE(ExecutableFolder().empty());
}

#else

TEST(ApplicationFolder, AReadOnlyProgramFolderTakesTheUsersDataFolder) {
    struct Case {
        std::map<std::string, std::string> variables;
        std::string userDatabaseHome;
        std::string data;
    };
    const std::vector<Case> cases = {
        {{{"XDG_DATA_HOME", "/data/ann"}, {"HOME", "/home/ann"}}, "", "/data/ann/fabricor"},
        {{{"XDG_DATA_HOME", "/data/ann//"}}, "", "/data/ann/fabricor"},
        // Relative or empty: not a base folder, so the default under HOME.
        {{{"XDG_DATA_HOME", "data"}, {"HOME", "/home/ann"}}, "", "/home/ann/.local/share/fabricor"},
        {{{"XDG_DATA_HOME", ""}, {"HOME", "/home/ann/"}}, "", "/home/ann/.local/share/fabricor"},
        {{{"HOME", "/"}}, "", "/.local/share/fabricor"},
        // No usable HOME: the user database says where home is.
        {{}, "/home/bob", "/home/bob/.local/share/fabricor"},
        {{{"HOME", "relative"}}, "/home/bob", "/home/bob/.local/share/fabricor"},
        // No home at all: the portable layout stays, and writes there fail with their messages.
        {{}, "", "/usr/lib/fabricor"},
    };
    for (const Case& c : cases) {
        auto folder = DecideApplicationFolder("/usr/lib/fabricor",
                                              Facts(false, c.variables, c.userDatabaseHome));
        EXPECT_EQ(folder.programFolder, "/usr/lib/fabricor");
        EXPECT_EQ(folder.dataFolder, c.data);
        EXPECT_EQ(folder.PerUser(), c.data != "/usr/lib/fabricor") << c.data;
        if (folder.PerUser()) {
            EXPECT_EQ(folder.reason, "/usr/lib/fabricor cannot be written");
        }
    }
}

// Root may write anywhere, so the write bits decide: a folder made read-only is not written,
// by anyone.
TEST(ApplicationFolder, WritableMeansAFolderThatKeepsAWriteBit) {
    TempDir dir;
    fs::create_directory(dir / "programs");
    EXPECT_TRUE(FolderIsWritable((dir / "programs").string()));
    fs::permissions(dir / "programs", fs::perms(0555));
    EXPECT_FALSE(FolderIsWritable((dir / "programs").string()));
    test_support::WriteFile(dir / "file", "x");
    EXPECT_FALSE(FolderIsWritable((dir / "file").string()));
    EXPECT_FALSE(FolderIsWritable((dir / "missing").string()));
    EXPECT_FALSE(FolderIsWritable(""));
}

// A shared installation: in a read-only program folder, MASTER is used where it stands when it
// can be read and PROJECTS when it can be written, each by itself; Fabricor.ini there is read
// until the user's own exists. The write and read bits decide, so this holds for root too.
TEST(ApplicationFolder, ASharedInstallationKeepsWhatCanBeUsedItemByItem) {
    // Modes of MASTER and PROJECTS (-1: missing); whether each stays beside the programs.
    const std::tuple<int, int, bool, bool, std::string, std::string> cases[] = {
        {0555, 0777, true, true, "where it can be read", "where it can be written"},
        {0000, 0555, false, false, "MASTER cannot be read", "PROJECTS cannot be written"},
        {-1, -1, false, false, "MASTER is missing", "PROJECTS is missing"},
    };
    for (const auto& [master, projects, masterBeside, projectsBeside, masterWhy, projectsWhy] :
         cases) {
        TempDir app, home;
        for (auto [name, mode] : {std::pair{"MASTER", master}, std::pair{"PROJECTS", projects}})
            if (mode >= 0 && fs::create_directory(app / name))
                fs::permissions(app / name, fs::perms(mode));
        test_support::WriteFile(app / "Fabricor.ini", "");
        fs::permissions(app.path(), fs::perms(0555));
        SystemFacts facts = TheSystem();
        facts.variable = [&](const char* name) -> std::optional<std::string> {
            return std::string(name) == "HOME" ? std::optional(home.str()) : std::nullopt;
        };
        auto folder = DecideApplicationFolder(app.str(), facts);
        const std::string data = home.str() + "/.local/share/fabricor/";
        EXPECT_EQ(folder.master.path, (masterBeside ? app.str() + "/" : data) + "MASTER");
        EXPECT_EQ(folder.projects.path, (projectsBeside ? app.str() + "/" : data) + "PROJECTS");
        EXPECT_TRUE(folder.master.why.ends_with(masterWhy)) << folder.master.why;
        EXPECT_TRUE(folder.projects.why.ends_with(projectsWhy)) << folder.projects.why;
        EXPECT_EQ(folder.settingsFile, data + "Fabricor.ini");
        EXPECT_EQ(folder.settingsSource, app.str() + "/Fabricor.ini");
    }
}

TEST(ApplicationFolder, TheExecutableFolderIsTheRunningProgramsOwn) {
    EXPECT_EQ(ExecutableFolder(), fs::canonical("/proc/self/exe").parent_path().string());
}

#endif

} // namespace
} // namespace fabricor
