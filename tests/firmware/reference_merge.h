#pragma once

// The merge's rules written the plain way, as the second reading that the merge's tests and its
// fuzz target compare it with: the whole base in memory, split into lines, no streaming.

#include "firmware/merge.h"
#include "firmware/srecord.h"

#include <optional>
#include <string>
#include <vector>

namespace fabricor::testing {

// The new firmware for `base`, or nothing when the merge must fail (a blank line, an S1 or S2
// record whose address is too short or not hexadecimal). `lines` gets the base's line count.
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
        auto head = ReadDataRecordHead(line);
        if (head.kind == DataRecordHead::Kind::TooShort ||
            head.kind == DataRecordHead::Kind::NotHexadecimal)
            return std::nullopt;
        if (head.kind == DataRecordHead::Kind::Address && head.address >= kBankWindowFirst &&
            head.address <= kBankWindowLast) {
            if (!placed)
                out += staging;
            placed = true;
            continue;
        }
        out += line + "\r\n";
    }
    return out;
}

} // namespace fabricor::testing
