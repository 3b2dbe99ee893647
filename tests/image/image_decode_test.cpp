#include "image/image_decode.h"

#include "support/sample_project.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace fabricor {
namespace {

using namespace fabricor::test_support;
namespace fs = std::filesystem;

ConfigurationImage Build(const std::string& var, const std::string& pargen) {
    ConfigurationImage image{};
    FixedClock clock(LocalTime{2026, 12, 8, 14, 35, 47});
    auto report =
        BuildConfigurationImageFromText(var, "var.xml", pargen, "pargen.xml", clock, image);
    EXPECT_TRUE(report.complete) << report.description;
    return image;
}

TEST(ImageDecode, GivesTheDocumentsTextsAndTheBuildWords) {
    std::string pargen = kSamplePargen;
    pargen.replace(pargen.find("<BAUD>3"), 7, "<BAUD>-1");
    pargen.replace(pargen.find("harbor"), 6, "h\xC3\xA9ron");
    auto decoded = DecodeImage(Build(kSampleVar, pargen));
    EXPECT_EQ(decoded.pargen[Index(GeneralParameter::TCP_IP1)], "10");
    EXPECT_EQ(decoded.pargen[Index(GeneralParameter::TCP_PORT)], "502");
    EXPECT_EQ(decoded.pargen[Index(GeneralParameter::BAUD)], "-1");
    EXPECT_EQ(decoded.pargen[Index(GeneralParameter::SNMP_PUBLIC)], "h\xC3\xA9ron");
    EXPECT_EQ(decoded.pargen[Index(GeneralParameter::OFFSET)], "10000");
    EXPECT_EQ(decoded.pargen[Index(GeneralParameter::STOP_BIT)], "0");
    ASSERT_EQ(decoded.rows.size(), 1u);
    EXPECT_EQ(decoded.rows[0], (TMyRec{3, 1, 2, 3, 4, ""}));
    EXPECT_EQ(DescribeBuildWords(decoded.timeWord, decoded.dateWord), "14:35:46 on 2026-12-08");
    EXPECT_EQ(DescribeBuildWords(0, 0), "not a valid time (time word 0, date word 0)");
}

TEST(ImageDecode, ComparisonNamesFieldsAndIgnoresTheBuildWords) {
    ConfigurationImage a = Build(kSampleVar, kSamplePargen);
    ConfigurationImage b = a;
    b[image_offset::BuildTime] ^= 0xFF;
    b[image_offset::BuildDate + 1] ^= 0xFF;
    EXPECT_TRUE(CompareImages(a, b, "project", "firmware").empty());
    b[4] = 101; // row 1 RTU_ADDRESS
    b[image_offset::TcpPort] = 0xF7;
    b[7 * 16] = 1; // a row 17 where the project has none
    b[15100] = 9;
    auto lines = CompareImages(a, b, "project", "firmware");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "var.xml row 1 RTU_ADDRESS: project 3, firmware 101");
    EXPECT_EQ(lines[1], "var.xml row 17: project no row, firmware DATA_TYPE 1 TCP_ADDRESS 0 "
                        "RTU_ADD_DEV 0 RTU_ADDRESS 0 N_POINT 0");
    EXPECT_EQ(lines[2], "pargen.xml TCP_PORT: project 502, firmware 503");
    EXPECT_EQ(lines[3], "image offset 15100 (no document field): project 0, firmware 9");
}

TEST(ImageDecode, WritesBothDocumentsThatBuildTheSameImage) {
    TempDir dir;
    ConfigurationImage image = Build(kSampleVar, kSamplePargen);
    image[7 * 5] = 4; // a record after the first empty slot: the table ends before it
    image[image_offset::StopBits] = 7;
    std::vector<std::string> notes;
    ASSERT_TRUE(WriteDecodedProject(dir.str(), image, notes).ok());
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0].rfind("var.xml row 6: image DATA_TYPE 4", 0), 0u) << notes[0];
    EXPECT_EQ(notes[1], "pargen.xml STOP_BIT: image 7, project 0");

    image[7 * 5] = 0;
    image[image_offset::StopBits] = 1;
    TempDir again;
    notes.clear();
    ASSERT_TRUE(WriteDecodedProject(again.str(), image, notes).ok());
    EXPECT_TRUE(notes.empty());
    ConfigurationImage rebuilt{};
    FixedClock clock(LocalTime{2026, 12, 8, 14, 35, 47});
    BuildConfigurationImage((again / "var.xml").string(), (again / "pargen.xml").string(), clock,
                            rebuilt);
    EXPECT_EQ(rebuilt, image);
    // The two documents and an empty bin folder, as a new project has; no temporary is left.
    EXPECT_EQ(std::distance(fs::directory_iterator(again.path()), fs::directory_iterator()), 3);
    EXPECT_TRUE(fs::is_empty(again.path() / "bin"));
}

TEST(ImageDecode, NeverReplacesAnExistingProject) {
    TempDir dir;
    WriteFile(dir / "var.xml", "keep");
    std::vector<std::string> notes;
    auto written = WriteDecodedProject(dir.str(), Build(kSampleVar, kSamplePargen), notes);
    EXPECT_FALSE(written.ok());
    EXPECT_NE(written.message().find("var.xml: already exists"), std::string::npos);
    EXPECT_EQ(ReadFile(dir / "var.xml"), "keep");
    EXPECT_FALSE(fs::exists(dir / "pargen.xml"));
}

} // namespace
} // namespace fabricor
