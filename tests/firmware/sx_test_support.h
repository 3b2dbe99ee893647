#pragma once

// S-record texts built independently of the merge, and srec_cat as an outside judge of what it
// writes.

#include "firmware/srecord.h"
#include "support/temp_dir.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fabricor::testing {

inline std::string Hex(uint32_t value, int digits) {
    static const char* kDigits = "0123456789ABCDEF";
    std::string text(static_cast<size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4)
        text[static_cast<size_t>(i)] = kDigits[value & 0xF];
    return text;
}

// type 1, 2 or 3: 2, 3 or 4 address bytes.
inline std::string Record(int type, uint32_t address, const std::vector<uint8_t>& data) {
    return FormatSRecord(type, address, data);
}

inline std::vector<uint8_t> Pattern(size_t size, uint32_t seed) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes[i] = static_cast<uint8_t>(seed >> 16);
    }
    return bytes;
}

inline std::string Join(const std::vector<std::string>& lines, const std::string& end) {
    std::string text;
    for (const auto& line : lines)
        text += line + end;
    return text;
}

// The 512 records the merge puts in place of the window, built the independent way.
inline std::vector<std::string> ExpectedStaging(const std::vector<uint8_t>& image) {
    std::vector<std::string> lines;
    for (size_t k = 0; k < 512; ++k)
        lines.push_back(Record(2, 0x388000 + static_cast<uint32_t>(32 * k),
                               std::vector<uint8_t>(image.begin() + static_cast<long>(32 * k),
                                                    image.begin() + static_cast<long>(32 * k + 32))));
    return lines;
}

struct JudgeVerdict {
    bool accepted = false;      // srec_cat read the file without an error
    std::string complaints;     // what it wrote on stderr
    std::string window;         // the bytes it found at 0x388000..0x38BFFF
};

// Asks srec_cat to read the new firmware and cut out the bank window.
inline JudgeVerdict AskSrecCat(const std::filesystem::path& firmware, const TempDir& scratch) {
    auto window = scratch / "judge-window.bin";
    auto complaints = scratch / "judge-stderr.txt";
    std::string command = "srec_cat '" + firmware.string() +
                          "' -crop 0x388000 0x38C000 -offset -0x388000 -o '" + window.string() +
                          "' -binary 2> '" + complaints.string() + "'";
    JudgeVerdict verdict;
    verdict.accepted = std::system(command.c_str()) == 0;
    verdict.complaints = ReadFile(complaints);
    verdict.window = ReadFile(window);
    return verdict;
}

} // namespace fabricor::testing
