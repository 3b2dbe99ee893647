#pragma once

// Watching the Windows flash tool from a test: its log while it runs, and the COM8 line that
// scripts/test-windows.sh records under Wine.
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

namespace fabricor::test_support {

inline std::string Utf8(const std::filesystem::path& path) {
    std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// Reads the log as a viewer should while the tool runs: sharing it for deletion too, so the
// tool can still replace it with its next version (a plain open would make that fail).
inline std::string ReadShared(const std::filesystem::path& file) {
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
inline std::string FinishedLog(const std::filesystem::path& log) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
        std::string text = ReadShared(log);
        if (text.find("FAILED: ") != std::string::npos ||
            text.find("Done: ") != std::string::npos || std::chrono::steady_clock::now() > deadline)
            return text;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// What the tool sends of an S-record file: record by record, CR LF after each.
inline std::string RecordsOnTheLine(const std::string& text, size_t& records) {
    std::string sent;
    std::istringstream lines(text);
    records = 0;
    for (std::string line; std::getline(lines, line); ++records) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        sent += line + "\r\n";
    }
    return sent;
}

// The file where the far end of COM8 is recorded, when this run has such a line.
inline std::optional<std::filesystem::path> Com8Recording() {
    const char* file = std::getenv("FABRICOR_COM8_RECEIVED");
    if (!file || !*file)
        return std::nullopt;
    return std::filesystem::path(file);
}
inline constexpr const char* kNoCom8 =
    "no COM8 line here (under Wine scripts/test-windows.sh maps COM8 to a socat pseudo-terminal "
    "and sets FABRICOR_COM8_RECEIVED; Wine has no other COM port on this machine)";

// What reached the far end of COM8 after the first `before` bytes, once `size` bytes have
// arrived or the time is up: every byte has left the port, the recording may lag a little.
inline std::string ReceivedOnCom8(const std::filesystem::path& recording, size_t before,
                                  size_t size) {
    std::string received;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    do {
        received = ReadFile(recording).substr(before);
        if (received.size() >= size)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < deadline);
    return received;
}

// The tool, started with `firmware`, said it sent every record to COM8, and exactly those
// records, each with CR LF, reached the far end after the first `before` bytes.
inline void ExpectFirmwareSentToCom8(const std::string& firmware,
                                     const std::filesystem::path& toolLog,
                                     const std::filesystem::path& recording, size_t before) {
    size_t records = 0;
    const std::string expected = RecordsOnTheLine(firmware, records);
    const std::string log = FinishedLog(toolLog);
    ASSERT_NE(log.find("Done: " + std::to_string(records) + " records sent to COM8."),
              std::string::npos)
        << log;
    const std::string received = ReceivedOnCom8(recording, before, expected.size());
    EXPECT_EQ(received.size(), expected.size());
    EXPECT_TRUE(received == expected);
}

} // namespace fabricor::test_support
