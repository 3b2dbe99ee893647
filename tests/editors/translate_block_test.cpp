#include "rules/translate_block.h"

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

TEST(TabText, FindWrapsAndGoToFindsTheServingRow) {
    const std::vector<TranslateRowCells> rows = {
        {"Holding Register", "100", "1", "16", "8", "Pump"},
        {"Coil Status", "104", "1", "0", "4", "pump relay"},
        {"Holding Register", "200", "2", "0", "1", ""},
    };
    using C = TranslateColumn;
    const auto find = [&](const char* needle, size_t row, C col) {
        return FindTranslateCell(rows, needle, {row, col});
    };
    EXPECT_EQ(find("PUMP", 1, C::DataType), (TranslateCellPlace{1, C::Mnemonic}));
    EXPECT_EQ(find("pump", 1, C::Mnemonic), (TranslateCellPlace{2, C::Mnemonic}));
    EXPECT_EQ(find("pump", 2, C::Mnemonic), (TranslateCellPlace{1, C::Mnemonic})); // wraps
    EXPECT_EQ(find("0x10", 3, C::Mnemonic), (TranslateCellPlace{1, C::AddressRtu}));
    EXPECT_EQ(find("valve", 1, C::DataType), std::nullopt);

    EXPECT_EQ(GoToTranslateRow(rows, " 3 "), 3u);
    EXPECT_EQ(GoToTranslateRow(rows, "4"), std::nullopt);
    EXPECT_EQ(GoToTranslateRow(rows, "holding register 107"), 1u);
    EXPECT_EQ(GoToTranslateRow(rows, "Holding Register 108"), std::nullopt);
    EXPECT_EQ(GoToTranslateRow(rows, "coil status 104"), 2u);
}

} // namespace
} // namespace fabricor
