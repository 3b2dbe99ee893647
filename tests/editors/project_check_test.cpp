#include "rules/project_check.h"

#include "documents/pargen.h"
#include "documents/var.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace fabricor {
namespace {

using test_support::TempDir;
using test_support::WriteFile;

TEST(ProjectCheck, ANewProjectIsClean) {
    TempDir project;
    ASSERT_TRUE(WriteGeneralParameters((project / "pargen.xml").string(),
                                       EncodeGeneralParameters(NewProjectGeneralParameters())));
    ASSERT_TRUE(WriteTranslateTable((project / "var.xml").string(), {{3, 7, 1, 2, 3, "a"}}));
    EXPECT_TRUE(CheckProjectDocuments(project.str()).empty());
}

TEST(ProjectCheck, MissingAndMalformedDocumentsAreProblems) {
    TempDir project;
    WriteFile(project / "var.xml", "<TCP_TO_RTU><row");
    auto lines = CheckProjectDocuments(project.str());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "pargen.xml: missing");
    EXPECT_EQ(lines[1].rfind("var.xml: not well-formed: ", 0), 0u) << lines[1];
}

TEST(ProjectCheck, ListsEveryProblemOfBothDocuments) {
    TempDir project;
    auto p = NewProjectGeneralParameters();
    p.ip[0] = "999";
    p.gateway[2] = "a";
    p.timeOut = "-1";
    ASSERT_TRUE(WriteGeneralParameters((project / "pargen.xml").string(), EncodeGeneralParameters(p)));
    WriteFile(project / "var.xml",
              "<TCP_TO_RTU>"
              "<row DATA_TYPE=\"3\" TCP_ADDRESS=\"1\" RTU_ADD_DEV=\"256\" RTU_ADDRESS=\"0\" N_POINT=\"1\" MNEMONIC=\"\"/>"
              "<row DATA_TYPE=\"9\" TCP_ADDRESS=\"2\" RTU_ADD_DEV=\"1\" RTU_ADDRESS=\"0\" N_POINT=\"1\" MNEMONIC=\"\"/>"
              "<row DATA_TYPE=\"1\" TCP_ADDRESS=\"3\" RTU_ADD_DEV=\"1\" RTU_ADDRESS=\"0\" N_POINT=\"1\"/>"
              "<row DATA_TYPE=\"1\" TCP_ADDRESS=\"x\" RTU_ADD_DEV=\"1\" RTU_ADDRESS=\"0\" N_POINT=\"1\" MNEMONIC=\"\"/>"
              "</TCP_TO_RTU>");
    auto lines = CheckProjectDocuments(project.str());
    std::vector<std::string> expected{
        "pargen.xml TCP_IP1: Error!! IP must be between 0 and 255. ",
        "pargen.xml TCP_GAT3: Error!! Gateway must be between 0 and 255. ",
        "pargen.xml TIME_OUT: TimeOut Error!!",
        "var.xml row 3: attribute MNEMONIC missing; the editor loads nothing from here on",
        "var.xml row 1 Address Device RTU: Error!! Address Device RTU must be between 0 and 255. ",
        "var.xml row 2 Data Type: Error!! Data Type must be Holding Register or Input Register. ",
    };
    EXPECT_EQ(lines, expected);
}

// One reading for every reader of a saved table: what confirming would save, and where the
// table ends.
TEST(SavedTable, ConfirmedRowsEndAtTheFirstEmptyAddressAndNeedEveryCellAccepted) {
    const std::string good = "DATA_TYPE=\"3\" RTU_ADD_DEV=\"1\" RTU_ADDRESS=\"0\" N_POINT=\"2\" MNEMONIC=\"m\"";
    struct Case {
        const char* name;
        std::string rows;
        size_t records;
        size_t cut;
        bool confirmed;
    } cases[] = {
        {"whole", "<row TCP_ADDRESS=\"1\" " + good + "/><row TCP_ADDRESS=\"5\" " + good + "/>", 2, 0,
         true},
        {"ends early", "<row TCP_ADDRESS=\"1\" " + good + "/><row TCP_ADDRESS=\"\" " + good +
                           "/><row TCP_ADDRESS=\"9\" " + good + "/>",
         1, 2, true},
        {"refused cell", "<row TCP_ADDRESS=\"x\" " + good + "/><row TCP_ADDRESS=\"5\" " + good + "/>",
         2, 0, false},
    };
    for (const auto& c : cases) {
        TempDir project;
        WriteFile(project / "var.xml", "<TCP_TO_RTU>" + c.rows + "</TCP_TO_RTU>");
        const SavedProject saved = ReadSavedProject(project.str());
        EXPECT_EQ(saved.rows.records.size(), c.records) << c.name;
        EXPECT_EQ(saved.rows.rowsCut, c.cut) << c.name;
        const auto confirmed = saved.rows.Confirmed();
        ASSERT_EQ(confirmed.has_value(), c.confirmed) << c.name;
        if (confirmed) {
            ASSERT_EQ(confirmed->size(), c.records) << c.name;
            EXPECT_EQ((*confirmed)[0].DataType, 3) << c.name; // the code var.xml holds
            EXPECT_EQ((*confirmed)[0].NPoint, 2) << c.name;
        }
        EXPECT_EQ(saved.tableFile.read.bytes, "<TCP_TO_RTU>" + c.rows + "</TCP_TO_RTU>") << c.name;
    }
}

} // namespace
} // namespace fabricor
