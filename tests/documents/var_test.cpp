#include "documents/var.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace fabricor {
namespace {

using test_support::ReadFile;
using test_support::TempDir;
using test_support::WriteFile;

std::string Path(const TempDir& dir) { return (dir / "var.xml").string(); }

std::vector<std::string> Cells(std::initializer_list<const char*> texts) {
    return {texts.begin(), texts.end()};
}

TEST(TranslateTableWriter, WritesRowsInOrderOnOneLine) {
    TempDir dir;
    std::vector<TMyRec> rows = {{3, 7, 1, 40001, 10, "pump"}, {1, 65535, 255, 0, 127, ""}};
    ASSERT_TRUE(WriteTranslateTable(Path(dir), rows));
    EXPECT_EQ(ReadFile(dir / "var.xml"),
              "<TCP_TO_RTU><row DATA_TYPE=\"3\" TCP_ADDRESS=\"7\" RTU_ADD_DEV=\"1\" "
              "RTU_ADDRESS=\"40001\" N_POINT=\"10\" MNEMONIC=\"pump\"/><row DATA_TYPE=\"1\" "
              "TCP_ADDRESS=\"65535\" RTU_ADD_DEV=\"255\" RTU_ADDRESS=\"0\" N_POINT=\"127\" "
              "MNEMONIC=\"\"/></TCP_TO_RTU>");
    auto read = ReadTranslateTable(Path(dir));
    ASSERT_EQ(read.rows.size(), 2u);
    EXPECT_EQ(read.rows[0].cells, Cells({"3", "7", "1", "40001", "10", "pump"}));
    EXPECT_EQ(read.rows[1].cells, Cells({"1", "65535", "255", "0", "127", ""}));
    EXPECT_FALSE(read.stoppedAt);
}

TEST(TranslateTableWriter, EmptyTableIsABareRoot) {
    TempDir dir;
    ASSERT_TRUE(WriteTranslateTable(Path(dir), {}));
    EXPECT_EQ(ReadFile(dir / "var.xml"), "<TCP_TO_RTU/>");
    auto read = ReadTranslateTable(Path(dir));
    EXPECT_EQ(read.outcome, ReadOutcome::Read);
    EXPECT_TRUE(read.rows.empty());
}

TEST(TranslateTableReader, TakesAnyRootAndRowNamesAndIgnoresIndentation) {
    TempDir dir;
    WriteFile(dir / "var.xml",
              "<Table>\n  <line MNEMONIC=\"é\" N_POINT=\"1\" RTU_ADDRESS=\"2\" RTU_ADD_DEV=\"3\" "
              "TCP_ADDRESS=\"4\" DATA_TYPE=\"7\"/>\n</Table>\n");
    auto read = ReadTranslateTable(Path(dir));
    ASSERT_EQ(read.rows.size(), 1u);
    EXPECT_EQ(read.rows[0].cells, Cells({"7", "4", "3", "2", "1", "é"}));
    EXPECT_FALSE(DecodeDataType(read.rows[0].cells[0]));
    EXPECT_EQ(DecodeDataType("4"), 3);
    EXPECT_EQ(DecodeDataType("1"), 0);
    EXPECT_FALSE(DecodeDataType(""));
}

TEST(TranslateTableReader, StopsAtTheFirstAbsentAttributeKeepingWhatWasRead) {
    TempDir dir;
    const char* full = "<row DATA_TYPE=\"1\" TCP_ADDRESS=\"1\" RTU_ADD_DEV=\"1\" RTU_ADDRESS=\"1\" "
                       "N_POINT=\"1\" MNEMONIC=\"m\"/>";
    WriteFile(dir / "var.xml", std::string("<TCP_TO_RTU>") + full + full +
                                   "<row DATA_TYPE=\"2\" TCP_ADDRESS=\"2\" RTU_ADD_DEV=\"2\" "
                                   "RTU_ADDRESS=\"2\" N_POINT=\"2\"/>" +
                                   full + "</TCP_TO_RTU>");
    auto read = ReadTranslateTable(Path(dir));
    ASSERT_EQ(read.rows.size(), 3u);
    EXPECT_TRUE(read.rows[1].complete());
    EXPECT_EQ(read.rows[2].cells, Cells({"2", "2", "2", "2", "2"}));
    ASSERT_TRUE(read.stoppedAt);
    EXPECT_EQ(read.stoppedAt->row, 2u);
    EXPECT_EQ(read.stoppedAt->attribute, RowAttribute::MNEMONIC);
}

TEST(TranslateTableReader, ReadsAtMost2000Rows) {
    TempDir dir;
    std::vector<TMyRec> rows(2500, TMyRec{1, 2, 3, 4, 5, "x"});
    ASSERT_TRUE(WriteTranslateTable(Path(dir), rows));
    auto read = ReadTranslateTable(Path(dir));
    EXPECT_EQ(read.rows.size(), kMaxTranslateRows);
    EXPECT_FALSE(read.stoppedAt);
}

TEST(TranslateTableReader, ReportsMissingAndMalformedFiles) {
    TempDir dir;
    EXPECT_EQ(ReadTranslateTable(Path(dir)).outcome, ReadOutcome::NoFile);
    WriteFile(dir / "var.xml", "<TCP_TO_RTU><row");
    auto read = ReadTranslateTable(Path(dir));
    EXPECT_EQ(read.outcome, ReadOutcome::NotWellFormed);
    EXPECT_NE(read.error.find("var.xml"), std::string::npos);
}

TEST(TranslateTableReader, DoesNotExpandDeclaredEntities) {
    TempDir dir;
    WriteFile(dir / "var.xml",
              "<!DOCTYPE t [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;\">]>"
              "<t><row DATA_TYPE=\"1\" TCP_ADDRESS=\"1\" RTU_ADD_DEV=\"1\" RTU_ADDRESS=\"1\" "
              "N_POINT=\"1\" MNEMONIC=\"&b;\"/></t>");
    auto read = ReadTranslateTable(Path(dir));
    ASSERT_EQ(read.rows.size(), 1u);
    EXPECT_LT(read.rows[0].cells[5].size(), 10u);
}

} // namespace
} // namespace fabricor
