#include "image/configuration_image.h"

#include "documents/pargen.h"
#include "documents/var.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

namespace fabricor {
namespace {

using test_support::ReadFile;
using test_support::TempDir;
using test_support::WriteFile;

const LocalTime kBuildTime{2026, 12, 8, 14, 35, 47};

std::string Pargen(const std::string& overrides = "") {
    // Overrides replace an element by name; "-NAME" drops it.
    std::vector<std::pair<std::string, std::string>> elements = {
        {"TCP_IP1", "192"},   {"TCP_IP2", "168"},    {"TCP_IP3", "1"},        {"TCP_IP4", "20"},
        {"TCP_SUB1", "255"},  {"TCP_SUB2", "255"},   {"TCP_SUB3", "255"},     {"TCP_SUB4", "0"},
        {"TCP_EN_GATE", "1"}, {"TCP_GAT1", "192"},   {"TCP_GAT2", "168"},     {"TCP_GAT3", "1"},
        {"TCP_GAT4", "254"},  {"TCP_PORT", "502"},   {"SNMP_PUBLIC", "harbor"},
        {"SNMP_PRIVATE", "lantern"}, {"BAUD", "3"},  {"PARITY", "2"},         {"TIME_OUT", "1000"},
        {"OFFSET", "10000"},  {"MODE", "1"},         {"STOP_BIT", "1"},
    };
    std::string text = "<General_Parameter>";
    for (auto& [name, value] : elements) {
        auto key = "<" + name + ">";
        auto at = overrides.find("-" + name + ";");
        if (at != std::string::npos)
            continue;
        at = overrides.find(name + "=");
        std::string v = value;
        if (at != std::string::npos && (at == 0 || overrides[at - 1] == ';')) {
            auto end = overrides.find(';', at);
            v = overrides.substr(at + name.size() + 1, end - at - name.size() - 1);
        }
        text += key + v + "</" + name + ">";
    }
    return text + "</General_Parameter>";
}

std::string Row(const std::string& type, const std::string& tcp, const std::string& dev,
                const std::string& rtu, const std::string& points) {
    return "<row DATA_TYPE=\"" + type + "\" TCP_ADDRESS=\"" + tcp + "\" RTU_ADD_DEV=\"" + dev +
           "\" RTU_ADDRESS=\"" + rtu + "\" N_POINT=\"" + points + "\" MNEMONIC=\"m\"/>";
}

class ImageBuild : public ::testing::Test {
protected:
    BuildReport Build(const std::string& var, const std::string& pargen) {
        WriteFile(dir / "var.xml", var);
        WriteFile(dir / "pargen.xml", pargen);
        FixedClock clock(kBuildTime);
        image.fill(0xAA); // a build never depends on what the image held before
        return BuildConfigurationImage((dir / "var.xml").string(), (dir / "pargen.xml").string(),
                                       clock, image);
    }
    uint16_t Word(size_t offset) const {
        return static_cast<uint16_t>(image[offset] | (image[offset + 1] << 8));
    }
    bool ZeroFrom(size_t first, size_t last) const {
        for (size_t i = first; i <= last; ++i)
            if (image[i] != 0)
                return false;
        return true;
    }

