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
#include <cstdlib>
#include <sstream>
#include <thread>

namespace fabricor {
namespace {

using namespace fabricor::test_support;
namespace fs = std::filesystem;

std::string Utf8(const fs::path& path) {
    std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// Reads the log as a viewer should while the tool runs: sharing it for deletion too, so the
// tool can still replace it with its next version (a plain open would make that fail).
std::string ReadShared(const fs::path& file) {
    HANDLE handle = CreateFileW(file.wstring().c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return {};
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(handle, buffer, sizeof buffer, &got, nullptr) && got > 0)
        text.append(buffer, got);
    CloseHandle(handle);
    return text;
}

// The tool runs on its own; its log is complete once it says how it ended.
std::string FinishedLog(const fs::path& log) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
        std::string text = ReadShared(log);
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
    EXPECT_NE(log.find("FAILED: COM3: cannot open COM231: "), std::string::npos) << log;
}

// Under Wine, scripts/test-windows.sh maps COM8 to one end of a socat pseudo-terminal pair and
// records what the other end receives, on the Linux side, in the file FABRICOR_COM8_RECEIVED
// names.
TEST(FlashToolOnWindows, SendsEveryRecordToTheComPort) {
    const char* received_file = std::getenv("FABRICOR_COM8_RECEIVED");
    if (!received_file || !*received_file)
        GTEST_SKIP() << "no COM8 line here (under Wine scripts/test-windows.sh maps COM8 to a "
                        "socat pseudo-terminal and sets FABRICOR_COM8_RECEIVED; Wine has no other "
                        "COM port on this machine)";
    const fs::path received_path = fs::path(received_file);
    const size_t before = ReadFile(received_path).size();

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
    for (std::string line; std::getline(lines, line); ++records) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        expected += line + "\r\n";
    }

    std::optional<std::string> parameters = FlashToolParameters(Utf8(firmware), 7);
    ASSERT_TRUE(parameters);
    ASSERT_TRUE(StartDetachedProgram(Utf8(app / "Progwerk.exe"), *parameters, Utf8(project)));
    std::string log = FinishedLog(app / "Progwerk.log");
    ASSERT_NE(log.find("Done: " + std::to_string(records) + " records sent to COM8."),
              std::string::npos)
        << log;

    // Every byte has left the port; the recording may lag a little behind.
    std::string received;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    do {
        received = ReadFile(received_path).substr(before);
        if (received.size() >= expected.size())
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < deadline);
    EXPECT_EQ(received.size(), expected.size());
    EXPECT_TRUE(received == expected);
}

} // namespace
} // namespace fabricor
