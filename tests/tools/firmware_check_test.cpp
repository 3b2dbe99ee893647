#include "flash/firmware_check.h"

#include "firmware/firmware_window.h"
#include "firmware/merge.h"
#include "firmware/sx_test_support.h"
#include "sample/sample_firmware.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

namespace fabricor::flash {
namespace {

std::string WithoutLine(const std::string& text, const std::string& prefix) {
    size_t at = text.find("\r\n" + prefix);
    EXPECT_NE(at, std::string::npos) << prefix;
    size_t end = text.find("\r\n", at + 2);
    return text.substr(0, at) + text.substr(end);
}

TEST(FirmwareCheck, SampleFirmwareGoesThroughWhole) {
    std::string text = sample::SampleFirmwareText();
    FirmwareCheck check = CheckFirmware(text);
    ASSERT_TRUE(check.ok()) << check.error;
    EXPECT_EQ(check.records.size(), 1794u); // header, 1792 data records, end record
    EXPECT_EQ(check.dataRecords, 1792u);
    EXPECT_EQ(check.records.front().substr(0, 2), "S0");
    EXPECT_EQ(check.records.back().substr(0, 2), "S8");
    EXPECT_EQ(check.records[1].find('\r'), std::string::npos);
}

TEST(FirmwareCheck, LineEndsMayBeBareLineFeedsAndHexLowerCase) {
    FirmwareCheck check = CheckFirmware("S00600004844521B\nS10a000000010203040506e0\n");
    EXPECT_EQ(check.error, "the configuration (0x388000 to 0x38BFFF) is missing");
    EXPECT_EQ(check.dataRecords, 1u);
}

TEST(FirmwareCheck, EveryRecordMustBeSound) {
    std::string good = sample::SampleFirmwareText();
    struct Case {
        std::string text;
        std::string error;
    };
    std::string wrongSum = good;
    wrongSum.replace(good.find("\r\n") - 2, 2, "00"); // the header's checksum
    std::string shortened = good;
    shortened.erase(good.find("\r\n") - 4, 2);
    std::string notHex = good;
    notHex[good.find("\r\n") + 12] = 'G';
    std::string blank = good;
    blank.insert(good.find("\r\n") + 2, "\r\n");
    for (const Case& c : {
             Case{wrongSum, "line 1: wrong checksum"},
             Case{shortened, "line 1: the byte count does not match the record's length"},
             Case{notHex, "line 2: holds a character that is not a hexadecimal digit"},
             Case{blank, "line 2: not an S-record"},
             Case{"S4030000FC\r\n", "line 1: not an S-record"},
             Case{"", "the file holds no data record"},
         }) {
        FirmwareCheck check = CheckFirmware(c.text);
        EXPECT_EQ(check.error, c.error);
        EXPECT_TRUE(check.records.empty());
    }
}

TEST(FirmwareCheck, ConfigurationWindowMustBePresentAndComplete) {
    std::string good = sample::SampleFirmwareText();
    // The first and the last configuration record: the window has a hole at either end.
    EXPECT_EQ(CheckFirmware(WithoutLine(good, "S224388000")).error,
              "the configuration (0x388000 to 0x38BFFF) is incomplete: 32 bytes are missing");
    EXPECT_EQ(CheckFirmware(WithoutLine(good, "S22438BFE0")).error,
              "the configuration (0x388000 to 0x38BFFF) is incomplete: 32 bytes are missing");
}

#ifndef _WIN32
// What srec_cat finds in a firmware outside the window, in one form whatever its records.
std::string OutsideTheWindow(const std::filesystem::path& firmware) {
    std::string out;
    FILE* pipe = popen(("srec_cat '" + firmware.string() +
                        "' -exclude 0x388000 0x38C000 -o - -obs=32").c_str(), "r");
    for (int c; (c = std::fgetc(pipe)) != EOF;)
        out += static_cast<char>(c);
    EXPECT_EQ(pclose(pipe), 0) << firmware;
    return out;
}
#endif

class Reporter final : public MergeReporter {
public:
    void Report(const std::string& message) override { messages.push_back(message); }
    std::vector<std::string> messages;
};

// A base may hold in the configuration window only S2 records lying wholly inside it. The merge
// refuses any other base, the flash tool's check and the read-back refuse a firmware that kept
// such a record, verify --master names what of the base one that dropped it lost, and srec_cat
// finds every base byte outside the window in what the merge writes. (S1 addresses end at
// 0xFFFF, below the window.)
TEST(FirmwareWindowRule, TheMergeTheFlashToolAndTheReadBackGiveOneAnswer) {
    struct Case {
        int type;
        uint32_t address;
        size_t size;
        std::string outside; // the base's bytes outside the window; "-": accepted
    };
    const Case cases[] = {
        {2, 0x38BFE0, 32, "-"}, {2, 0x387FE0, 32, "-"}, {2, 0x38C000, 32, "-"},
        {3, 0x38C000, 16, "-"}, {3, 0x388010, 16, ""},  {3, 0x387FF8, 16, "0x387FF8..0x387FFF"},
        {2, 0x387FF0, 32, "0x387FF0..0x387FFF"},        {2, 0x38BFF0, 32, "0x38C000..0x38C00F"},
    };
    const std::string sample = sample::SampleFirmwareText(); // 0x380000..0x38DFFF, 32 a record
    for (const Case& c : cases) {
        const std::string record = test_support::Record(c.type, c.address, test_support::Pattern(c.size, 1));
        SCOPED_TRACE(record);
        test_support::TempDir dir;
        std::filesystem::create_directory(dir / "bin");
        test_support::WriteFile(dir / "bin" / "bank1.bin", std::string(16384, '\x5A'));
        const auto basePath = dir / "SX30418.sx", newPath = dir / "New_SX30418.sx";
        auto merge = [&](const std::string& base) {
            test_support::WriteFile(basePath, base);
            Reporter reporter;
            NoMergeProgress progress;
            return MergeBankSx(basePath.string(), newPath.filename().string(), dir.str() + "/bin/",
                               dir.str() + "/", reporter, progress);
        };
        // The record in place of the sample's record that holds its first byte.
        std::string base = sample;
        const size_t at = base.find("\r\nS224" + test_support::Hex(c.address & ~31u, 6)) + 2;
        base.replace(at, base.find("\r\n", at) - at, record);
        auto merged = merge(base);
        if (c.outside == "-") {
            ASSERT_EQ(merged.outcome, MergeOutcome::Written) << merged.error;
            EXPECT_EQ(CheckFirmware(test_support::ReadFile(newPath)).error, "");
            auto window = ReadFirmwareWindowFile(newPath.string(), basePath.string());
            EXPECT_TRUE(window.ok && window.outsideDifference.empty()) << window.error;
#ifndef _WIN32
            EXPECT_EQ(OutsideTheWindow(newPath), OutsideTheWindow(basePath));
#endif
            continue;
        }
        EXPECT_EQ(merged.outcome, MergeOutcome::MergeFailed);
        EXPECT_FALSE(std::filesystem::exists(newPath));
        // The base itself is a firmware that kept the record: refused naming its line.
        const std::string line =
            "line " + std::to_string(std::count(base.begin(), base.begin() + long(at), '\n') + 1);
        EXPECT_EQ(CheckFirmware(base).error.find(line), 0u) << CheckFirmware(base).error;
        MemorySource kept(base);
        EXPECT_EQ(ReadFirmwareWindow(kept).error.find(line), 0u);
        // The sample's own merge dropped it: verify --master names the base's lost bytes.
        ASSERT_EQ(merge(sample).outcome, MergeOutcome::Written);
        test_support::WriteFile(basePath, base);
        auto window = ReadFirmwareWindowFile(newPath.string(), basePath.string());
        EXPECT_NE(window.outsideDifference.find(record.substr(0, 40) + "...): "), std::string::npos);
        EXPECT_NE(window.outsideDifference.find(c.outside), std::string::npos)
            << window.outsideDifference;
    }
}

} // namespace
} // namespace fabricor::flash