    TempDir dir;
    ConfigurationImage image{};
};

TEST(BuildWords, WorkedExampleTimeAndDate) {
    EXPECT_EQ(PackBuildTime(kBuildTime), 48238);
    EXPECT_EQ(PackBuildDate(kBuildTime), 17946);
    EXPECT_EQ(PackBuildTime({2026, 1, 1, 23, 59, 59}), 23 + 32 * 59 + 2048 * 29);
    EXPECT_EQ(PackBuildDate({2099, 12, 31, 0, 0, 0}), 99 + 128 * 12 + 2048 * 31);
}

TEST(CommunityName, ZeroFilledAtMostThirteenBytes) {
    auto empty = CopyCommunityName("");
    for (auto b : empty)
        EXPECT_EQ(b, 0);
    auto thirteen = CopyCommunityName("abcdefghijklm");
    EXPECT_EQ(std::string(thirteen.begin(), thirteen.begin() + 13), "abcdefghijklm");
    EXPECT_EQ(thirteen[13], 0);
    auto twenty = CopyCommunityName("abcdefghijklmnopqrst");
    EXPECT_EQ(std::string(twenty.begin(), twenty.begin() + 13), "abcdefghijklm");
    EXPECT_EQ(twenty[13], 0);
    // Non-ASCII becomes Windows-1252 single bytes: "é" is 0xE9, "€" is 0x80.
    auto accented = CopyCommunityName("caf\xC3\xA9\xE2\x82\xAC");
    EXPECT_EQ(accented[3], 0xE9);
    EXPECT_EQ(accented[4], 0x80);
    EXPECT_EQ(accented[5], 0);
    // Characters Windows-1252 cannot hold become "?", one byte each.
    auto foreign = CopyCommunityName("\xE6\x97\xA5\xE6\x9C\xAC-net");
    EXPECT_EQ(std::string(foreign.begin(), foreign.begin() + 7), std::string("?" "?-net") + std::string(1, '\0'));
}

TEST_F(ImageBuild, WorkedExamplesOfTheParameterBlock) {
    auto report = Build("<TCP_TO_RTU>" + Row("3", "1", "7", "40001", "10") + "</TCP_TO_RTU>", Pargen());
    ASSERT_TRUE(report.complete) << report.description;
    EXPECT_EQ(image[0], 3);
    EXPECT_EQ(image[1], 1);
    EXPECT_EQ(image[2], 0);
    EXPECT_EQ(image[3], 7);
    EXPECT_EQ(Word(4), 40001);
    EXPECT_EQ(image[6], 10);
    EXPECT_TRUE(ZeroFrom(7, 14999));
    EXPECT_EQ(image[15000], 192);
    EXPECT_EQ(image[15003], 20);
    EXPECT_EQ(image[15007], 0);
    EXPECT_EQ(image[15011], 254);
    EXPECT_EQ(image[15012], 0xF6);
    EXPECT_EQ(image[15013], 0x01);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&image[15014])), "harbor");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&image[15028])), "lantern");
    EXPECT_EQ(image[15042], 3);
    EXPECT_EQ(image[15043], 2);
    EXPECT_EQ(image[15044], 0xE8);
    EXPECT_EQ(image[15045], 0x03);
    EXPECT_EQ(image[15046], 0x10);
    EXPECT_EQ(image[15047], 0x27);
    EXPECT_EQ(image[15048], 1);
    EXPECT_EQ(image[15049], 0x6E);
    EXPECT_EQ(image[15050], 0xBC);
    EXPECT_EQ(image[15051], 0x1A);
    EXPECT_EQ(image[15052], 0x46);
    EXPECT_TRUE(ZeroFrom(15053, 15054));
    EXPECT_EQ(image[15055], 1);
    EXPECT_EQ(image[15056], 1);
    EXPECT_TRUE(ZeroFrom(15057, kImageSize - 1));
}

TEST_F(ImageBuild, WriteGivesExactlyTheImageAndNeedsTheBinFolder) {
    Build("<TCP_TO_RTU/>", Pargen());
    auto project = dir.str();
    auto missing = WriteConfigurationImage(project, image);
    EXPECT_FALSE(missing.ok());
    EXPECT_FALSE(std::filesystem::exists(dir / "bin"));
    std::filesystem::create_directory(dir / "bin");
    ASSERT_TRUE(WriteConfigurationImage(project, image).ok());
    auto bytes = ReadFile(dir / "bin" / "bank1.bin");
    ASSERT_EQ(bytes.size(), kImageSize);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), image.begin(),
                           [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; }));
}


TEST_F(ImageBuild, ValuesWiderThanTheirFieldsKeepTheirLowBits) {
    auto report = Build("<TCP_TO_RTU>" + Row("3", "-1", "300", "$1F6", "0x81") + Row("007", "65536", "x10", "-32768", "-1") +
                            "</TCP_TO_RTU>",
                        Pargen("TIME_OUT=70000;BAUD=-1;TCP_PORT=$1F6;OFFSET=  12;TCP_IP1=256;"));
    ASSERT_TRUE(report.complete) << report.description;
    EXPECT_EQ(Word(1), 0xFFFF);
    EXPECT_EQ(image[3], 44);
    EXPECT_EQ(Word(4), 0x1F6);
    EXPECT_EQ(image[6], 0x81);
    EXPECT_EQ(image[7], 7);
    EXPECT_EQ(Word(8), 0);
    EXPECT_EQ(image[10], 16);
    EXPECT_EQ(Word(11), 0x8000);
    EXPECT_EQ(image[13], 0xFF);
    EXPECT_EQ(image[15000], 0);
    EXPECT_EQ(image[15012], 0xF6);
    EXPECT_EQ(image[15013], 0x01);
    EXPECT_EQ(image[15042], 255);
    EXPECT_EQ(image[15044], 0x70);
    EXPECT_EQ(image[15045], 0x11);
    EXPECT_EQ(Word(15046), 12);
}

