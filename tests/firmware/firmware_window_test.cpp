#include "firmware/firmware_window.h"

#include "firmware/sx_test_support.h"

#include <gtest/gtest.h>

namespace fabricor {
namespace {

using test_support::Join;
using test_support::Pattern;
using test_support::Record;

// A firmware around a window filled by 512 records of 32 bytes of Pattern(16384, 7).
std::vector<std::string> Firmware() {
    std::vector<std::string> lines = {Record(0, 0, {'h'}), Record(1, 0x1000, {1, 2, 3}),
                                      Record(2, 0x387FE0, Pattern(32, 1))};
    auto image = Pattern(kImageSize, 7);
    for (size_t at = 0; at < kImageSize; at += 32)
        lines.push_back(Record(2, static_cast<uint32_t>(0x388000 + at),
                               std::vector<uint8_t>(image.begin() + static_cast<long>(at),
                                                    image.begin() + static_cast<long>(at + 32))));
    lines.push_back(Record(2, 0x38C000, Pattern(32, 2)));
    lines.push_back("S804000000FB");
    return lines;
}

FirmwareWindow Read(const std::string& text, const std::string* base = nullptr) {
    MemorySource source(text);
    if (!base)
        return ReadFirmwareWindow(source);
    MemorySource baseSource(*base);
    return ReadFirmwareWindow(source, &baseSource);
}

TEST(FirmwareWindow, ReadsTheImageWhateverTheLineEnds) {
    auto lines = Firmware();
    auto expected = Pattern(kImageSize, 7);
    for (const std::string end : {"\n", "\r\n"}) {
        auto window = Read(Join(lines, end));
        ASSERT_TRUE(window.ok) << window.error;
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), window.image.begin()));
        EXPECT_EQ(window.windowRecords, 512);
    }
    std::string noLastEnd = Join(lines, "\r\n");
    noLastEnd.resize(noLastEnd.size() - 2);
    EXPECT_TRUE(Read(noLastEnd).ok);
}

TEST(FirmwareWindow, RefusesBadInputNamingTheLineOrAddress) {
    struct Case {
        const char* name;
        std::function<void(std::vector<std::string>&)> spoil;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"bad checksum", [](auto& l) { l[10].back() = l[10].back() == '0' ? '1' : '0'; },
         "line 11: wrong checksum"},
        {"truncated record", [](auto& l) { l[10].resize(l[10].size() - 6); },
         "line 11: the byte count"},
        {"hole", [](auto& l) { l.erase(l.begin() + 20); },
         "incomplete: nothing gives 0x388220..0x38823F (image offset 544)"},
        {"duplicate", [](auto& l) { l.push_back(l[20]); }, "line 518: the record at 0x388220 gives byte 0x388220 again, already given by line 21"},
        {"S3 overlapping", [](auto& l) { l.push_back(Record(3, 0x38BFF0, Pattern(32, 3))); },
         "line 518: an S3 record at 0x38BFF0 reaches into the configuration window"},
        {"S2 crossing the edge", [](auto& l) { l[2] = Record(2, 0x387FF0, Pattern(32, 1)); },
         "line 3: the record at 0x387FF0 of 32 bytes crosses the edge"},
        {"blank line", [](auto& l) { l.insert(l.begin() + 5, ""); }, "line 6: blank line"},
        {"lone carriage return", [](auto& l) { l[7] += "\r\r"; }, "line 8: "},
        {"overlong line", [](auto& l) { l[4] += std::string(1 << 20, 'F'); },
         "line 5: longer than 600 characters"},
        {"no window", [](auto& l) { l.erase(l.begin() + 3, l.begin() + 515); },
         "no record in the configuration window"},
    };
    for (const auto& c : cases) {
        auto lines = Firmware();
        c.spoil(lines);
        auto window = Read(Join(lines, "\r\n"));
        EXPECT_FALSE(window.ok) << c.name;
        EXPECT_NE(window.error.find(c.message), std::string::npos)
            << c.name << ": " << window.error;
    }
}

TEST(FirmwareWindow, ComparesEveryLineOutsideTheWindowWithTheBase) {
    auto lines = Firmware();
    auto base = lines;
    base.erase(base.begin() + 3, base.begin() + 515);
    base.insert(base.begin() + 3, Record(2, 0x388000, {9})); // the base's own window records
    const std::string baseText = Join(base, "\n");
    auto same = Read(Join(lines, "\r\n"), &baseText);
    ASSERT_TRUE(same.ok) << same.error;
    EXPECT_EQ(same.outsideDifference, "");

    lines[1] = Record(1, 0x1000, {1, 2, 4});
    auto changed = Read(Join(lines, "\r\n"), &baseText);
    ASSERT_TRUE(changed.ok);
    EXPECT_NE(changed.outsideDifference.find("firmware line 2"), std::string::npos);
    EXPECT_NE(changed.outsideDifference.find("base firmware line 2"), std::string::npos);

    lines = Firmware();
    lines.pop_back();
    auto shorter = Read(Join(lines, "\r\n"), &baseText);
    EXPECT_NE(shorter.outsideDifference.find("base firmware line 6 (S804000000FB) is missing"),
              std::string::npos)
        << shorter.outsideDifference;
}

} // namespace
} // namespace fabricor
