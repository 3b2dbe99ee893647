#include "cli/check_command.h"

#include "documents/pargen.h"
#include "documents/var.h"
#include "support/cli_run.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <sstream>
#include <tuple>

namespace fabricor::cli {
namespace {

using fabricor::test_support::Cli;
using fabricor::test_support::TempDir;
using fabricor::test_support::WriteFile;

class CheckCommandTest : public ::testing::Test {
protected:
    CheckCommandTest() {
        EXPECT_TRUE(WriteGeneralParameters((project / "pargen.xml").string(),
                                           EncodeGeneralParameters(NewProjectGeneralParameters())));
        EXPECT_TRUE(WriteTranslateTable((project / "var.xml").string(), {{3, 1, 2, 3, 4, "pump"}}));
    }
    TempDir project;
};

TEST_F(CheckCommandTest, ACleanProjectPrintsNothingAndExitsZero) {
    auto result = Cli({"check", project.str()});
    EXPECT_EQ(result.code, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
}

TEST_F(CheckCommandTest, EveryProblemIsOneLineAndTheExitIsOne) {
    auto p = NewProjectGeneralParameters();
    p.subnet[1] = "256";
    p.offset = "";
    ASSERT_TRUE(WriteGeneralParameters((project / "pargen.xml").string(), EncodeGeneralParameters(p)));
    std::string rows;
    for (int i = 1; i <= 12; ++i)
        rows += "<row DATA_TYPE=\"" + std::string(i == 12 ? "9" : "1") + "\" TCP_ADDRESS=\"" +
                std::to_string(i) + "\" RTU_ADD_DEV=\"1\" RTU_ADDRESS=\"" + std::to_string(i) +
                "\" N_POINT=\"" + (i == 5 ? "128" : "1") + "\" MNEMONIC=\"\"/>";
    WriteFile(project / "var.xml", "<TCP_TO_RTU>" + rows + "</TCP_TO_RTU>");
    auto result = Cli({"check", project.str()});
    EXPECT_EQ(result.code, 1);
    EXPECT_EQ(result.out,
              "pargen.xml TCP_SUB2: Error!! Subnet Mask must be between 0 and 255. \n"
              "pargen.xml OFFSET: Offset Error!!\n"
              "var.xml row 5 N° Point: Error!! N° Point must be between 0 and 127. \n"
              "var.xml row 12 Data Type: Error!! Data Type must be Holding Register or Input Register. \n");
}

// Comments and processing instructions are no content: `check` and `build` give what they give
// for the same documents without them.
TEST_F(CheckCommandTest, NotesWrittenByHandChangeNeitherTheCheckNorTheImage) {
    auto p = NewProjectGeneralParameters();
    p.twoStopBits = true;
    ASSERT_TRUE(WriteGeneralParameters((project / "pargen.xml").string(), EncodeGeneralParameters(p)));
    ASSERT_TRUE(WriteTranslateTable((project / "var.xml").string(),
                                    {{3, 1, 2, 3, 4, "pump"}, {4, 9, 2, 7, 1, "tank"}}));
    auto build = [](const TempDir& folder) {
        std::filesystem::create_directories(folder / "bin");
        EXPECT_EQ(Cli({"build", folder.str(), "--time", "2026-12-08T14:35:47"}).code, 0);
        return fabricor::test_support::ReadFile(folder / "bin" / "bank1.bin");
    };
    const std::string plain = build(project);
    for (auto [name, at, with] : {std::tuple{"pargen.xml", "</STOP_BIT>", "<!-- two --></STOP_BIT>"},
                                  {"pargen.xml", "</TCP_IP1>", "<!-- plant LAN --></TCP_IP1>"},
                                  {"pargen.xml", "<TCP_PORT>", "<TCP_PORT><?editor keep?>"},
                                  {"var.xml", "/><row", "/>\n  <!-- the tank -->\n  <row"}}) {
        TempDir noted;
        for (std::string document : {"pargen.xml", "var.xml"}) {
            std::string text = fabricor::test_support::ReadFile(project / document);
            if (document == name)
                text.replace(text.find(at), std::string(at).size(), with);
            WriteFile(noted / document, text);
        }
        EXPECT_EQ(Cli({"check", noted.str()}).out, "") << with;
        EXPECT_EQ(build(noted), plain) << with;
    }
}

TEST_F(CheckCommandTest, MissingDocumentsAndFoldersAndUsage) {
    std::filesystem::remove(project / "var.xml");
    auto missing = Cli({"check", project.str()});
    EXPECT_EQ(missing.code, 1);
    EXPECT_EQ(missing.out, "var.xml: missing\n");

    auto noFolder = Cli({"check", (project / "nothing").string()});
    EXPECT_EQ(noFolder.code, 1);
    EXPECT_NE(noFolder.err.find("is not a folder"), std::string::npos);

    EXPECT_EQ(Cli({"check"}).code, 2);
    EXPECT_EQ(Cli({"check", "a", "b"}).code, 2);
    auto help = Cli({"check", "--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("Usage: fabricor-cli check PROJECT"), std::string::npos);
    EXPECT_NE(Cli({"--help"}).out.find("check"), std::string::npos);
}

} // namespace
} // namespace fabricor::cli
