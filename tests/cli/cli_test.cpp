#include "cli/cli.h"

#include "cli/options.h"
#include "cli/terminal_progress.h"
#include "firmware/merge.h"
#include "firmware/sx_test_support.h"
#include "image/c_source.h"
#include "image/configuration_image.h"
#include "platform/files.h"
#include "support/cli_run.h"
#include "support/golden.h"
#include "support/sample_project.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <filesystem>
#include <sstream>

namespace fabricor::cli {
namespace {

using namespace fabricor::test_support;
namespace fs = std::filesystem;


// As on a terminal, with a bar for bases of at least minimumBytes.
CliRun CliOnATerminal(const Arguments& args, int64_t minimumBytes) {
    std::ostringstream out, err;
    TerminalProgress progress(err, /*terminal=*/true, minimumBytes);
    int code = RunCli(args, out, err, progress);
    return {code, out.str(), err.str()};
}

class CliProject : public ::testing::Test {
protected:
    std::string Project() const { return project.folder().string(); }
    std::string Master() const { return project.master().string(); }
    fs::path NewFirmware() const { return project.newFirmware(); }

    TempDir dir;
    test_support::Project project{dir, BaseAroundTheWindow()};
};

TEST(CliUsage, HelpOnEveryCommand) {
    auto top = Cli({"--help"});
    EXPECT_EQ(top.code, kExitOk);
    EXPECT_NE(top.out.find("Usage: fabricor-cli COMMAND"), std::string::npos);
    for (const auto& command : Commands())
        EXPECT_NE(top.out.find(command.name), std::string::npos);
    EXPECT_TRUE(top.err.empty());

    auto build = Cli({"build", "--help"});
    EXPECT_EQ(build.code, kExitOk);
    EXPECT_NE(build.out.find("Usage: fabricor-cli build PROJECT [--time YYYY-MM-DDTHH:MM:SS]"),
              std::string::npos);
    auto update = Cli({"update", "somewhere", "--help"});
    EXPECT_EQ(update.code, kExitOk);
    EXPECT_NE(update.out.find("--master MASTER_DIR"), std::string::npos);
}

TEST(CliUsage, UsageErrorsExitTwo) {
    const std::vector<Arguments> wrong = {
        {},
        {"frobnicate"},
        {"build"},
        {"build", "a", "b"},
        {"build", "a", "--bogus"},
        {"build", "a", "-x"},
        {"build", "a", "--time"},
        {"build", "a", "--time", "2026-12-08 14:35:47"},
        {"build", "a", "--time", "2026-02-29T10:00:00"},
        {"build", "a", "--time", "2026-12-08T24:00:00"},
        {"build", "a", "--time", "2026-12-08T14:35:47", "--time", "2026-12-08T14:35:47"},
        {"update", "a"},
        {"update", "a", "--master", ""},
        {"update", "--master", "m"},
    };
    for (const auto& args : wrong) {
        auto run = Cli(args);
        std::string joined;
        for (const auto& a : args)
            joined += a + " ";
        EXPECT_EQ(run.code, kExitUsage) << joined;
        EXPECT_FALSE(run.err.empty()) << joined;
        EXPECT_TRUE(run.out.empty()) << joined;
    }
}

// A command is its declaration: the checks run before it, --help and the manual page come from it.
TEST(CliUsage, ADeclaredCommandRunsOnlyWithTheWordsItDeclares) {
    std::vector<ParsedArguments> ran;
    const Command probe = {
        .name = "probe",
        .summary = "one line",
        .usage = "probe HOST [--port PORT]\nprobe HOST --all",
        .help = [](std::ostream& out) { out << "Asks HOST.\n"; },
        .valueOptions = {"port"},
        .flagOptions = {"all"},
        .positionals = {1, 1, "HOST is missing"},
        .run =
            [&ran](const ParsedArguments& args, std::ostream&, std::ostream&, TerminalProgress&) {
                ran.push_back(args);
                return kExitOk;
            },
    };
    const std::string usage = "Usage: fabricor-cli probe HOST [--port PORT]\n"
                              "       fabricor-cli probe HOST --all\n";
    struct Case {
        Arguments args;
        int code;
        std::string err; // the problem line
    };
    for (const Case& c : std::vector<Case>{
             {{}, kExitUsage, "fabricor-cli probe: HOST is missing\n"},
             {{"h", "i"}, kExitUsage, "fabricor-cli probe: unexpected argument 'i'\n"},
             {{"h", "--all=1"}, kExitUsage, "fabricor-cli probe: option '--all' takes no value\n"},
             {{"h", "--port"}, kExitUsage, "fabricor-cli probe: option '--port' needs a value\n"},
             {{"h", "--port", "7", "--all"}, kExitOk, ""},
         }) {
        std::ostringstream out, err;
        TerminalProgress none(err, false);
        EXPECT_EQ(RunCommand(probe, c.args, out, err, none), c.code);
        EXPECT_EQ(err.str(), c.err.empty() ? "" : c.err + usage +
                                                      "Run 'fabricor-cli probe --help' for more.\n");
    }
    ASSERT_EQ(ran.size(), 1u);
    EXPECT_EQ(ran[0].positional, Arguments{"h"});
    EXPECT_EQ(ran[0].values.at("port"), "7");
    EXPECT_EQ(ran[0].flags.count("all"), 1u);

    std::ostringstream out, err;
    TerminalProgress none(err, false);
    EXPECT_EQ(RunCommand(probe, {"--help"}, out, err, none), kExitOk);
    EXPECT_EQ(out.str(), usage + "\nAsks HOST.\n");
}

TEST(CliUsage, TheManualPageHoldsEveryCommandsHelp) {
    std::ostringstream page;
    WriteManualPage(page, "9.8.7");
    EXPECT_NE(page.str().find("fabricor-cli 9.8.7"), std::string::npos);
    for (const auto& command : Commands()) {
        if (!command.help) // not part of this build: it says so to every word
            continue;
        auto help = Cli({command.name, "--help"});
        ASSERT_EQ(help.code, kExitOk) << command.name;
        // The first line of the help is the usage, with nothing in it roff would take apart.
        const std::string section = std::string(".SS ") + command.name + "\n.nf\n" +
                                    help.out.substr(0, help.out.find('\n') + 1);
        EXPECT_NE(page.str().find(section), std::string::npos) << command.name;
    }
}

TEST_F(CliProject, BuildWritesBothFilesAtTheGivenTime) {
    auto run = Cli({"build", Project(), "--time", "2026-12-08T14:35:47"});
    EXPECT_EQ(run.code, kExitOk) << run.err;
    EXPECT_TRUE(run.err.empty()) << run.err;
    auto image = ReadFile(dir / "P" / "bin" / "bank1.bin");
    ASSERT_EQ(image.size(), kImageSize);
    EXPECT_EQ(static_cast<uint8_t>(image[15049]), 0x6E);
    EXPECT_EQ(static_cast<uint8_t>(image[15050]), 0xBC);
    EXPECT_EQ(static_cast<uint8_t>(image[15051]), 0x1A);
    EXPECT_EQ(static_cast<uint8_t>(image[15052]), 0x46);
    EXPECT_EQ(image[0], 3);
    ConfigurationImage same{};
    std::copy(image.begin(), image.end(), same.begin());
    EXPECT_EQ(ReadFile(dir / "P" / "bin" / "bankg.c"), ImageCSourceText(same));

    // "--time=" form and a trailing separator on the project.
    run = Cli({"build", Project() + "/", "--time=2030-01-02T03:04:05"});
    EXPECT_EQ(run.code, kExitOk) << run.err;
    image = ReadFile(dir / "P" / "bin" / "bank1.bin");
    EXPECT_EQ(static_cast<uint8_t>(image[15049]) | static_cast<uint8_t>(image[15050]) << 8,
              3 + 32 * 4 + 2048 * 2);
}

TEST(CliGolden, BuildWritesTheGoldenCSourceByteForByte) {
    TempDir dir;
    CopyGoldenProject(dir / "P");
    auto run = Cli({"build", (dir / "P").string(), "--time", "2026-12-08T14:35:47"});
    ASSERT_EQ(run.code, kExitOk) << run.err;
    EXPECT_TRUE(ReadFile(dir / "P" / "bin" / "bankg.c") == ReadFile(kGoldenFolder / "bankg.c"));
}

TEST_F(CliProject, BuildThatStopsEarlyStillWritesAndExitsOne) {
    WriteFile(dir / "P" / "pargen.xml", std::string(kSamplePargen).replace(std::string(kSamplePargen).find("502"), 3, "port"));
    auto run = Cli({"build", Project()});
    EXPECT_EQ(run.code, kExitFailure);
    EXPECT_NE(run.err.find("TCP_PORT \"port\" is not an integer"), std::string::npos) << run.err;
    EXPECT_EQ(ReadFile(dir / "P" / "bin" / "bank1.bin").size(), kImageSize);
    EXPECT_TRUE(fs::exists(dir / "P" / "bin" / "bankg.c"));
}

TEST_F(CliProject, BuildWithoutBinFolderGivesTheSystemsMessage) {
    fs::remove_all(dir / "P" / "bin");
    auto run = Cli({"build", Project()});
    EXPECT_EQ(run.code, kExitFailure);
    EXPECT_NE(run.err.find("No such file or directory"), std::string::npos) << run.err;
    const std::string sep(1, platform::kSeparator);
    EXPECT_NE(run.err.find("Cannot create file \"" + Project() + sep + "bin" + sep + "bankg.c\""),
              std::string::npos)
        << run.err;
    EXPECT_FALSE(fs::exists(dir / "P" / "bin"));
}

TEST_F(CliProject, UpdateMergesIntoTheMasterFirmware) {
    auto run = Cli({"update", Project(), "--master", Master(), "--time", "2026-12-08T14:35:47"});
    ASSERT_EQ(run.code, kExitOk) << run.err;
    EXPECT_NE(run.out.find("New_SX30418.sx"), std::string::npos);
    EXPECT_TRUE(run.err.empty()) << run.err; // not a terminal: no progress bar
    auto verdict = AskSrecCat(NewFirmware(), dir);
    EXPECT_TRUE(verdict.accepted) << verdict.complaints;
    EXPECT_EQ(verdict.complaints.find("checksum"), std::string::npos);
    EXPECT_EQ(verdict.window, ReadFile(dir / "P" / "bin" / "bank1.bin"));
    EXPECT_FALSE(fs::exists(dir / "P" / "bin" / "Bin.sx"));
}

TEST_F(CliProject, UpdateRefusesToMergeAnIncompleteBuild) {
    WriteFile(dir / "P" / "var.xml", "<TCP_TO_RTU><row DATA_TYPE=\"1\"/></TCP_TO_RTU>");
    auto run = Cli({"update", Project(), "--master", Master()});
    EXPECT_EQ(run.code, kExitFailure);
    EXPECT_NE(run.err.find("row 1 has no attribute TCP_ADDRESS"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(NewFirmware()));
}

TEST_F(CliProject, UpdateGivesTheMergeMessagesOnStderr) {
    auto missing = Cli({"update", Project(), "--master", (dir / "nowhere").string()});
    EXPECT_EQ(missing.code, kExitFailure);
    EXPECT_NE(missing.err.find(kMergeBaseMissing), std::string::npos);

    WriteFile(NewFirmware(), "older");
    WriteFile(dir / "M" / "SX30418.sx", Record(2, 0x388000, Pattern(32, 1)) + "\n\nS9030000FC\n");
    auto blank = Cli({"update", Project(), "--master", Master()});
    EXPECT_EQ(blank.code, kExitFailure);
    EXPECT_NE(blank.err.find(kMergeFailed), std::string::npos);
    EXPECT_FALSE(fs::exists(NewFirmware()));
}

TEST_F(CliProject, UpdateLeavesANewFirmwareItCannotReplaceAsItWas) {
    WriteFile(NewFirmware(), "kept");
    fs::permissions(NewFirmware(), fs::perms::owner_read);
    auto run = Cli({"update", Project(), "--master", Master()});
    EXPECT_EQ(run.code, kExitFailure);
    EXPECT_NE(run.err.find(NewFirmware().string() + ": Permission denied"), std::string::npos)
        << run.err;
    EXPECT_EQ(ReadFile(NewFirmware()), "kept");
    EXPECT_FALSE(fs::exists(dir / "P" / "bin" / "Bin.sx"));
}

TEST_F(CliProject, UpdateNotesABaseWithoutTheWindow) {
    WriteFile(dir / "M" / "SX30418.sx", Record(2, 0x300000, Pattern(32, 1)) + "\n");
    auto run = Cli({"update", Project(), "--master", Master()});
    EXPECT_EQ(run.code, kExitOk);
    EXPECT_NE(run.err.find("no record in the configuration window"), std::string::npos);
    EXPECT_EQ(ReadFile(NewFirmware()), Record(2, 0x300000, Pattern(32, 1)) + "\r\n");
}

TEST_F(CliProject, ProgressBarOnlyOnATerminalForALargeBase) {
    // Every base counts as large here.
    auto run = CliOnATerminal({"update", Project(), "--master", Master()}, 1);
    ASSERT_EQ(run.code, kExitOk) << run.err;
    EXPECT_NE(run.err.find("\rMerging ["), std::string::npos);
    EXPECT_NE(run.err.find("] 100%\n"), std::string::npos);

    run = CliOnATerminal({"update", Project(), "--master", Master()}, 1 << 30);
    EXPECT_EQ(run.err.find("Merging"), std::string::npos);
}

// Not in the Windows build: the command lines are a POSIX shell's (quotes, /dev/null, the wait
// status); there the program itself is run under Wine by golden_update.sh.
#ifndef _WIN32
int RunProgram(const std::string& arguments) {
    std::string command = std::string(FABRICOR_APP_DIR) + "/fabricor-cli " + arguments + " >/dev/null 2>&1";
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(CliProject, ProgramExitCodes) {
    EXPECT_EQ(RunProgram("--help"), 0);
    EXPECT_EQ(RunProgram("build --help"), 0);
    EXPECT_EQ(RunProgram(""), 2);
    EXPECT_EQ(RunProgram("build '" + Project() + "' --time nonsense"), 2);
    EXPECT_EQ(RunProgram("build '" + Project() + "'"), 0);
    EXPECT_EQ(RunProgram("update '" + Project() + "' --master '" + Master() + "'"), 0);
    EXPECT_TRUE(fs::exists(NewFirmware()));
    EXPECT_EQ(RunProgram("update '" + Project() + "' --master '" + Project() + "'"), 1);
}
#endif

} // namespace
} // namespace fabricor::cli