TEST_F(ImageBuild, EmptyTableAndForeignNamesReadLikeTheWrittenForm) {
    auto report = Build("<TCP_TO_RTU></TCP_TO_RTU>", Pargen());
    ASSERT_TRUE(report.complete);
    EXPECT_TRUE(ZeroFrom(0, 14999));
    EXPECT_EQ(image[15000], 192);

    report = Build("<table><entry DATA_TYPE=\"2\" TCP_ADDRESS=\"5\" RTU_ADD_DEV=\"1\" RTU_ADDRESS=\"6\" "
                   "N_POINT=\"1\"/></table>",
                   Pargen());
    ASSERT_TRUE(report.complete);
    EXPECT_EQ(image[0], 2);
    EXPECT_EQ(image[1], 5);
}

TEST_F(ImageBuild, OnlyTheFirst2000RowsAreStored) {
    std::string var = "<TCP_TO_RTU>";
    for (int i = 0; i < 2001; ++i)
        var += Row(std::to_string(i % 4 + 1), std::to_string(i), "1", "2", "3");
    var += "</TCP_TO_RTU>";
    auto report = Build(var, Pargen());
    ASSERT_TRUE(report.complete) << report.description;
    EXPECT_EQ(report.rowsIgnored, 1u);
    EXPECT_EQ(image[13993], 1999 % 4 + 1);
    EXPECT_EQ(Word(13994), 1999);
    EXPECT_EQ(image[13999], 3);
    EXPECT_TRUE(ZeroFrom(14000, 14999));
}

TEST_F(ImageBuild, StopBitIsOneOnlyForTheTextOne) {
    for (auto [text, expected] : {std::pair{"1", 1}, {"2", 0}, {" 1", 0}, {"", 0}, {"01", 0}}) {
        auto report = Build("<TCP_TO_RTU/>", Pargen(std::string("STOP_BIT=") + text + ";"));
        EXPECT_TRUE(report.complete) << text;
        EXPECT_EQ(image[15055], expected) << text;
        EXPECT_EQ(image[15056], 1) << text;
    }
    // Missing or unreadable, it falls back to one stop bit and the gateway flag is still read.
    auto report = Build("<TCP_TO_RTU/>", Pargen("-STOP_BIT;"));
    EXPECT_TRUE(report.complete);
    EXPECT_EQ(image[15055], 0);
    EXPECT_EQ(image[15056], 1);
    report = Build("<TCP_TO_RTU/>", Pargen("STOP_BIT=<a/>1;"));
    EXPECT_TRUE(report.complete);
    EXPECT_EQ(image[15055], 0);
    EXPECT_EQ(image[15056], 1);
}

TEST_F(ImageBuild, CommunityNamesAreCutAndNonAsciiIsSingleByte) {
    auto report = Build("<TCP_TO_RTU/>", Pargen("SNMP_PUBLIC=abcdefghijklmnopqrst;SNMP_PRIVATE=;"));
    ASSERT_TRUE(report.complete);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&image[15014]), 14), std::string("abcdefghijklm\0", 14));
    EXPECT_TRUE(ZeroFrom(15028, 15041));
    report = Build("<TCP_TO_RTU/>", Pargen("SNMP_PUBLIC=\xC3\xA9t\xC3\xA9;"));
    ASSERT_TRUE(report.complete);
    EXPECT_EQ(image[15014], 0xE9);
    EXPECT_EQ(image[15015], 't');
    EXPECT_EQ(image[15016], 0xE9);
    EXPECT_EQ(image[15017], 0);
}

// Early stops: everything stored before the failure stays, everything after it is zero, and
// the report says where.
TEST_F(ImageBuild, MissingTableDocumentLeavesTheWholeImageZero) {
    WriteFile(dir / "pargen.xml", Pargen());
    FixedClock clock(kBuildTime);
    image.fill(0xAA);
    auto report = BuildConfigurationImage((dir / "none.xml").string(), (dir / "pargen.xml").string(),
                                          clock, image);
    EXPECT_FALSE(report.complete);
    EXPECT_EQ(report.document, BuildReport::Document::TranslateTable);
    EXPECT_TRUE(ZeroFrom(0, kImageSize - 1));
    EXPECT_NE(report.description.find("none.xml"), std::string::npos);

    report = Build("<TCP_TO_RTU><row", Pargen());
    EXPECT_FALSE(report.complete);
    EXPECT_EQ(report.document, BuildReport::Document::TranslateTable);
    EXPECT_TRUE(ZeroFrom(0, kImageSize - 1));
}

