// Settings file: whatever the file holds, writing the project name and reading it back gives the
// name, and every other line of the file is kept with its own line end.

#include "base/settings_file.h"
#include "fuzz_support.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

using namespace fabricor;

namespace {

struct Line {
    std::string text;
    std::string ending;
    bool operator==(const Line&) const = default;
};

std::vector<Line> Lines(const std::string& bytes) {
    std::vector<Line> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back({bytes.substr(start), ""});
            break;
        }
        bool crlf = end > start && bytes[end - 1] == '\r';
        lines.push_back({bytes.substr(start, end - start - (crlf ? 1 : 0)), crlf ? "\r\n" : "\n"});
        start = end + 1;
    }
    return lines;
}

bool SameText(const std::vector<Line>& a, size_t ai, const std::vector<Line>& b, size_t bi,
              size_t count) {
    for (size_t k = 0; k < count; ++k) {
        const auto& x = a[ai + k];
        const auto& y = b[bi + k];
        // An unterminated last line may gain a line end; nothing else may change. (When that
        // line ends in a bare carriage return, the CR and the new LF read back as one CR LF.)
        bool lastOld = ai + k + 1 == a.size() && x.ending.empty();
        bool sameText = x.text == y.text ||
                        (lastOld && x.text == y.text + "\r" && y.ending == "\r\n");
        if (!sameText || (!lastOld && x.ending != y.ending))
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider provider(data, size);
    auto value = provider.ConsumeRandomLengthString(80);
    auto old = provider.ConsumeRemainingBytesAsString();
    auto file = fuzz::ScratchFolder() / "Fabricor.ini";
    fuzz::WriteBytes(file, old);

    (void)ReadIniValue(file, "lastproj", "projectname");
    auto status = WriteIniValue(file, "lastproj", "projectname", value);
    if (value.find_first_of("\r\n") != std::string::npos) {
        // Refused: a line break would split the line; the file is untouched.
        FUZZ_CHECK(!status.ok());
        FUZZ_CHECK(fuzz::ReadBytes(file) == old);
        return 0;
    }
    FUZZ_CHECK(status.ok());
    FUZZ_CHECK(ReadIniValue(file, "lastproj", "projectname") == value);

    auto before = Lines(old);
    auto after = Lines(fuzz::ReadBytes(file));
    const std::string entry = "projectname=" + value;
    bool kept = false;
    if (after.size() == before.size()) {
        // One line replaced by the entry.
        for (size_t i = 0; i < after.size() && !kept; ++i)
            kept = after[i].text == entry && SameText(before, 0, after, 0, i) &&
                   SameText(before, i + 1, after, i + 1, after.size() - i - 1);
    } else if (after.size() == before.size() + 1) {
        // The entry inserted into an existing section.
        for (size_t i = 0; i < after.size() && !kept; ++i)
            kept = after[i].text == entry && SameText(before, 0, after, 0, i) &&
                   SameText(before, i, after, i + 1, before.size() - i);
    } else if (after.size() == before.size() + 2) {
        // A new section at the end.
        kept = SameText(before, 0, after, 0, before.size()) &&
               after[before.size()].text == "[lastproj]" && after.back().text == entry;
    }
    FUZZ_CHECK(kept);
    // Writing the same value again changes nothing.
    auto once = fuzz::ReadBytes(file);
    FUZZ_CHECK(WriteIniValue(file, "lastproj", "projectname", value).ok());
    FUZZ_CHECK(fuzz::ReadBytes(file) == once);
    return 0;
}
