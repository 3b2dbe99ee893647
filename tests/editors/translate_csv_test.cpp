#include "rules/translate_csv.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <random>

namespace fabricor {
namespace {

using test_support::ReadFile;
using test_support::TempDir;
using test_support::WriteFile;

const std::string kHeader =
    "Data Type,Address TCP,Address Device RTU,Address RTU,N° Point,Mnemonic";

std::vector<std::string> Described(const TranslateCsvImport& imported) {
    std::vector<std::string> lines;
    for (const auto& problem : imported.problems)
        lines.push_back(DescribeCsvProblem(problem));
    return lines;
}

TEST(TranslateCsv, ExportWritesTheGridTitlesAndQuotesOnlyWhatNeedsIt) {
    std::vector<TMyRec> rows = {{3, 7, 1, 100, 4, "pump"},
                                {1, 0, 255, 65535, 127, "a,b \"c\";\r\nd Größe"}};
    EXPECT_EQ(TranslateTableToCsv(rows, {}),
              kHeader + "\r\nHolding Register,7,1,100,4,pump\r\n"
                        "Coil Status,0,255,65535,127,\"a,b \"\"c\"\";\r\nd Größe\"\r\n");
    std::string semicolon = TranslateTableToCsv({{2, 1, 2, 3, 4, "x,y"}}, {';', true});
    EXPECT_EQ(semicolon,
              "\xEF\xBB\xBF"
              "Data Type;Address TCP;Address Device RTU;Address RTU;N° Point;Mnemonic\r\n"
              "Input Status;1;2;3;4;x,y\r\n");
    EXPECT_EQ(
        TranslateTableToCsv({{4, 1, 2, 3, 4, "a\tb"}}, {'\t', false}).substr(kHeader.size() + 2),
        "Input Register\t1\t2\t3\t4\t\"a\tb\"\r\n");
}

// What spreadsheets write, each read into the same two rows.
TEST(TranslateCsv, DialectsAllReadTheSame) {
    const std::vector<TMyRec> expected = {{3, 7, 1, 100, 4, "pump, \"main\""}, {4, 8, 2, 0, 1, ""}};
    struct Case {
        const char* name;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"comma, CR LF", kHeader + "\r\nHolding Register,7,1,100,4,\"pump, \"\"main\"\"\"\r\nInput "
                                   "Register,8,2,0,1,\r\n"},
        {"comma, LF, no last line end",
         kHeader + "\nHolding Register,7,1,100,4,\"pump, \"\"main\"\"\"\nInput Register,8,2,0,1,"},
        {"comma, lone CR (old Mac)",
         kHeader +
             "\rHolding Register,7,1,100,4,\"pump, \"\"main\"\"\"\rInput Register,8,2,0,1,\r"},
        {"byte order mark",
         "\xEF\xBB\xBF" + kHeader +
             "\r\nHolding Register,7,1,100,4,\"pump, \"\"main\"\"\"\r\n4,8,2,0,1,\r\n"},
        {"semicolon",
         "Data Type;Address TCP;Address Device RTU;Address RTU;N° Point;Mnemonic\r\n"
         "Holding Register;7;1;100;4;\"pump, \"\"main\"\"\"\r\nInput Register;8;2;0;1;\r\n"},
        {"tab, every field quoted",
         "\"Data Type\"\t\"Address TCP\"\t\"Address Device RTU\"\t\"Address RTU\"\t\"N° "
         "Point\"\t\"Mnemonic\"\n"
         "\"Holding Register\"\t\"7\"\t\"1\"\t\"100\"\t\"4\"\t\"pump, \"\"main\"\"\"\n"
         "\"Input Register\"\t\"8\"\t\"2\"\t\"0\"\t\"1\"\t\"\"\n"},
        {"columns in another order, codes, numbers as the editor takes them, blank lines",
         "Mnemonic,N° Point,Address RTU,Address Device RTU,Address TCP,Data Type\r\n\r\n"
         "\"pump, \"\"main\"\"\",4,$64,01,007,3\r\n,,,,,\r\n,1,0,2,8,4\r\n\r\n"},
    };
    for (const auto& c : cases) {
        auto imported = TranslateTableFromCsv(c.text);
        EXPECT_TRUE(imported.ok())
            << c.name << ": " << (imported.ok() ? "" : Described(imported).front());
        EXPECT_EQ(imported.rows, expected) << c.name;
    }
}

// Every problem, one each, with its line and the editor's own message, in the order of the file.
TEST(TranslateCsv, RefusedFilesSayWhereAndWhy) {
    struct Case {
        const char* name;
        std::string text;
        std::vector<std::string> problems;
    };
    const std::vector<Case> cases = {
        {"cell checks",
         kHeader + "\r\nHolding Register,7,1,100,4,ok\r\nholding "
                   "register,65536,256,1,128,\"two\r\nlines\"\r\n"
                   "Input Register,,1,-1,5,x\r\n5,1,1,1,1,\r\n",
         {"line 3 Data Type: Error!! Data Type must be Holding Register or Input Register. ",
          "line 3 Address TCP: Error!! Address TCP must be between 0 and 65535. ",
          "line 3 Address Device RTU: Error!! Address Device RTU must be between 0 and 255. ",
          "line 3 N° Point: Error!! N° Point must be between 0 and 127. ",
          "line 5 Address TCP: Error!! Address TCP must be between 0 and 65535. ",
          "line 5 Address RTU: Error!! Address RTU must be between 0 and 65535. ",
          "line 6 Data Type: Error!! Data Type must be Holding Register or Input Register. "}},
        {"line ends CR, LF and CR LF mixed, a quoted CR",
         kHeader + "\rCoil Status,1,1,1,1,\"a\rb\"\nCoil Status,2,1,1,1,\r\n"
                   "Coil Status,70000,1,1,1,\r",
         {"line 5 Address TCP: Error!! Address TCP must be between 0 and 65535. "}},
        {"missing, unknown and repeated columns",
         "Data Type,Adress TCP,Address Device RTU,Address RTU,N° Point,Mnemonic,Mnemonic\r\n",
         {"line 1: column \"Adress TCP\" is unknown", "line 1: column \"Mnemonic\" appears twice",
          "line 1: column \"Address TCP\" is missing"}},
        {"a value under a column without a title",
         kHeader + ",\nCoil Status,1,1,1,1,m,\nCoil Status,1,1,1,1,m,x\n",
         {"line 3: a value in column 7, which has no title"}},
        {"a row with too few fields",
         kHeader + "\nCoil Status,1,1,1,1\n",
         {"line 2: 5 fields where the header has 6"}},
        {"not CSV",
         "<TCP_TO_RTU><row/></TCP_TO_RTU>\n",
         {"line 1: the header has no comma, semicolon or tab between column titles; not a CSV "
          "translate table"}},
        {"empty",
         "",
         {"line 1: the header has no comma, semicolon or tab between column titles; not a CSV "
          "translate table"}},
        {"NUL byte",
         kHeader + "\nCoil Status,1,1,1,1,a" + std::string(1, '\0') + "b\n",
         {"line 2: a NUL byte; this is not a CSV text file"}},
        {"invalid UTF-8",
         kHeader + "\nCoil Status,1,1,1,1,ok\nCoil Status,1,1,1,1,\xB0\n",
         {"line 3: text that is not UTF-8; save the file as CSV UTF-8"}},
        {"quote never closed",
         kHeader + "\nCoil Status,1,1,1,1,ok\nCoil Status,1,1,1,1,\"open\nmore\n",
         {"line 3: a quote opened here is never closed"}},
        {"NUL byte after lone CRs",
         kHeader + "\rCoil Status,1,1,1,1,a\rb" + std::string(1, '\0'),
         {"line 3: a NUL byte; this is not a CSV text file"}},
        {"quote in the wrong place",
         kHeader + "\nCoil Status,1,1,1,1,\"a\"b\n",
         {"line 2: a quote in the wrong place: a quoted field begins and ends with a quote, and a "
          "quote "
          "inside it is doubled"}},
    };
    for (const auto& c : cases) {
        auto imported = TranslateTableFromCsv(c.text);
        EXPECT_TRUE(imported.rows.empty()) << c.name;
        EXPECT_EQ(Described(imported), c.problems) << c.name;
    }
}

TEST(TranslateCsv, AtMost2000Rows) {
    std::string rows = kHeader + "\r\n";
    for (int i = 0; i < 100000; ++i)
        rows += "Coil Status," + std::to_string(i % 60000) + ",1,1,1,m\r\n";
    auto imported = TranslateTableFromCsv(rows);
    EXPECT_EQ(Described(imported),
              std::vector<std::string>{
                  "line 2002: more than 2000 rows; the translate table holds at most 2000"});
    // A file past 16 MiB: see the 1 GiB line of the hardening tests.
}

// A cell a spreadsheet would run as a formula is written behind an apostrophe, which import takes
// away again; a cell that merely begins with apostrophes keeps them.
TEST(TranslateCsv, CellsThatBeginLikeFormulasAreWrittenAsText) {
    // clang-format off
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"=HYPERLINK(\"x\")", "\"'=HYPERLINK(\"\"x\"\")\""},
        {"=cmd|' /C calc'!A0", "'=cmd|' /C calc'!A0"},
        {"+1", "'+1"}, {"-1", "'-1"}, {"@x", "'@x"}, {"\tx", "'\tx"}, {"\rx", "\"'\rx\""},
        {"'=x", "''=x"}, {"''@x", "'''@x"}, {"'x", "'x"}, {"a=b", "a=b"}, {" =x", " =x"}};
    // clang-format on
    for (const auto& [mnemonic, cell] : cases) {
        const std::vector<TMyRec> rows = {{3, 1, 2, 3, 4, mnemonic}};
        const std::string csv = TranslateTableToCsv(rows, {});
        EXPECT_EQ(csv.substr(csv.find("\r\n") + 2), "Holding Register,1,2,3,4," + cell + "\r\n");
        auto imported = TranslateTableFromCsv(csv);
        ASSERT_TRUE(imported.ok()) << mnemonic;
        EXPECT_EQ(imported.rows, rows) << mnemonic;
    }
}