TEST_F(ImageBuild, RowWithoutAnAttributeStopsInsideThatRow) {
    auto report = Build("<TCP_TO_RTU>" + Row("1", "10", "2", "20", "3") + Row("2", "11", "4", "21", "5") +
                            "<row DATA_TYPE=\"3\" TCP_ADDRESS=\"12\" RTU_ADDRESS=\"22\" N_POINT=\"6\"/>" +
                            Row("4", "13", "6", "23", "7") + "</TCP_TO_RTU>",
                        Pargen());
    EXPECT_FALSE(report.complete);
    EXPECT_EQ(report.document, BuildReport::Document::TranslateTable);
    ASSERT_TRUE(report.row.has_value());
    EXPECT_EQ(*report.row, 2u);
    EXPECT_EQ(report.attribute, "RTU_ADD_DEV");
    EXPECT_FALSE(report.text.has_value());
    EXPECT_EQ(report.description, "var.xml: row 3 has no attribute RTU_ADD_DEV");
    EXPECT_EQ(image[7], 2);
    EXPECT_EQ(image[13], 5);
    EXPECT_EQ(image[14], 3);
    EXPECT_EQ(Word(15), 12);
    EXPECT_TRUE(ZeroFrom(17, kImageSize - 1)); // the rest of row 3, row 4, the parameter block
}

TEST_F(ImageBuild, TextThatIsNotAnIntegerStopsTheBuild) {
    for (const char* bad : {"abc", "", "12 ", "0x", "99999999999"}) {
        auto report = Build("<TCP_TO_RTU>" + Row("1", "10", "2", bad, "3") + "</TCP_TO_RTU>", Pargen());
        EXPECT_FALSE(report.complete) << bad;
        EXPECT_EQ(report.attribute, "RTU_ADDRESS");
        ASSERT_TRUE(report.text.has_value());
        EXPECT_EQ(*report.text, bad);
        EXPECT_EQ(image[3], 2);
        EXPECT_TRUE(ZeroFrom(4, kImageSize - 1)) << bad;
    }
}

TEST_F(ImageBuild, ANodeThatIsNotARowStopsTheBuild) {
    auto report = Build("<TCP_TO_RTU>" + Row("1", "10", "2", "20", "3") + "stray text" +
                            Row("2", "11", "4", "21", "5") + "</TCP_TO_RTU>",
                        Pargen());
    EXPECT_FALSE(report.complete);
    EXPECT_EQ(*report.row, 1u);
    EXPECT_EQ(report.attribute, "DATA_TYPE");
    EXPECT_EQ(image[0], 1);
    EXPECT_TRUE(ZeroFrom(7, kImageSize - 1));
}

TEST_F(ImageBuild, CommentsAndProcessingInstructionsInsideAnElementAreNotContent) {
    // The builder and the general parameters editor read the same text; text split by a comment
    // is two text nodes, unusable as before (STOP_BIT then means one stop bit).
    const std::tuple<const char*, std::optional<std::string>, uint8_t> cases[] = {
        {"TCP_IP1=10<!-- plant LAN -->;STOP_BIT=1<!-- two -->;", "10", 1},
        {"TCP_IP1=<?pi x?>10;STOP_BIT=<!--c-->1<?pi?>;", "10", 1},
        {"STOP_BIT=1<!--c-->0;", "192", 0},
        {"TCP_IP1=1<!--c-->0;", std::nullopt, 0},
    };
    for (const auto& [overrides, ip1, stopBits] : cases) {
        auto report = Build("<TCP_TO_RTU>" + Row("1", "10", "2", "20", "3") + "</TCP_TO_RTU>",
                            Pargen(overrides));
        auto read = ReadGeneralParameters((dir / "pargen.xml").string());
        EXPECT_EQ(read[GeneralParameter::TCP_IP1], ip1) << overrides;
        EXPECT_EQ(report.complete, ip1.has_value()) << overrides << report.description;
        if (ip1) {
            EXPECT_EQ(image[15000], std::stoi(*ip1)) << overrides;
            EXPECT_EQ(image[image_offset::StopBits], stopBits) << overrides;
            EXPECT_EQ(DecodeGeneralParameters(read).twoStopBits, stopBits == 1) << overrides;
        }
    }
}

