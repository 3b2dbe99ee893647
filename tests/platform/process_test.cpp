// Starting a program as the update dialog starts the flash tool: detached, in a given folder,
// with one parameter string that must arrive as these exact bytes (Windows-1252, the pilcrow
// 0xB6 included, the quotes kept). On Windows this goes through ShellExecuteA.
#include "platform/files.h"
#include "platform/process.h"
#include "platform/user_folders.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace fabricor {
namespace {

using namespace fabricor::test_support;
namespace fs = std::filesystem;

// The started program runs on its own: its answer is waited for, up to a generous limit.
std::string AnswerIn(const fs::path& folder) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!fs::exists(folder / "received.bin") && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return ReadFile(folder / "received.bin");
}

TEST(StartDetachedProgram, TheParameterStringArrivesByteForByteInTheGivenFolder) {
    TempDir dir;
    const std::string parameters = "\"C:\\Fabricor\\PROJECTS\\Pumpstation S\xFC"
                                   "d\\New_SX30418.sx\"\xB6"
                                   "3";
    ASSERT_TRUE(StartDetachedProgram(FABRICOR_ARGUMENT_ECHO, parameters, dir.str()));
    std::string answer = AnswerIn(dir.path());
    ASSERT_FALSE(answer.empty()) << "the program did not answer";
    auto lineEnd = answer.find('\n');
    ASSERT_NE(lineEnd, std::string::npos);
    EXPECT_EQ(answer.substr(0, lineEnd), parameters);
    EXPECT_TRUE(fs::equivalent(fs::path(answer.substr(lineEnd + 1)), dir.path()))
        << answer.substr(lineEnd + 1);
}

TEST(StartDetachedProgram, AProgramThatIsNotThereIsReportedAsNotStarted) {
    TempDir dir;
    EXPECT_FALSE(StartDetachedProgram((dir / "Progwerk.exe").string(),
                                      "\"x\"\xB6"
                                      "0",
                                      dir.str()));
}

TEST(ExecutablePath, NamesThisTestProgram) {
    fs::path self = platform::PathOfUtf8(platform::ExecutablePath());
    ASSERT_FALSE(self.empty());
    EXPECT_TRUE(fs::equivalent(self, fs::path(FABRICOR_THIS_TEST)));
}

} // namespace
} // namespace fabricor
