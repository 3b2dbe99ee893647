#include "rules/translate_rules.h"

#include <gtest/gtest.h>

namespace fabricor {
namespace {

using Column = TranslateColumn;

TranslateRowCells Row(std::string kind, std::string tcp, std::string dev = "1",
                      std::string rtu = "0", std::string points = "1", std::string name = "") {
    return {kind, tcp, dev, rtu, points, name};
}

std::vector<TranslateRowCells> Grid(std::vector<TranslateRowCells> filled, size_t total = 2000) {
    filled.resize(total);
    return filled;
}

TEST(TranslateRules, CollectsRowsUpToTheFirstEmptyAddressTcp) {
    auto rows = Grid({Row("Holding Register", "007", "$FF", "65535", "127", "pump"),
                      Row("Coil Status", ""), Row("nonsense", "x")});
    auto collected = CollectTranslateRows(rows);
    ASSERT_FALSE(collected.problem);
    ASSERT_EQ(collected.rows.size(), 1u);
    EXPECT_EQ(collected.rows[0], (TMyRec{3, 7, 255, 65535, 127, "pump"}));
}

TEST(TranslateRules, CellChecksInOrderWithTheirMessages) {
    struct Case {
        TranslateRowCells row;
        Column column;
        const char* message;
    };
    const Case cases[] = {
        {Row("", "1"), Column::DataType, "Error!! Data Type must be Holding Register or Input Register. "},
        {Row("Input Status", "65536"), Column::AddressTcp, "Error!! Address TCP must be between 0 and 65535. "},
        {Row("Input Status", "-1"), Column::AddressTcp, "Error!! Address TCP must be between 0 and 65535. "},
        {Row("Input Status", "1", "256"), Column::AddressDeviceRtu, "Error!! Address Device RTU must be between 0 and 255. "},
        {Row("Input Status", "1", ""), Column::AddressDeviceRtu, "Error!! Address Device RTU must be between 0 and 255. "},
        {Row("Input Register", "1", "1", "1 "), Column::AddressRtu, "Error!! Address RTU must be between 0 and 65535. "},
        {Row("Input Register", "1", "1", "1", "128"), Column::NPoint, "Error!! N° Point must be between 0 and 127. "},
    };
    for (const auto& c : cases) {
        auto rows = Grid({Row("Coil Status", "5"), c.row, Row("Coil Status", "9")});
        auto collected = CollectTranslateRows(rows);
        ASSERT_TRUE(collected.problem) << c.message;
        EXPECT_EQ(collected.problem->row, 2u);
        EXPECT_EQ(collected.problem->column, c.column);
        EXPECT_EQ(collected.problem->message, c.message);
    }
    auto edge = CollectTranslateRows(Grid({Row("Input Register", "0", "255", "0", "127")}));
    EXPECT_FALSE(edge.problem);
}

TEST(TranslateRules, KindCheckRunsOverEveryRowBeforeCollecting) {
    // Row 12 lies below the table's end, yet its kind name is examined first.
    auto rows = Grid({Row("Coil Status", "1", "999")});
    rows[11] = Row("holding register", "");
    auto confirmed = ConfirmTranslateRows(rows);
    ASSERT_TRUE(confirmed.problem);
    EXPECT_EQ(confirmed.problem->row, 12u);
    EXPECT_EQ(confirmed.problem->column, Column::DataType);
    EXPECT_EQ(confirmed.problem->message,
              "Error!! Type Data must be Holding Register or Input Register (Line 12). ");
    EXPECT_TRUE(confirmed.rows.empty());
}

TEST(TranslateRules, AFullTableKeepsRow2000) {
    std::vector<TranslateRowCells> rows;
    for (int i = 0; i < 2000; ++i)
        rows.push_back(Row("Coil Status", std::to_string(i), "1", "2", "3", "m" + std::to_string(i)));
    auto confirmed = ConfirmTranslateRows(rows);
    ASSERT_FALSE(confirmed.problem);
    ASSERT_EQ(confirmed.rows.size(), 2000u);
    EXPECT_EQ(confirmed.rows.back().TcpAddress, 1999);
    EXPECT_EQ(confirmed.rows.back().Mnemonic, "m1999");
}

TEST(TranslateRules, AnEmptyGridCollectsNothing) {
    auto confirmed = ConfirmTranslateRows(Grid({}, 1));
    EXPECT_FALSE(confirmed.problem);
    EXPECT_TRUE(confirmed.rows.empty());
}

TEST(TranslateRules, AllProblemsListsEachRefusedCellOnce) {
    auto rows = Grid({Row("Coil Status", "1", "300", "x", "128"), Row("Input status", "2"),
                      Row("", "3"), Row("", ""), Row("bad", "")});
    auto all = AllTranslateTableProblems(rows);
    ASSERT_EQ(all.size(), 6u);
    EXPECT_EQ(all[0].column, Column::AddressDeviceRtu);
    EXPECT_EQ(all[1].column, Column::AddressRtu);
    EXPECT_EQ(all[2].column, Column::NPoint);
    EXPECT_EQ(all[3].row, 2u);
    EXPECT_EQ(all[3].message, "Error!! Type Data must be Holding Register or Input Register (Line 2). ");
    EXPECT_EQ(all[4].row, 3u);
    EXPECT_EQ(all[4].message, "Error!! Data Type must be Holding Register or Input Register. ");
    EXPECT_EQ(all[5].row, 5u);
    EXPECT_EQ(all[5].column, Column::DataType);
}

TEST(TranslateRules, DocumentRowsBecomeCells) {
    EXPECT_EQ(CellsOfDocumentRow({{"4", "007", "1", "2", "3", "x"}}),
              (TranslateRowCells{"Input Register", "007", "1", "2", "3", "x"}));
    EXPECT_EQ(CellsOfDocumentRow({{"9", "1", "1", "2", "3", ""}})[0], "");
    EXPECT_EQ(CellsOfDocumentRow({{"1", "5"}}), (TranslateRowCells{"Coil Status", "5", "", "", "", ""}));
}

} // namespace
} // namespace fabricor
