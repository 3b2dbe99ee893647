#include "base/application_folder.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <map>

namespace fabricor {
namespace {

using testing::TempDir;
namespace fs = std::filesystem;

SystemFacts Facts(bool writable, std::map<std::string, std::string> variables,
                  std::string userDatabaseHome = "/home/from-passwd") {
    SystemFacts facts;
    facts.folderWritable = [writable](const std::string&) { return writable; };
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
    testing::WriteFile(dir / "file", "x");
    EXPECT_FALSE(FolderIsWritable((dir / "file").string()));
    EXPECT_FALSE(FolderIsWritable((dir / "missing").string()));
    EXPECT_FALSE(FolderIsWritable(""));
}

TEST(ApplicationFolder, TheExecutableFolderIsTheRunningProgramsOwn) {
    EXPECT_EQ(ExecutableFolder(), fs::canonical("/proc/self/exe").parent_path().string());
}

#endif

} // namespace
} // namespace fabricor
