// The real fabricor-cli update, as separate processes: interrupted by SIGINT or SIGTERM at
// several points of a merge of a large base firmware, killed with SIGKILL, and two updates of
// one project at once.

#include "base/project_lock.h"
#include "base/run_temporaries.h"
#include "cli/cli.h"
#include "cli/terminal_progress.h"
#include "firmware/sx_test_support.h"
#include "support/lock_holder.h"
#include "support/sample_project.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sstream>
#include <sys/file.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace fabricor {
namespace {

using namespace fabricor::test_support;
namespace fs = std::filesystem;

// A base firmware of about `megabytes` MB: the configuration window among S2 records, then
// S3 records far above it, so the merge has a long copy to do.
void WriteLargeBase(const fs::path& file, int megabytes) {
    std::string base = Record(0, 0, {'b'}) + "\r\n";
    for (uint32_t a = 0x387000; a < 0x38D000; a += 32)
        base += Record(2, a, Pattern(32, a)) + "\r\n";
    const std::string sample = Record(3, 0x01000000, Pattern(32, 7)) + "\r\n";
    base.reserve(size_t(megabytes) << 20);
    for (uint32_t a = 0x01000000; base.size() < (size_t(megabytes) << 20); a += 32) {
        std::string line = sample;
        std::string address = Hex(a, 8);
        line.replace(4, 8, address); // the checksum does not matter to the merge
        base += line;
    }
    WriteFile(file, base);
}

// Names in a folder that an update leaves only while it runs.
std::vector<std::string> Leftovers(const fs::path& folder) {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(folder)) {
        std::string name = entry.path().filename().string();
        if (name.find(".tmp") != std::string::npos || name == "Bin.sx")
            found.push_back(name);
    }
    return found;
}

class UpdateProcess : public ::testing::Test {
protected:
    // The master folder of a large base, made once for the tests that need one.
    static fs::path LargeMaster() {
        if (!shared_) {
            shared_ = new TempDir;
            fs::create_directories(*shared_ / "M");
            WriteLargeBase(*shared_ / "M" / "SX30418.sx", 64);
        }
        return *shared_ / "M";
    }
    static void TearDownTestSuite() {
        delete shared_;
        shared_ = nullptr;
    }
    UpdateProcess() {
        fs::create_directories(project() / "bin");
        WriteFile(project() / "var.xml", kSampleVar);
        WriteFile(project() / "pargen.xml", kSamplePargen);
    }

    fs::path project() const { return dir / "P"; }