// Random tables, mnemonics full of separators, quotes, line breaks and letters beyond ASCII:
// export then import gives the same var.xml byte for byte, and exporting again the same CSV.
TEST(TranslateCsv, RoundTripOverRandomTablesLosesNothing) {
    std::mt19937 random(13);
    const std::vector<std::string> pieces = {"a",  ",", ";", "\"",    "\r\n", "\n",
                                             "\t", " ", "é", "Größe", "水",   "€",
                                             "=",  "+", "-", "@",     "'",    "\r"};
    TempDir dir;
    for (int table = 0; table < 30; ++table) {
        std::vector<TMyRec> rows(random() % 40);
        for (auto& rec : rows) {
            rec.DataType = static_cast<uint8_t>(1 + random() % 4);
            rec.TcpAddress = static_cast<uint16_t>(random());
            rec.RtuAddDev = static_cast<uint8_t>(random());
            rec.RtuAddress = static_cast<uint16_t>(random());
            rec.NPoint = static_cast<uint8_t>(random() % 128);
            for (size_t n = random() % 6; n > 0; --n)
                rec.Mnemonic += pieces[random() % pieces.size()];
        }
        ASSERT_TRUE(WriteTranslateTable((dir / "before.xml").string(), rows).ok());
        const TranslateCsvOptions options{",;\t"[table % 3], table % 2 == 0};
        const std::string csv = TranslateTableToCsv(rows, options);
        auto imported = TranslateTableFromCsv(csv);
        ASSERT_TRUE(imported.ok()) << Described(imported).front();
        ASSERT_TRUE(WriteTranslateTable((dir / "after.xml").string(), imported.rows).ok());
        EXPECT_EQ(ReadFile(dir / "after.xml"), ReadFile(dir / "before.xml"));
        EXPECT_EQ(TranslateTableToCsv(imported.rows, options), csv);
    }
}

} // namespace
} // namespace fabricor
