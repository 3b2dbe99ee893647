// A FIFO, a character device or a socket where the program expects a file: every reader refuses
// it at once, naming it, instead of blocking on it or reading it for ever. A reader that hangs is
// caught by this test's time-out (see CMakeLists.txt), never by a timed assertion.

#include "base/settings_file.h"
#include "documents/pargen.h"
#include "documents/var.h"
#include "firmware/flash_tool.h"
#include "flash/flash_job.h"
#include "hardening/hardening_support.h"
#include "sample/sample_firmware.h"
#include "workspace/workspace.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

namespace fabricor {
namespace {

using namespace fabricor::test_support;
namespace fs = std::filesystem;

// Puts a special file of the kind at `path`; the socket stays bound while the test runs.
struct SpecialFile {
    const char* kind;
    std::function<void(const fs::path&)> make;
};

std::vector<int> boundSockets;

void MakeSocket(const fs::path& path) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.string().size(), sizeof address.sun_path);
    std::strcpy(address.sun_path, path.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(fd, 1), 0);
    boundSockets.push_back(fd);
}

std::vector<SpecialFile> Kinds() {
    return {
        {"FIFO", [](const fs::path& path) { ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0); }},
        {"/dev/zero", [](const fs::path& path) { fs::create_symlink("/dev/zero", path); }},
        {"/dev/urandom", [](const fs::path& path) { fs::create_symlink("/dev/urandom", path); }},
        {"UNIX socket", MakeSocket},
    };
}

// One reader of the program: where the special file goes, and what the reader said about it.
struct Reader {
    const char* name;
    std::function<fs::path(const Project&)> file;
    std::function<std::string(const Project&)> run;
};

std::vector<Reader> Readers() {
    auto cliUpdate = [](const Project& p) {
        auto run = Cli({"update", p.folder().string(), "--master", p.master().string(), "--time",
                        "2026-12-08T14:35:47"});
        EXPECT_EQ(run.code, 1);
        EXPECT_FALSE(fs::exists(p.newFirmware()));
        return run.err;
    };
    return {
        {"pargen.xml reader", [](const Project& p) { return p.folder() / "pargen.xml"; },
         [](const Project& p) {
             auto read = ReadGeneralParameters((p.folder() / "pargen.xml").string());
             EXPECT_EQ(read.outcome, ReadOutcome::NotWellFormed);
             return read.error;
         }},
        {"var.xml reader", [](const Project& p) { return p.folder() / "var.xml"; },
         [](const Project& p) {
             auto read = ReadTranslateTable((p.folder() / "var.xml").string());
             EXPECT_EQ(read.outcome, ReadOutcome::NotWellFormed);
             return read.error;
         }},
        {"Fabricor.ini at start-up and close",
         [](const Project& p) { return p.root / "Fabricor.ini"; },
         [](const Project& p) {
             Workspace workspace;
             auto started = RunStartup(workspace, (p.root / "fabricor").string());
             EXPECT_EQ(workspace.ProjectFolder, workspace.ProjectsFolder);
             // Never replaced at close: it is not the settings file it should be.
             auto saved = SaveLastProject(workspace);
             EXPECT_FALSE(saved.ok());
             EXPECT_EQ(saved.message(), started.settingsProblem);
             return started.settingsProblem;
         }},
        {"base firmware, merge",
         [](const Project& p) { return p.master() / ProjectFiles::kBaseFirmwareName; },
         [](const Project& p) {
             WriteFile(p.bin() / "bank1.bin", std::string(kImageSize, '\0'));
             Recorder recorder;
             auto merged = Merge(p, recorder);
             EXPECT_EQ(merged.outcome, MergeOutcome::OpenFailed);
             EXPECT_FALSE(fs::exists(p.bin() / ProjectFiles::kStagingName));
             return merged.error;
         }},
        {"base firmware, fabricor-cli update",
         [](const Project& p) { return p.master() / ProjectFiles::kBaseFirmwareName; }, cliUpdate},
        {"var.xml, fabricor-cli update", [](const Project& p) { return p.folder() / "var.xml"; },
         cliUpdate},
        {"pargen.xml, fabricor-cli update",
         [](const Project& p) { return p.folder() / "pargen.xml"; }, cliUpdate},
        {"var.xml, fabricor-cli check", [](const Project& p) { return p.folder() / "var.xml"; },
         [](const Project& p) {
             auto run = Cli({"check", p.folder().string()});
             EXPECT_EQ(run.code, 1);
             return run.out + run.err;
         }},
        {"CSV file, fabricor-cli table import",
         [](const Project& p) { return p.root / "rows.csv"; },
         [](const Project& p) {
             auto run =
                 Cli({"table", "import", p.folder().string(), (p.root / "rows.csv").string()});
             EXPECT_EQ(run.code, 1);
             return run.err;
         }},
        {"firmware given to the flash tool", [](const Project& p) { return p.newFirmware(); },
         [](const Project& p) {
             flash::FlashJob job;
             auto prepared = job.Prepare(*FlashToolParameters(p.newFirmware().string(), 0), p.root);
             EXPECT_FALSE(prepared.ok());
             return prepared.message();
         }},
        {"Progwerk.ini", [](const Project& p) { return p.root / "Progwerk.ini"; },
         [](const Project& p) {
             WriteFile(p.newFirmware(), sample::SampleFirmwareText());
             flash::FlashJob job;
             auto prepared = job.Prepare(*FlashToolParameters(p.newFirmware().string(), 0), p.root);
             EXPECT_FALSE(prepared.ok());
             return prepared.message();
         }},
    };
}