    pid_t Start() {
        std::string program = std::string(FABRICOR_APP_DIR) + "/fabricor-cli";
        std::string projectText = project().string();
        std::string master = (master_.empty() ? LargeMaster() : master_).string();
        const char* argv[] = {program.c_str(), "update",       projectText.c_str(),
                              "--master",      master.c_str(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, (dir / "stderr.txt").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        // As from an interactive shell, even where this test runs with Ctrl-C ignored.
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t interrupts;
        sigemptyset(&interrupts);
        sigaddset(&interrupts, SIGINT);
        sigaddset(&interrupts, SIGTERM);
        posix_spawnattr_setsigdefault(&attributes, &interrupts);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
        pid_t child = 0;
        EXPECT_EQ(posix_spawn(&child, program.c_str(), &actions, &attributes,
                              const_cast<char**>(argv), environ),
                  0);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        return child;
    }

    static int Wait(pid_t child) {
        int status = 0;
        ::waitpid(child, &status, 0);
        return status;
    }

    // Waits until the run's temporary of the new firmware exists and holds at least `bytes`;
    // false when the run ended first.
    bool WaitForNewFirmwareTemporary(pid_t child, uintmax_t bytes) {
        const std::string prefix = ".New_SX30418.sx.tmp" + std::to_string(child) + "-";
        for (;;) {
            for (const auto& entry : fs::directory_iterator(project())) {
                std::error_code ignored;
                if (entry.path().filename().string().starts_with(prefix) &&
                    entry.file_size(ignored) >= bytes)
                    return true;
            }
            siginfo_t ended{};
            if (::waitid(P_PID, id_t(child), &ended, WEXITED | WNOHANG | WNOWAIT) != 0 ||
                ended.si_pid == child)
                return false; // left for Wait() to collect
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }

    std::string Stderr() const { return ReadFile(dir / "stderr.txt"); }

    static TempDir* shared_;
    TempDir dir;
    fs::path master_; // when not the large base's
};

TempDir* UpdateProcess::shared_ = nullptr;

TEST_F(UpdateProcess, AnInterruptedUpdateLeavesNoTemporaryBehind) {
    int interrupts = 0, inMerge = 0;
    for (int signal : {SIGINT, SIGTERM}) {
        // At the start, while the new firmware is being written, and late in that write.
        for (uintmax_t bytes : {uintmax_t(0), uintmax_t(1), uintmax_t(32) << 20}) {
            SCOPED_TRACE(std::string(strsignal(signal)) + " after " + std::to_string(bytes));
            pid_t child = Start();
            if (bytes > 0 && WaitForNewFirmwareTemporary(child, bytes))
                ++inMerge;
            ::kill(child, signal);
            int status = Wait(child);
            ++interrupts;
            if (WIFSIGNALED(status))
                EXPECT_EQ(WTERMSIG(status), signal);
            else
                EXPECT_EQ(WEXITSTATUS(status), 0) << Stderr(); // it had finished
            EXPECT_EQ(Leftovers(project()), std::vector<std::string>{});
            EXPECT_EQ(Leftovers(project() / "bin"), std::vector<std::string>{});
        }
    }
    EXPECT_GE(inMerge, 2); // the large base keeps the merge busy long enough to be caught
    std::printf("%d interrupted updates (%d in the merge): no temporary left\n", interrupts,
                inMerge);
}

TEST_F(UpdateProcess, TheNextUpdateRemovesWhatAKilledOneLeftButNotALiveRunsTemporary) {
    pid_t killed = Start();
    ASSERT_TRUE(WaitForNewFirmwareTemporary(killed, 1));
    ::kill(killed, SIGKILL);
    Wait(killed);
    auto left = Leftovers(project());
    ASSERT_EQ(left.size(), 1u); // kill -9 gives no chance to clean up
    ASSERT_EQ(TemporaryOwner(left[0]), killed);

    // A save of this test process, which still runs, in the middle of its write.
    const std::string live = ".pargen.xml.tmp" + std::to_string(::getpid()) + "-aB3dE9";
    WriteFile(project() / live, "half a document");

    pid_t next = Start();
    ASSERT_EQ(Wait(next), 0) << Stderr();
    EXPECT_FALSE(fs::exists(project() / left[0]));
    EXPECT_EQ(Leftovers(project() / "bin"), std::vector<std::string>{});
    EXPECT_EQ(ReadFile(project() / live), "half a document");
    EXPECT_TRUE(fs::exists(project() / "New_SX30418.sx"));
}

// The lock is held by another process: an update waits its time, then refuses and writes
// nothing. The command runs here, with a short wait, rather than as a program waiting its whole
// time.
TEST_F(UpdateProcess, ASecondUpdateOfTheProjectIsRefusedWhileTheFirstHoldsTheLock) {
    master_ = dir / "M";
    fs::create_directories(master_);
    WriteLargeBase(master_ / "SX30418.sx", 1);
    LockHolder first(project() / "bin" / ProjectFiles::kLockName);
    ASSERT_TRUE(first.held());

    std::ostringstream out, err;
    cli::TerminalProgress progress(err, false);
    EXPECT_EQ(cli::UpdateCommand({project().string(), "--master", master_.string()}, out, err,
                                 progress, std::chrono::milliseconds(100)),
              cli::kExitFailure);
    EXPECT_NE(err.str().find(std::string(kProjectBeingUpdated)), std::string::npos) << err.str();
    EXPECT_NE(err.str().find(project().string()), std::string::npos) << err.str();
    EXPECT_FALSE(fs::exists(project() / "bin" / "bank1.bin"));
    EXPECT_FALSE(fs::exists(project() / "New_SX30418.sx"));

    // Released while the next one waits: that one goes through.
    pid_t waiting = Start();
    first.Release();
    EXPECT_EQ(Wait(waiting), 0) << Stderr();
    EXPECT_TRUE(fs::exists(project() / "New_SX30418.sx"));
}

} // namespace
} // namespace fabricor
