// Every program of the application folder answers --help with its usage and refuses an option
// it does not know with exit status 2, without writing anything anywhere.

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <set>
#include <vector>

extern char** environ;

namespace fabricor {
namespace {

using test_support::ReadFile;
using test_support::TempDir;
namespace fs = std::filesystem;

struct Case {
    std::vector<std::string> words; // the program, then its arguments
    int status;
    std::string said; // in stdout for status 0, in stderr otherwise
};

std::set<std::string> Entries(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        names.insert(fs::relative(entry.path(), folder).string());
    return names;
}

TEST(ProgramOptions, HelpAnswersAndAnUnknownOptionIsRefusedWithoutWritingAnything) {
    std::vector<std::string> programs = {"fabricor-cli", "fabricor-sample-firmware"};
#ifdef FABRICOR_WITH_GUI
    programs.insert(programs.end(), {"fabricor", "Progwerk.exe"});
#endif
    // A copy of each program in a folder of its own: what they write beside themselves
    // (Fabricor.ini, MASTER, PROJECTS, Progwerk.log) would show there.
    TempDir app, work, output;
    for (const auto& program : programs)
        fs::copy_file(fs::path(FABRICOR_APP_DIR) / program, app / program);
    const std::vector<Case> cases = {
        {{"fabricor-cli", "--help"}, 0, "Usage: fabricor-cli COMMAND"},
        {{"fabricor-cli", "--version"}, 0, "fabricor-cli " FABRICOR_PROJECT_VERSION "\n"},
        {{"fabricor-cli", "folders", "--help"}, 0, "Usage: fabricor-cli folders"},
        {{"fabricor-cli", "folders", "extra"}, 2, "takes no arguments"},
        {{"fabricor-cli", "--bogus"}, 2, "unknown option '--bogus'"},
        {{"fabricor-cli", "build", "--help"}, 0, "Usage: fabricor-cli build"},
        {{"fabricor-cli", "build", "P", "--bogus"}, 2, "Usage: fabricor-cli build"},
        {{"fabricor-cli", "update", "--help"}, 0, "Usage: fabricor-cli update"},
        {{"fabricor-cli", "update", "P", "--master", "M", "-x"}, 2, "Usage: fabricor-cli update"},
        {{"fabricor-cli", "check", "--help"}, 0, "Usage: fabricor-cli check"},
        {{"fabricor-cli", "check", "P", "--bogus"}, 2, "Usage: fabricor-cli check"},
        {{"fabricor-sample-firmware", "--help"}, 0, "Usage: fabricor-sample-firmware"},
        {{"fabricor-sample-firmware", "-h"}, 0, "Usage: fabricor-sample-firmware"},
        {{"fabricor-sample-firmware", "--bogus"}, 2, "Usage: fabricor-sample-firmware"},
        {{"fabricor-sample-firmware", "-x", "out.sx"}, 2, "unknown option -x"},
        {{"fabricor-sample-firmware"}, 2, "TARGET is missing"},
#ifdef FABRICOR_WITH_GUI
        {{"fabricor", "--help"}, 0, "Usage: fabricor"},
        {{"fabricor", "--version"}, 0, "fabricor " FABRICOR_PROJECT_VERSION "\n"},
        {{"fabricor", "-platform", "offscreen", "--help"}, 0, "Usage: fabricor"},
        {{"fabricor", "--bogus"}, 2, "unknown option '--bogus'"},
        {{"fabricor", "-platform", "offscreen", "-x"}, 2, "Usage: fabricor"},
        {{"Progwerk.exe", "--help"}, 0, "Usage: Progwerk.exe"},
        {{"Progwerk.exe", "--bogus"}, 2, "unknown option '--bogus'"},
#endif
    };
    const auto before = Entries(app.path());
    for (const Case& c : cases) {
        std::string joined;
        for (const auto& word : c.words)
            joined += word + " ";
        SCOPED_TRACE(joined);
        std::string program = (app / c.words[0]).string();
        std::vector<const char*> argv = {program.c_str()};
        for (size_t i = 1; i < c.words.size(); ++i)
            argv.push_back(c.words[i].c_str());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, (output / "out").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, (output / "err").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addchdir_np(&actions, work.path().c_str());
        pid_t child = 0;
        ASSERT_EQ(posix_spawn(&child, program.c_str(), &actions, nullptr,
                              const_cast<char**>(argv.data()), environ),
                  0);
        posix_spawn_file_actions_destroy(&actions);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), c.status);
        std::string out = ReadFile(output / "out"), err = ReadFile(output / "err");
        const std::string& where = c.status == 0 ? out : err;
        EXPECT_NE(where.find(c.said), std::string::npos) << "stdout: " << out << "stderr: " << err;
        if (c.status == 0)
            EXPECT_EQ(err, "");
        else
            EXPECT_EQ(out, "");
        EXPECT_EQ(Entries(app.path()), before);
        EXPECT_EQ(Entries(work.path()), std::set<std::string>{});
    }
}