TEST(SpecialFiles, EveryReaderRefusesThemAtOnceNamingTheFile) {
    int refusals = 0;
    for (const auto& kind : Kinds()) {
        for (const auto& reader : Readers()) {
            SCOPED_TRACE(std::string(reader.name) + " given a " + kind.kind);
            TempDir dir;
            Project project(dir);
            const fs::path file = reader.file(project);
            std::error_code ignored;
            fs::remove(file, ignored);
            kind.make(file);
            std::string said = reader.run(project);
            EXPECT_NE(said.find(file.string()), std::string::npos) << said;
            EXPECT_NE(said.find("not a regular file"), std::string::npos) << said;
            EXPECT_EQ(said.find("not well-formed"), std::string::npos) << said;
            // Still the special file: nothing was written in its place.
            EXPECT_FALSE(fs::is_regular_file(file));
            ++refusals;
        }
    }
    for (int fd : boundSockets)
        ::close(fd);
    std::printf("special files: %d refusals, each naming the file\n", refusals);
}

// Every command that saves, aimed at a special file or at a link to one: refused, naming it, and
// the special file stays as it was.
TEST(SpecialFiles, EveryWriterRefusesThemAndLeavesThemAsTheyWere) {
    using Make = std::function<void(const fs::path&)>;
    std::vector<std::pair<Make, std::string>> kinds = {
        {[](const fs::path& at) { ASSERT_EQ(::mkfifo(at.c_str(), 0644), 0); }, "a FIFO"},
        {MakeSocket, "a socket"}};
    const bool root = ::geteuid() == 0;
    if (root) // a device node of our own in the test's folder, with the null device's numbers
        kinds.emplace_back(
            [](const fs::path& at) {
                ASSERT_EQ(::mknod(at.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
            },
            "a character device");
    for (const auto& [make, kind] : kinds) {
        for (bool linked : {false, true}) {
            TempDir dir;
            Project project(dir);
            const std::string p = project.folder().string();
            WriteFile(dir / "rows.csv", "Data Type,Address TCP,Address Device RTU,Address RTU,"
                                        "N° Point,Mnemonic\nCoil Status,1,2,3,4,x\n");
            const std::vector<std::pair<fs::path, std::vector<std::string>>> saves = {
                {dir / "out.csv", {"table", "export", p, "--output", (dir / "out.csv").string()}},
                {dir / "out.html", {"report", p, "--output", (dir / "out.html").string()}},
                {project.folder() / "var.xml",
                 {"table", "import", p, (dir / "rows.csv").string()}}};
            for (const auto& [target, args] : saves) {
                SCOPED_TRACE(kind + (linked ? " behind a link: " : ": ") + args[0] + " " + args[1]);
                const fs::path special = linked ? fs::path(target.string() + ".special") : target;
                fs::remove(target);
                make(special);
                if (linked)
                    fs::create_symlink(special, target);
                auto run = Cli(args);
                EXPECT_EQ(run.code, 1);
                EXPECT_NE(run.err.find(target.string() + ": not a regular file (" + kind + ")"),
                          std::string::npos)
                    << run.err;
                EXPECT_EQ(fs::is_symlink(target), linked);
                EXPECT_FALSE(fs::is_regular_file(special));
                EXPECT_EQ(TemporariesIn(target.parent_path()), 0u);
            }
        }
    }
    for (int fd : boundSockets)
        ::close(fd);
    if (!root)
        GTEST_SKIP() << "making a device node (mknod) needs root: only a FIFO and a socket tried";
}

} // namespace
} // namespace fabricor
