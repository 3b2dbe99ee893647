// The Windows flash tool started as the update dialog starts it: through the shell
// (ShellExecuteA) with the parameter string the dialog builds, Windows-1252 and the pilcrow, in
// a project folder whose name is not ASCII. Its log shows what it understood.
#include "firmware/flash_tool.h"
#include "platform/process.h"

#include "support/golden.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <sstream>
#include <thread>

namespace fabricor {
namespace {

using namespace fabricor::testing;
namespace fs = std::filesystem;

std::string Utf8(const fs::path& path) {
    std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// The tool runs on its own; its log is complete once it says how it ended.
std::string FinishedLog(const fs::path& log) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
        std::string text = ReadFile(log);
        if (text.find("FAILED: ") != std::string::npos ||
            text.find("Done: ") != std::string::npos || std::chrono::steady_clock::now() > deadline)
            return text;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

TEST(FlashToolOnWindows, TheUpdateDialogsParameterStringReachesItThroughTheShell) {
    TempDir app;
    fs::copy_file(fs::path(FABRICOR_APP_DIR) / "Progwerk.exe", app / "Progwerk.exe");
    const fs::path project = app.path() / fs::path(u8"Pumpstation S\u00fcd");
    fs::create_directory(project);
    const fs::path firmware = project / "New_SX30418.sx";
    fs::copy_file(kGoldenFolder / "New_SX30418.sx", firmware);
    // COM3 goes to a port that is not there: the tool must get as far as opening it.
    WriteFile(app / "Progwerk.ini", "[ports]\r\nCOM3=COM231\r\n");

    std::optional<std::string> parameters = FlashToolParameters(Utf8(firmware), 2);
    ASSERT_TRUE(parameters);
    ASSERT_NE(parameters->find('\xB6'), std::string::npos);
    ASSERT_TRUE(StartDetachedProgram(Utf8(app / "Progwerk.exe"), *parameters, Utf8(project)));

    std::string log = FinishedLog(app / "Progwerk.log");
    EXPECT_NE(log.find("Sending " + Utf8(firmware) + " to COM3 (COM231, 115200 baud)"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("FAILED: cannot open COM231: "), std::string::npos) << log;
}

// COM7 and COM8 are a pair: under Wine, scripts/test-windows.sh maps them to the two ends of a
// socat pseudo-terminal pair. The tool sends to COM8; the test reads COM7.
TEST(FlashToolOnWindows, SendsEveryRecordToTheComPort) {
    HANDLE peer = CreateFileW(L"\\\\.\\COM7", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (peer == INVALID_HANDLE_VALUE)
        GTEST_SKIP() << "no COM7 and COM8 pair here (under Wine scripts/test-windows.sh maps them "
                        "to a socat pseudo-terminal pair; Wine has no other COM port on this "
                        "machine)";
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 50;
    timeouts.ReadTotalTimeoutConstant = 200;
    SetCommTimeouts(peer, &timeouts);

    TempDir app;
    fs::copy_file(fs::path(FABRICOR_APP_DIR) / "Progwerk.exe", app / "Progwerk.exe");
    const fs::path project = app.path() / "Pumpstation";
    fs::create_directory(project);
    const fs::path firmware = project / "New_SX30418.sx";
    const std::string text = ReadFile(kGoldenFolder / "New_SX30418.sx");
    WriteFile(firmware, text);
    std::string expected; // record by record, CR LF after each
    std::istringstream lines(text);
    size_t records = 0;
    for (std::string line; std::getline(lines, line); ++records)
        expected += line + "\r\n";

    std::optional<std::string> parameters = FlashToolParameters(Utf8(firmware), 7);
    ASSERT_TRUE(parameters);
    ASSERT_TRUE(StartDetachedProgram(Utf8(app / "Progwerk.exe"), *parameters, Utf8(project)));

    std::string received;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (received.size() < expected.size() && std::chrono::steady_clock::now() < deadline) {
        char buffer[4096];
        DWORD got = 0;
        if (!::ReadFile(peer, buffer, sizeof buffer, &got, nullptr))
            break;
        received.append(buffer, got);
        if (got == 0 && ReadFile(app / "Progwerk.log").find("FAILED: ") != std::string::npos)
            break;
    }
    CloseHandle(peer);
    std::string log = FinishedLog(app / "Progwerk.log");
    EXPECT_EQ(received.size(), expected.size()) << log;
    EXPECT_TRUE(received == expected);
    EXPECT_NE(log.find("Done: " + std::to_string(records) + " records sent to COM8."),
              std::string::npos)
        << log;
}

} // namespace
} // namespace fabricor
