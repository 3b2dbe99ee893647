#include "editors/translate_block.h"

#include <gtest/gtest.h>

namespace fabricor {
namespace {

TEST(TabText, ReadsWhatSpreadsheetsPutOnTheClipboard) {
    struct Case {
        const char* text;
        TextBlock block;
    };
    const Case cases[] = {
        {"a\tb\r\nc\td\r\n", {{"a", "b"}, {"c", "d"}}},     // CR LF and a trailing line break
        {"a\tb\nc\n\n", {{"a", "b"}, {"c", ""}, {"", ""}}}, // only one trailing break is dropped
        {"\"x\ty\"\t\"say \"\"hi\"\"\"\r\n", {{"x\ty", "say \"hi\""}}},
        {"\"two\r\nlines\"\tz", {{"two\r\nlines", "z"}}},
        {"ab\"c\t\"open", {{"ab\"c", "\"open"}}}, // quotes inside a cell or unclosed are text
        {"\t\r\n", {{"", ""}}},
        {"", {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseTabText(c.text), c.block) << c.text;
        if (!c.block.empty()) {
            EXPECT_EQ(ParseTabText(FormatTabText(c.block)), c.block) << c.text;
        }
    }
    EXPECT_EQ(FormatTabText({{"a", "b\tc"}, {"", "q\""}}), "a\t\"b\tc\"\r\n\t\"q\"\"\"\r\n");
}

TEST(TabText, PastedCellsAreReadAsTheEditorReadsThem) {
    EXPECT_EQ(PastedTranslateCell(TranslateColumn::DataType, "  hOLDING register "),
              "Holding Register");
    EXPECT_EQ(PastedTranslateCell(TranslateColumn::DataType, "coil"), "coil");
    EXPECT_EQ(PastedTranslateCell(TranslateColumn::AddressTcp, " 0x10 "), "0x10");
    EXPECT_EQ(PastedTranslateCell(TranslateColumn::Mnemonic, " pump 1 "), " pump 1 ");
}

TEST(TabText, FillDownCountsOnOverConsecutiveBlocks) {
    TranslateRowCells row{"Holding Register", "100", "1", "0x20", "8", "m"};
    EXPECT_EQ(FilledDownTranslateCell(TranslateColumn::AddressTcp, row), "108");
    EXPECT_EQ(FilledDownTranslateCell(TranslateColumn::AddressRtu, row), "40");
    EXPECT_EQ(FilledDownTranslateCell(TranslateColumn::AddressDeviceRtu, row), "1");
    EXPECT_EQ(FilledDownTranslateCell(TranslateColumn::Mnemonic, row), "m");
    CellOf(row, TranslateColumn::NPoint) = ""; // not a whole row: copied
    EXPECT_EQ(FilledDownTranslateCell(TranslateColumn::AddressTcp, row), "100");
}

} // namespace
} // namespace fabricor
