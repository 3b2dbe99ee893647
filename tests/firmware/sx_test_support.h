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

namespace fabricor::test_support {

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

#ifdef _WIN32
// srec_cat is a Linux program, which the Windows build's tests cannot start under Wine. There
// the judge is this reader, written apart from the product's: every S1, S2 or S3 record's count
// and checksum checked, its data inside 0x388000..0x38BFFF placed as srec_cat -crop -offset
// -binary places it (holes are zeros, the output ends at the last byte written).
inline JudgeVerdict AskSrecCat(const std::filesystem::path& firmware, const TempDir&) {
    JudgeVerdict verdict;
    verdict.accepted = true;
    std::string text = ReadFile(firmware);
    auto hexByte = [](const std::string& line, size_t at, bool& ok) {
        int value = 0;
        for (size_t i = at; i < at + 2; ++i) {
            char c = i < line.size() ? line[i] : 'g';
            int digit = c >= '0' && c <= '9'   ? c - '0'
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10
                        : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                               : -1;
            ok = ok && digit >= 0;
            value = value * 16 + (digit < 0 ? 0 : digit);
        }
        return value;
    };
    size_t start = 0, number = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? end : end - start);
        start = end == std::string::npos ? text.size() : end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        bool ok = line.size() >= 4 && (line[0] == 'S' || line[0] == 's');
        int count = hexByte(line, 2, ok);
        ok = ok && line.size() == 4 + 2 * size_t(count) && count >= 1;
        int sum = count;
        std::vector<int> bytes;
        for (int i = 0; ok && i < count; ++i) {
            bytes.push_back(hexByte(line, 4 + 2 * size_t(i), ok));
            if (i + 1 < count)
                sum += bytes.back();
        }
        if (!ok) {
            verdict.accepted = false;
            verdict.complaints += "line " + std::to_string(number) + ": not an S-record\n";
            continue;
        }
        if (((~sum) & 0xFF) != bytes.back()) {
            verdict.accepted = false;
            verdict.complaints += "line " + std::to_string(number) + ": wrong checksum\n";
            continue;
        }
        int type = line[1] - '0';
        if (type < 1 || type > 3)
            continue;
        int addressBytes = type + 1;
        uint32_t address = 0;
        for (int i = 0; i < addressBytes; ++i)
            address = address << 8 | uint32_t(bytes[size_t(i)]);
        for (int i = addressBytes; i + 1 < count; ++i, ++address) {
            if (address < 0x388000 || address >= 0x38C000)
                continue;
            size_t at = address - 0x388000;
            if (verdict.window.size() <= at)
                verdict.window.resize(at + 1, '\0');
            verdict.window[at] = char(bytes[size_t(i)]);
        }
    }
    return verdict;
}
#else
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
#endif

} // namespace fabricor::test_support
