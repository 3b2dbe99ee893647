#pragma once

// The merge's rules written the plain way, as the second reading that the merge's tests and its
// fuzz target compare it with: the whole base in memory, split into lines, no streaming.

#include "firmware/merge.h"
#include "firmware/srecord.h"

#include <cctype>
#include <optional>
#include <string>
#include <vector>

namespace fabricor::test_support {

// The new firmware for `base`, or nothing when the merge must fail (a blank line, an S1 or S2
// record whose address is too short or not hexadecimal, a record that touches the window
// 0x388000..0x38BFFF, by its address or by the bytes its count claims, and is not an S2 record
// lying wholly inside). `lines` gets the base's line count.
inline std::optional<std::string>
ReferenceMerge(const std::string& base, const std::string& staging, int64_t* lines = nullptr) {
    std::vector<std::string> split;
    size_t start = 0;
    while (start < base.size()) {
        auto end = base.find('\n', start);
        if (end == std::string::npos)
            end = base.size();
        split.push_back(base.substr(start, end - start));
        start = end + 1;
    }
    if (lines)
        *lines = static_cast<int64_t>(split.size());
    std::string out;
    bool placed = false;
    for (auto line : split) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            return std::nullopt;
        const bool s3 = line.starts_with("S3");
        auto head = s3 ? ReadS3RecordHead(line) : ReadDataRecordHead(line);
        if (!s3 && (head.kind == DataRecordHead::Kind::TooShort ||
                    head.kind == DataRecordHead::Kind::NotHexadecimal))
            return std::nullopt;
        if (head.kind != DataRecordHead::Kind::Address) {
            out += line + "\r\n";
            continue;
        }
        const uint64_t addressBytes = s3 ? 4 : line[1] == '2' ? 3 : 2;
        uint64_t count = 0;
        if (std::isxdigit(static_cast<unsigned char>(line[2])) &&
            std::isxdigit(static_cast<unsigned char>(line[3])))
            count = std::stoul(line.substr(2, 2), nullptr, 16);
        const uint64_t first = head.address;
        const uint64_t end = first + (count > addressBytes + 1 ? count - addressBytes - 1 : 0);
        const bool startsInside = first >= kBankWindowFirst && first <= kBankWindowLast;
        if (!startsInside && !(first < kBankWindowFirst && end > kBankWindowFirst)) {
            out += line + "\r\n";
            continue;
        }
        if (s3 || line[1] == '1' || end > uint64_t(kBankWindowLast) + 1 || !startsInside)
            return std::nullopt;
        if (!placed)
            out += staging;
        placed = true;
    }
    return out;
}

} // namespace fabricor::test_support
