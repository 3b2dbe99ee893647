#include "firmware/srecord.h"

#include <gtest/gtest.h>

namespace fabricor {
namespace {

TEST(SRecord, ReadsTypeAddressDataAndChecksum) {
    auto read = ReadSRecord("S10a000000010203040506e0");
    ASSERT_TRUE(read.ok());
    EXPECT_EQ(read.record.type, 1);
    EXPECT_EQ(read.record.address, 0u);
    EXPECT_EQ(read.record.data, (std::vector<uint8_t>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(read.record.checksum, 0xE0);

    read = ReadSRecord("S224388000" + std::string(64, '0') + "23");
    ASSERT_TRUE(read.ok());
    EXPECT_EQ(read.record.address, 0x388000u);
    EXPECT_EQ(read.record.data.size(), 32u);
    read = ReadSRecord("S804000000FB");
    ASSERT_TRUE(read.ok());
    EXPECT_TRUE(read.record.data.empty());
}

TEST(SRecord, EachFaultHasItsOwnError) {
    const std::pair<const char*, SRecordError> cases[] = {
        {"", SRecordError::NotARecord},
        {"S10", SRecordError::NotARecord},
        {"X1050000010200", SRecordError::NotARecord},
        {"S4030000FC", SRecordError::NotARecord},
        {"SA030000FC", SRecordError::NotARecord},
        {"S1G50000010200", SRecordError::BadByteCount},
        {"S1020000", SRecordError::BadByteCount},      // too small for the address
        {"S10500000102F", SRecordError::BadByteCount}, // length does not match
        {"S105000001G2F7", SRecordError::NotHexadecimal},
        {"S105000001020G", SRecordError::NotHexadecimal},
        {"S1050000010200", SRecordError::BadChecksum},
    };
    for (const auto& [line, error] : cases)
        EXPECT_EQ(ReadSRecord(line).error, error) << line;
    EXPECT_TRUE(ReadSRecord("S10500000102F7").ok());
}

TEST(SRecord, FormatWritesUpperCaseWithTheChecksumAndReadsBack) {
    const std::vector<uint8_t> data = {0x01, 0x02};
    EXPECT_EQ(FormatSRecord(1, 0x0000, data), "S10500000102F7");
    EXPECT_EQ(FormatSRecord(9, 0x0000, {}), "S9030000FC");
    EXPECT_EQ(FormatSRecord(2, 0x388000, std::vector<uint8_t>(32, 0)),
              "S224388000" + std::string(64, '0') + "23");
    for (int type : {0, 1, 2, 3, 5, 7, 8, 9}) {
        auto text =
            FormatSRecord(type, 0x12345678u & (0xFFFFFFFFu >> (32 - 8 * SRecordAddressBytes(type))),
                          std::vector<uint8_t>{0xAB, 0xCD});
        EXPECT_EQ(SxChecksum(text.substr(0, text.size() - 2) + "00"), text.substr(text.size() - 2));
        auto read = ReadSRecord(text);
        ASSERT_TRUE(read.ok()) << text;
        EXPECT_EQ(FormatSRecord(read.record.type, read.record.address, read.record.data), text);
    }
}

TEST(SRecord, DataRecordHeadIsReadFromTheFirstTenCharacters) {
    using Kind = DataRecordHead::Kind;
    const std::tuple<std::string, Kind, uint32_t> cases[] = {
        {"S2243880000000", Kind::Address, 0x388000},
        {"S2FF38bfff", Kind::Address, 0x38BFFF},
        {"S1051234", Kind::Address, 0x1234},
        {"S2243880", Kind::TooShort, 0},
        {"S1 5", Kind::TooShort, 0},
        {"S224ZZ8000", Kind::NotHexadecimal, 0},
        {"s2243880000000", Kind::Other, 0},
        {"S3250038800000", Kind::Other, 0},
        {"S", Kind::Other, 0},
    };
    for (const auto& [line, kind, address] : cases) {
        auto head = ReadDataRecordHead(line);
        EXPECT_EQ(head.kind, kind) << line;
        if (kind == Kind::Address) {
            EXPECT_EQ(head.address, address) << line;
        }
    }
}

TEST(SRecord, S3HeadIsReadFromItsFirstTwelveCharacters) {
    using Kind = DataRecordHead::Kind;
    const std::tuple<std::string, Kind, uint32_t> cases[] = {
        {"S3250038800000", Kind::Address, 0x00388000},
        {"S30AFFFFFFFF", Kind::Address, 0xFFFFFFFF},
        {"S3250038", Kind::TooShort, 0},
        {"S325003880Z0", Kind::NotHexadecimal, 0},
        {"S2243880000000", Kind::Other, 0},
    };
    for (const auto& [line, kind, address] : cases) {
        auto head = ReadS3RecordHead(line);
        EXPECT_EQ(head.kind, kind) << line;
        if (kind == Kind::Address) {
            EXPECT_EQ(head.address, address) << line;
        }
    }
}

TEST(SxChecksum, WorkedExampleAndSumOfPairs) {
    EXPECT_EQ(SxChecksum("S224388000" + std::string(64, '0') + "00"), "23");
    // S1 record: count 05, address 0000, data 01 02: sum 8, complement F7.
    EXPECT_EQ(SxChecksum("S1050000010200"), "F7");
    EXPECT_EQ(SxChecksum("S1050000ff0000"), "FB");
}

TEST(HexAddress, SixUpperCaseDigitsAtLeast) {
    EXPECT_EQ(HexAddress(0x388000), "0x388000");
    EXPECT_EQ(HexAddress(0x38bfff), "0x38BFFF");
    EXPECT_EQ(HexAddress(0x1234), "0x001234");
    EXPECT_EQ(HexAddress(0x1000000), "0x1000000");
}

} // namespace
} // namespace fabricor