TEST_F(ImageBuild, TheBuilderAndTheEditorTakeTheSameTableElementAndRows) {
    const auto rows = Row("1", "10", "2", "20", "3") + Row("2", "11", "4", "21", "5");
    // Nodes ahead of the table are passed over, as they always were.
    for (const char* ahead : {"", "<?xml version=\"1.0\"?>", "<!--by hand-->", "<?pi x?><!--a-->"}) {
        auto report = Build(std::string(ahead) + "<TCP_TO_RTU>" + rows + "</TCP_TO_RTU>", Pargen());
        EXPECT_TRUE(report.complete) << ahead << report.description;
        EXPECT_EQ(image[7], 2) << ahead;
        EXPECT_EQ(ReadTranslateTable((dir / "var.xml").string()).rows.size(), 2u) << ahead;
    }
    // Nor is a comment or processing instruction among the rows a row: both read every row.
    for (const char* inside : {"<!--c-->", "<?pi x?>", "\n  <!-- pumps -->\n  "}) {
        auto report = Build("<TCP_TO_RTU>" + Row("1", "10", "2", "20", "3") + inside +
                                Row("2", "11", "4", "21", "5") + "</TCP_TO_RTU>",
                            Pargen());
        EXPECT_TRUE(report.complete) << inside << report.description;
        EXPECT_EQ(image[7], 2) << inside;
        auto read = ReadTranslateTable((dir / "var.xml").string());
        EXPECT_EQ(read.rows.size(), 2u) << inside;
        EXPECT_FALSE(read.stoppedAt) << inside;
    }
}

TEST_F(ImageBuild, ParameterFailuresLeaveEverythingAfterThemZero) {
    auto table = "<TCP_TO_RTU>" + Row("1", "10", "2", "20", "3") + "</TCP_TO_RTU>";

    auto report = Build(table, "<Other>" + Pargen() + "</Other>");
    EXPECT_FALSE(report.complete);
    EXPECT_EQ(report.document, BuildReport::Document::GeneralParameters);
    EXPECT_EQ(report.element, "General_Parameter");
    EXPECT_EQ(image[0], 1);
    EXPECT_TRUE(ZeroFrom(14000, kImageSize - 1));

    report = Build(table, Pargen("-TCP_PORT;"));
    EXPECT_FALSE(report.complete);
    EXPECT_EQ(report.element, "TCP_PORT");
    EXPECT_EQ(report.description, "pargen.xml: element TCP_PORT is missing");
    EXPECT_EQ(image[15011], 254);
    EXPECT_TRUE(ZeroFrom(15012, kImageSize - 1)); // time and date words included

    report = Build(table, Pargen("TIME_OUT=1e3;"));
    EXPECT_FALSE(report.complete);
    EXPECT_EQ(report.element, "TIME_OUT");
    EXPECT_EQ(*report.text, "1e3");
    EXPECT_EQ(image[15043], 2);
    EXPECT_TRUE(ZeroFrom(15044, kImageSize - 1));

    report = Build(table, Pargen("SNMP_PRIVATE=<b>x</b>;"));
    EXPECT_FALSE(report.complete);
    EXPECT_EQ(report.element, "SNMP_PRIVATE");
    EXPECT_EQ(image[15014], 'h');
    EXPECT_TRUE(ZeroFrom(15028, kImageSize - 1));

    report = Build(table, Pargen("-TCP_EN_GATE;"));
    EXPECT_FALSE(report.complete);
    EXPECT_EQ(report.element, "TCP_EN_GATE");
    EXPECT_EQ(Word(15049), 48238);
    EXPECT_EQ(image[15055], 1);
    EXPECT_EQ(image[15056], 0);

    report = Build(table, Pargen("TCP_EN_GATE=-2;"));
    EXPECT_TRUE(report.complete);
    EXPECT_EQ(image[15056], 0xFE);
}

TEST_F(ImageBuild, MissingGeneralParametersDocumentKeepsTheTable) {
    WriteFile(dir / "var.xml", "<TCP_TO_RTU>" + Row("4", "10", "2", "20", "3") + "</TCP_TO_RTU>");
    FixedClock clock(kBuildTime);
    auto report = BuildConfigurationImage((dir / "var.xml").string(), (dir / "none.xml").string(),
                                          clock, image);
    EXPECT_FALSE(report.complete);
    EXPECT_EQ(report.document, BuildReport::Document::GeneralParameters);
    EXPECT_EQ(image[0], 4);
    EXPECT_TRUE(ZeroFrom(7, kImageSize - 1));
}

} // namespace
} // namespace fabricor
