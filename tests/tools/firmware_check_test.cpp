#include "flash/firmware_check.h"

#include "sample/sample_firmware.h"

#include <gtest/gtest.h>

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

} // namespace
} // namespace fabricor::flash
