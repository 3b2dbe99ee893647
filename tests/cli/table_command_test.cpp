#include "cli/cli.h"

#include "documents/pargen.h"
#include "documents/var.h"
#include "support/cli_run.h"
#include "support/sample_project.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <sstream>

namespace fabricor::cli {
namespace {

using fabricor::test_support::Cli;
using fabricor::test_support::ReadFile;
using fabricor::test_support::TempDir;
using fabricor::test_support::WriteFile;

const std::string kHeader =
    "Data Type,Address TCP,Address Device RTU,Address RTU,N° Point,Mnemonic\r\n";

class TableCommandTest : public ::testing::Test {
protected:
    TableCommandTest() {
        WriteFile(project / "pargen.xml", fabricor::test_support::kSamplePargen);
        EXPECT_TRUE(WriteTranslateTable(var().string(), {{3, 1, 2, 3, 4, "pump; \"main\", Größe"},
                                                         {1, 10, 1, 0, 8, "line\r\nbreak"}})
                        .ok());
    }
    std::filesystem::path var() const { return project / "var.xml"; }
    TempDir project;
};

TEST_F(TableCommandTest, ExportToStandardOutputAndToAFile) {
    const std::string before = ReadFile(var());
    auto exported = Cli({"table", "export", project.str()});
    EXPECT_EQ(exported.code, 0);
    EXPECT_EQ(exported.out, kHeader + "Holding Register,1,2,3,4,\"pump; \"\"main\"\", Größe\"\r\n"
                                      "Coil Status,10,1,0,8,\"line\r\nbreak\"\r\n");
    EXPECT_EQ(exported.err, "");

    auto file = project / "table.csv";
    auto semicolon = Cli(
        {"table", "export", project.str(), "--output", file.string(), "--separator", ";", "--bom"});
    EXPECT_EQ(semicolon.code, 0);
    EXPECT_EQ(ReadFile(file).substr(0, 13), "\xEF\xBB\xBF"
                                            "Data Type;");
    // And back: var.xml byte for byte.
    auto imported = Cli({"table", "import", project.str(), file.string()});
    EXPECT_EQ(imported.code, 0);
    EXPECT_EQ(imported.out, "Wrote " + var().string() + " (2 rows)\n");
    EXPECT_EQ(ReadFile(var()), before);
}

TEST_F(TableCommandTest, ImportRefusesWithEveryProblemAndWritesNothing) {
    const std::string before = ReadFile(var());
    WriteFile(project / "bad.csv",
              kHeader + "Holding Register,70000,1,1,1,\r\nInput Register,1,1,1,200,\r\n");
    auto refused = Cli({"table", "import", project.str(), (project / "bad.csv").string()});
    EXPECT_EQ(refused.code, 1);
    EXPECT_EQ(refused.out, "");
    const std::string bad = (project / "bad.csv").string();
    EXPECT_EQ(refused.err,
              bad + " line 2 Address TCP: Error!! Address TCP must be between 0 and 65535. \n" +
                  bad +
                  " line 3 N° Point: Error!! N° Point must be between 0 and 127. \n"
                  "fabricor-cli table import: " +
                  var().string() + " left unchanged\n");
    EXPECT_EQ(ReadFile(var()), before);

    auto missing = Cli({"table", "import", project.str(), (project / "none.csv").string()});
    EXPECT_EQ(missing.code, 1);
    EXPECT_NE(missing.err.find("cannot open"), std::string::npos);
    EXPECT_EQ(ReadFile(var()), before);
}

TEST_F(TableCommandTest, ExportRefusesATableTheEditorWouldRefuse) {
    WriteFile(
        var(),
        "<TCP_TO_RTU><row DATA_TYPE=\"9\" TCP_ADDRESS=\"1\" RTU_ADD_DEV=\"1\" RTU_ADDRESS=\"1\" "
        "N_POINT=\"1\" MNEMONIC=\"\"/></TCP_TO_RTU>");
    auto file = project / "table.csv";
    auto refused = Cli({"table", "export", project.str(), "--output", file.string()});
    EXPECT_EQ(refused.code, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_NE(refused.err.find("var.xml row 1 Data Type: Error!! Data Type must be"),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(file));

    // Rows below an empty Address TCP would be dropped by the editor: refused, not lost.
    WriteFile(
        var(),
        "<TCP_TO_RTU><row DATA_TYPE=\"1\" TCP_ADDRESS=\"\" RTU_ADD_DEV=\"1\" RTU_ADDRESS=\"1\" "
        "N_POINT=\"1\" MNEMONIC=\"\"/><row DATA_TYPE=\"1\" TCP_ADDRESS=\"2\" RTU_ADD_DEV=\"1\" "
        "RTU_ADDRESS=\"1\" N_POINT=\"1\" MNEMONIC=\"\"/></TCP_TO_RTU>");
    auto dropped = Cli({"table", "export", project.str(), "--output", file.string()});
    EXPECT_EQ(dropped.code, 1);
    EXPECT_NE(dropped.err.find("var.xml row 1 Address TCP: empty"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(file));
}

// An import goes only into a project, and no output replaces the project's own documents,
// however the path is spelled.
TEST_F(TableCommandTest, CommandsWriteOnlyWhereTheyBelong) {
    namespace fs = std::filesystem;
    TempDir elsewhere;
    WriteFile(elsewhere / "rows.csv", kHeader + "Holding Register,1,2,3,4,x\r\n");
    auto stray = Cli({"table", "import", elsewhere.str(), (elsewhere / "rows.csv").string()});
    EXPECT_EQ(stray.code, 1);
    EXPECT_NE(stray.err.find("is not a project (no pargen.xml)"), std::string::npos) << stray.err;
    EXPECT_FALSE(fs::exists(elsewhere / "var.xml"));

    fs::create_directory(project / "sub");
    std::vector<fs::path> spellings = {var(), project / "." / "pargen.xml",
                                       project / "sub" / ".." / "var.xml"};
#ifndef _WIN32 // a symbolic link needs a privilege on Windows
    fs::create_symlink(var(), elsewhere / "link.xml");
    spellings.push_back(elsewhere / "link.xml");
#endif
    const std::string pargen = ReadFile(project / "pargen.xml");
    const std::string table = ReadFile(var());
    for (const fs::path& onto : spellings) {
        for (const char* command : {"table", "report"}) {
            const Arguments args =
                command == std::string("table")
                    ? Arguments{"table", "export", project.str(), "--output", onto.string()}
                    : Arguments{"report", project.str(), "--output", onto.string()};
            auto refused = Cli(args);
            EXPECT_EQ(refused.code, 1) << command << " " << onto;
            EXPECT_NE(refused.err.find(" is the project's own "), std::string::npos) << refused.err;
        }
    }
    EXPECT_EQ(ReadFile(project / "pargen.xml"), pargen);
    EXPECT_EQ(ReadFile(var()), table);
}

TEST_F(TableCommandTest, UsageErrors) {
    for (const Arguments& args :
         std::vector<Arguments>{{"table"},
                                {"table", "merge", project.str()},
                                {"table", "export"},
                                {"table", "export", project.str(), "--separator", "|"},
                                {"table", "import", project.str()},
                                {"table", "import", project.str(), "a.csv", "--bom"},
                                {"table", "export", project.str(), "--bom=1"}}) {
        auto run = Cli(args);
        EXPECT_EQ(run.code, 2) << args.size();
        EXPECT_NE(run.err.find("Usage: fabricor-cli table export PROJECT"), std::string::npos);
    }
    EXPECT_EQ(Cli({"table", "--help"}).code, 0);
}

TEST_F(TableCommandTest, CheckPrintsWarningsAfterProblemsAndStrictCountsThem) {
    EXPECT_TRUE(
        WriteTranslateTable(var().string(),
                            {{3, 1, 2, 3, 4, ""}, {3, 4, 2, 9, 1, ""}, {4, 1, 1, 1, 200, ""}})
            .ok());
    auto check = Cli({"check", project.str()});
    EXPECT_EQ(check.code, 1);
    EXPECT_EQ(check.out, "var.xml row 3 N° Point: Error!! N° Point must be between 0 and 127. \n"
                         "warning: var.xml rows 1 and 2: Holding Register TCP address 4 overlap\n");

    EXPECT_TRUE(
        WriteTranslateTable(var().string(), {{3, 1, 2, 3, 4, ""}, {3, 4, 2, 9, 1, ""}}).ok());
    auto lenient = Cli({"check", project.str()});
    EXPECT_EQ(lenient.code, 0);
    EXPECT_EQ(lenient.out,
              "warning: var.xml rows 1 and 2: Holding Register TCP address 4 overlap\n");
    EXPECT_EQ(Cli({"check", project.str(), "--strict"}).code, 1);
}

} // namespace
} // namespace fabricor::cli