// Runs `words` (the program's path, then its arguments) with only HOME and PATH set, no display.
int RunWithHome(const std::vector<std::string>& words, const fs::path& home, const fs::path& out) {
    std::vector<const char*> argv;
    for (const auto& word : words)
        argv.push_back(word.c_str());
    argv.push_back(nullptr);
    std::string homeVariable = "HOME=" + home.string();
    const char* environment[] = {homeVariable.c_str(), "PATH=/usr/bin:/bin", nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    int status = -1;
    if (posix_spawn(&child, argv[0], &actions, nullptr, const_cast<char**>(argv.data()),
                    const_cast<char**>(environment)) == 0)
        ::waitpid(child, &status, 0);
    posix_spawn_file_actions_destroy(&actions);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// An installed program's folder is read-only (mode 0555, which stops root too): the programs
// keep their files in the user's data folder and write nothing beside themselves.
TEST(ProgramFolders, AReadOnlyProgramFolderSendsTheFilesToTheUsersDataFolder) {
    TempDir app, home, output;
    const fs::path cli = app / "fabricor-cli";
    fs::copy_file(fs::path(FABRICOR_APP_DIR) / "fabricor-cli", cli);
#ifdef FABRICOR_WITH_GUI
    const fs::path tool = app / "Progwerk.exe";
    fs::copy_file(fs::path(FABRICOR_APP_DIR) / "Progwerk.exe", tool);
#endif
    const fs::path data = home / ".local/share/fabricor";

    ASSERT_EQ(RunWithHome({cli.string(), "folders"}, home.path(), output / "out"), 0);
    EXPECT_EQ(ReadFile(output / "out"),
              "Programs: " + app.str() + "\nFiles:    " + app.str() +
                  " (beside the programs)\nMASTER:   " + app.str() + "/MASTER\nPROJECTS: " +
                  app.str() + "/PROJECTS\nSettings: " + app.str() + "/Fabricor.ini\n");

    fs::permissions(app.path(), fs::perms(0555));
    const auto before = Entries(app.path());
    ASSERT_EQ(RunWithHome({cli.string(), "folders"}, home.path(), output / "out"), 0);
    EXPECT_EQ(ReadFile(output / "out"),
              "Programs: " + app.str() + "\nFiles:    " + data.string() +
                  " (the user's data folder: " + app.str() +
                  " cannot be written)\nMASTER:   " + data.string() + "/MASTER (" + app.str() +
                  "/MASTER is missing)\nPROJECTS: " + data.string() + "/PROJECTS (" + app.str() +
                  "/PROJECTS is missing)\nSettings: " + data.string() + "/Fabricor.ini\n");
#ifdef FABRICOR_WITH_GUI
    // The flash tool reads Progwerk.ini and writes Progwerk.log there, creating the folder.
    EXPECT_EQ(RunWithHome({tool.string(), "\"nothing.sx\"\xB6"
                                          "9"},
                          home.path(), output / "out"),
              2);
    EXPECT_NE(ReadFile(data / "Progwerk.log").find("FAILED"), std::string::npos);
#endif
    EXPECT_EQ(Entries(app.path()), before);
}

// What `cmake --install` lays out: the programs in their own read-only folder with links on the
// PATH, the desktop entry, the icon and the manual page; the installed fabricor-cli keeps its
// files in the user's data folder.
TEST(Installation, ProgramsInAReadOnlyFolderWithLinksOnThePath) {
    TempDir stage, home, output;
    std::string install = "DESTDIR='" + stage.str() + "' '" CMAKE_COMMAND "' --install '" +
                          FABRICOR_BUILD_DIR "' --prefix /usr >'" + (output / "log").string() +
                          "' 2>&1";
    ASSERT_EQ(std::system(install.c_str()), 0) << ReadFile(output / "log");
    const fs::path usr = stage / "usr";
    EXPECT_EQ(fs::status(usr / "lib/fabricor").permissions(), fs::perms(0555));
    std::vector<std::pair<std::string, std::string>> links = {
        {"fabricor-cli", "fabricor-cli"}, {"fabricor-sample-firmware", "fabricor-sample-firmware"}};
#ifdef FABRICOR_WITH_GUI
    links.insert(links.end(), {{"fabricor", "fabricor"}, {"progwerk", "Progwerk.exe"}});
    EXPECT_NE(ReadFile(usr / "share/applications/fabricor.desktop").find("\nExec=fabricor\n"),
              std::string::npos);
    EXPECT_TRUE(fs::is_regular_file(usr / "share/icons/hicolor/scalable/apps/fabricor.svg"));
#endif
    for (const auto& [link, file] : links) {
        EXPECT_EQ(fs::read_symlink(usr / "bin" / link), "../lib/fabricor/" + file) << link;
        EXPECT_TRUE(fs::is_regular_file(usr / "lib/fabricor" / file)) << file;
    }
    EXPECT_GT(fs::file_size(usr / "share/man/man1/fabricor-cli.1.gz"), 1000u);

    const std::string cli = (usr / "bin/fabricor-cli").string();
    ASSERT_EQ(RunWithHome({cli, "--version"}, home.path(), output / "out"), 0);
    EXPECT_EQ(ReadFile(output / "out"), "fabricor-cli " FABRICOR_PROJECT_VERSION "\n");
    ASSERT_EQ(RunWithHome({cli, "folders"}, home.path(), output / "out"), 0);
    EXPECT_NE(ReadFile(output / "out")
                  .find("Files:    " + home.str() +
                        "/.local/share/fabricor (the user's data folder: " +
                        fs::canonical(usr / "lib/fabricor").string() + " cannot be written)"),
              std::string::npos)
        << ReadFile(output / "out");
}

} // namespace
} // namespace fabricor
