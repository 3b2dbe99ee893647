#include "rules/translate_analysis.h"

#include <gtest/gtest.h>

namespace fabricor {
namespace {

std::vector<std::string> Texts(const TranslateTableAnalysis& analysis) {
    std::vector<std::string> texts;
    for (const auto& warning : analysis.warnings)
        texts.push_back(warning.text);
    return texts;
}

TEST(TranslateAnalysis, WarningCases) {
    struct Case {
        const char* name;
        std::vector<std::optional<TMyRec>> rows;
        std::vector<std::string> warnings;
    };
    const TMyRec hr{3, 10, 1, 100, 5, ""};
    const std::vector<Case> cases = {
        {"a clean table", {hr, TMyRec{3, 15, 1, 105, 5, ""}, TMyRec{4, 10, 1, 100, 5, ""}}, {}},
        {"overlap of one data type, both rows and the shared addresses",
         {hr, TMyRec{1, 0, 2, 0, 1, ""}, TMyRec{3, 12, 1, 200, 10, ""}},
         {"rows 1 and 3: Holding Register TCP addresses 12 to 14 overlap"}},
        {"one shared address",
         {hr, TMyRec{3, 14, 2, 0, 1, ""}},
         {"rows 1 and 2: Holding Register TCP address 14 overlap"}},
        {"ranges past 65535 on either side",
         {TMyRec{2, 65534, 1, 65535, 3, ""}},
         {"row 1: TCP addresses 65534 to 65536 run past 65535",
          "row 1: RTU addresses 65535 to 65537 run past 65535"}},
        {"N° Point 0 maps nothing and overlaps nothing",
         {hr, TMyRec{3, 10, 1, 100, 0, ""}},
         {"row 2: N° Point is 0, the row maps nothing"}},
        {"the same RTU read twice, at other TCP addresses",
         {hr, TMyRec{3, 50, 1, 100, 5, "again"}},
         {"rows 1 and 2 read the same: RTU device 1, Holding Register RTU addresses 100 to 104"}},
        {"rows the checks refuse are left out",
         {hr, std::nullopt, TMyRec{3, 10, 1, 300, 1, ""}},
         {"rows 1 and 3: Holding Register TCP address 10 overlap"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Texts(AnalyseTranslateTable(c.rows)), c.warnings) << c.name;
}

TEST(TranslateAnalysis, CountsMarksAndSummary) {
    std::vector<TMyRec> rows(2000, TMyRec{3, 0, 1, 0, 1, ""});
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i].RtuAddress = static_cast<uint16_t>(i); // all on TCP address 0: every pair overlaps
    auto analysis = AnalyseTranslateTable(rows);
    EXPECT_EQ(analysis.overlaps, 2000u * 1999 / 2);
    EXPECT_TRUE(analysis.full);
    EXPECT_EQ(analysis.warnings.size(), kMaxListedTableWarnings);
    EXPECT_EQ(analysis.unlisted, analysis.overlaps + 1 - kMaxListedTableWarnings);
    EXPECT_EQ(TableAnalysisSummary(analysis),
              "2000 of 2000 rows · 1999000 overlaps"); // one spelling
    // Every row is marked, each with a few of its warnings.
    ASSERT_EQ(analysis.rowNotes.size(), 2000u);
    EXPECT_EQ(analysis.rowNotes[1999].rfind(
                  "rows 1 and 2000: Holding Register TCP address 0 overlap\n", 0),
              0u);
    EXPECT_EQ(analysis.rowNotes[1999].substr(analysis.rowNotes[1999].size() - 4), "\n…");

    auto few = AnalyseTranslateTable(std::vector<TMyRec>{
        TMyRec{3, 10, 1, 0, 5, ""}, TMyRec{3, 12, 1, 0, 5, ""}, TMyRec{3, 100, 1, 7, 0, ""}});
    EXPECT_EQ(TableAnalysisSummary(few),
              "3 of 2000 rows · 1 overlap · 1 without points · 1 duplicate");
    EXPECT_EQ(few.rowNotes[2], "row 3: N° Point is 0, the row maps nothing");
    EXPECT_EQ(few.rowNotes[0],
              "rows 1 and 2: Holding Register TCP addresses 12 to 14 overlap\n"
              "rows 1 and 2 read the same: RTU device 1, Holding Register RTU addresses 0 to 4");
}

// What the gateway can never serve: whole rows and the parts of rows no request reaches.
TEST(TranslateAnalysis, UnreachableRows) {
    struct Case {
        const char* name;
        std::vector<TMyRec> rows;
        std::vector<std::string> lines;
    };
    const TMyRec hr{3, 10, 1, 100, 5, ""};
    const std::vector<Case> cases = {
        {"overlaps that leave each row something of its own",
         {hr, TMyRec{3, 12, 2, 0, 5, ""}, TMyRec{3, 8, 2, 0, 4, ""}},
         {}},
        {"within an earlier row of its kind, however far back",
         {hr, TMyRec{4, 11, 1, 0, 2, ""}, TMyRec{3, 11, 2, 0, 2, ""}, TMyRec{3, 10, 3, 0, 5, ""}},
         {"row 3: Holding Register TCP addresses 11 to 12 all lie within row 1's, which comes "
          "first: row 3 is never used",
          "row 4: Holding Register TCP addresses 10 to 14 all lie within row 1's, which comes "
          "first: row 4 is never used"}},
        {"a later, wider row shadows nothing", {TMyRec{3, 11, 2, 0, 2, ""}, hr}, {}},
        {"no points",
         {TMyRec{1, 0, 1, 0, 0, ""}},
         {"row 1: N° Point is 0, the row maps nothing: "
          "no request reaches it"}},
        {"past 65535 on the TCP side, then on the RTU side",
         {TMyRec{3, 65534, 1, 0, 4, ""}, TMyRec{3, 100, 1, 65534, 4, ""}},
         {"row 1: TCP addresses 65534 to 65537 run past 65535: TCP addresses 65536 to 65537 can "
          "never be requested",
          "row 2: RTU addresses 65534 to 65537 run past 65535: TCP addresses 102 to 103 map to no "
          "RTU address and are never served"}},
        {"what an earlier row serves is only what maps to RTU addresses",
         {TMyRec{3, 100, 1, 65534, 4, ""}, TMyRec{3, 101, 1, 0, 2, ""}},
         {"row 1: RTU addresses 65534 to 65537 run past 65535: TCP addresses 102 to 103 map to no "
          "RTU address and are never served"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UnreachableRows(c.rows), c.lines) << c.name;
}

} // namespace
} // namespace fabricor
