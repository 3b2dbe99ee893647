#include "documents/pargen.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace fabricor {
namespace {

using test_support::ReadFile;
using test_support::TempDir;
using test_support::WriteFile;
using GP = GeneralParameter;

const char* kNewProjectDocument =
    "<General_Parameter><TCP_IP1>0</TCP_IP1><TCP_IP2>0</TCP_IP2><TCP_IP3>0</TCP_IP3>"
    "<TCP_IP4>0</TCP_IP4><TCP_SUB1>255</TCP_SUB1><TCP_SUB2>255</TCP_SUB2>"
    "<TCP_SUB3>255</TCP_SUB3><TCP_SUB4>0</TCP_SUB4><TCP_EN_GATE>0</TCP_EN_GATE>"
    "<TCP_GAT1>0</TCP_GAT1><TCP_GAT2>0</TCP_GAT2><TCP_GAT3>0</TCP_GAT3><TCP_GAT4>0</TCP_GAT4>"
    "<TCP_PORT>502</TCP_PORT><SNMP_PUBLIC>harbor</SNMP_PUBLIC><SNMP_PRIVATE>lantern</SNMP_PRIVATE>"
    "<BAUD>3</BAUD><PARITY>0</PARITY><TIME_OUT>1000</TIME_OUT><OFFSET>10000</OFFSET>"
    "<MODE>1</MODE><STOP_BIT>0</STOP_BIT></General_Parameter>";

std::string Path(const TempDir& dir) { return (dir / "pargen.xml").string(); }

TEST(GeneralParametersWriter, WritesOneLineInTableOrderWithoutDeclaration) {
    TempDir dir;
    ASSERT_TRUE(WriteGeneralParameters(Path(dir), EncodeGeneralParameters(NewProjectGeneralParameters())));
    EXPECT_EQ(ReadFile(dir / "pargen.xml"), kNewProjectDocument);
}

TEST(GeneralParametersWriter, KeepsTypedTextsAndEscapesMarkup) {
    TempDir dir;
    auto p = NewProjectGeneralParameters();
    p.ip = {" 010", "$FF", "+1", "0x0"};
    p.snmpPublic = "a<b&\"c\"";
    p.snmpPrivate = "dévice";
    p.port = -5;
    p.baudIndex = -1;
    ASSERT_TRUE(WriteGeneralParameters(Path(dir), EncodeGeneralParameters(p)));
    auto read = ReadGeneralParameters(Path(dir));
    ASSERT_EQ(read.outcome, ReadOutcome::Read);
    EXPECT_EQ(read[GP::TCP_IP1], " 010");
    EXPECT_EQ(read[GP::TCP_IP2], "$FF");
    EXPECT_EQ(read[GP::TCP_PORT], "-5");
    EXPECT_EQ(read[GP::BAUD], "-1");
    EXPECT_EQ(read[GP::SNMP_PUBLIC], "a<b&\"c\"");
    EXPECT_EQ(read[GP::SNMP_PRIVATE], "dévice");
    auto decoded = DecodeGeneralParameters(read);
    EXPECT_EQ(decoded.ip, p.ip);
    EXPECT_EQ(decoded.baudIndex, -1);
}

TEST(GeneralParametersReader, ReportsMissingAndMalformedFiles) {
    TempDir dir;
    EXPECT_EQ(ReadGeneralParameters(Path(dir)).outcome, ReadOutcome::NoFile);
    for (const char* bad : {"", "<General_Parameter>", "not xml at all", "<a></b>"}) {
        WriteFile(dir / "pargen.xml", bad);
        auto read = ReadGeneralParameters(Path(dir));
        EXPECT_EQ(read.outcome, ReadOutcome::NotWellFormed) << bad;
        EXPECT_FALSE(read.error.empty());
    }
}

TEST(GeneralParametersReader, JudgesEachElementByItself) {
    TempDir dir;
    WriteFile(dir / "pargen.xml",
              "<General_Parameter>\n  <MODE>5</MODE>\n  <TCP_IP1><x/></TCP_IP1>\n"
              "  <TCP_IP2>1<!--c-->2</TCP_IP2>\n  <TCP_IP3/>\n  <TCP_PORT>abc</TCP_PORT>\n"
              "  <PARITY>1</PARITY>\n  <TCP_EN_GATE>01</TCP_EN_GATE>\n  <STOP_BIT>01</STOP_BIT>\n"
              "  <BAUD>9</BAUD>\n  <SNMP_PUBLIC>abcdefghijklmnopqrst</SNMP_PUBLIC>\n"
              "  <TIME_OUT><![CDATA[ 250]]></TIME_OUT>\n  <TCP_SUB1> </TCP_SUB1>\n"
              "</General_Parameter>\n");
    auto read = ReadGeneralParameters(Path(dir));
    ASSERT_EQ(read.outcome, ReadOutcome::Read);
    EXPECT_FALSE(read[GP::TCP_IP1].has_value()); // child element
    EXPECT_EQ(read[GP::TCP_IP3], "");            // no children: empty text
    EXPECT_EQ(read[GP::TIME_OUT], " 250");       // CDATA
    EXPECT_EQ(read[GP::TCP_SUB1], " ");          // lone blanks are the text
    EXPECT_FALSE(read[GP::OFFSET].has_value());  // missing

    auto p = DecodeGeneralParameters(read);
    EXPECT_EQ(p.ip[0], "0");
    EXPECT_EQ(p.ip[2], "");
    EXPECT_EQ(p.port, 502);
    EXPECT_EQ(p.parity, Parity::None);
    EXPECT_TRUE(p.gatewayEnabled);
    EXPECT_FALSE(p.twoStopBits);
    EXPECT_EQ(p.baudIndex, -1);
    EXPECT_EQ(p.mode, OperationMode::Nat);
    EXPECT_EQ(p.snmpPublic, "abcdefghijklm");
    EXPECT_EQ(p.snmpPrivate, "");
    EXPECT_EQ(p.offset, "0");
    EXPECT_EQ(p.timeOut, " 250");
    EXPECT_EQ(p.subnet[1], "255");
}

TEST(GeneralParametersReader, ChildrenInAnyOrderReadTheSame) {
    TempDir dir;
    WriteFile(dir / "pargen.xml",
              "<General_Parameter><STOP_BIT>1</STOP_BIT><PARITY>2</PARITY><MODE>0</MODE>"
              "<BAUD>7</BAUD><TCP_PORT>$1F6</TCP_PORT></General_Parameter>");
    auto p = DecodeGeneralParameters(ReadGeneralParameters(Path(dir)));
    EXPECT_TRUE(p.twoStopBits);
    EXPECT_EQ(p.parity, Parity::None); // two stop bits force parity none
    EXPECT_EQ(p.mode, OperationMode::Routing);
    EXPECT_EQ(p.baudIndex, 7);
    EXPECT_EQ(p.port, 502);
    EXPECT_EQ(EncodeGeneralParameters(p)[Index(GP::PARITY)], "0");
}

TEST(GeneralParametersReader, MissingRootMakesEveryElementUnusable) {
    TempDir dir;
    WriteFile(dir / "pargen.xml", "<Other><MODE>0</MODE></Other>");
    auto read = ReadGeneralParameters(Path(dir));
    ASSERT_EQ(read.outcome, ReadOutcome::Read);
    for (const auto& element : read.elements)
        EXPECT_FALSE(element.has_value());
    auto p = DecodeGeneralParameters(read);
    EXPECT_EQ(p.snmpPublic, "");
    EXPECT_EQ(p.offset, "0");
    EXPECT_EQ(p.baudIndex, 3);
}

TEST(GeneralParametersReader, CommunityNamesAreCutByCharactersNotBytes) {
    EXPECT_EQ(DecodeCommunityName(std::string("ééééééééééééééé")), "ééééééééééééé");
    EXPECT_EQ(FirstCharacters("abc", 13), "abc");
}

TEST(GeneralParametersWriter, FailedSaveKeepsTheOldDocument) {
    TempDir dir;
    WriteFile(dir / "pargen.xml", "old");
    std::filesystem::permissions(dir / "pargen.xml", std::filesystem::perms::owner_read);
    auto status = WriteGeneralParameters(Path(dir), EncodeGeneralParameters(GeneralParameters{}));
    EXPECT_FALSE(status);
    EXPECT_NE(status.message().find("pargen.xml"), std::string::npos);
    EXPECT_EQ(ReadFile(dir / "pargen.xml"), "old");

    auto missing = WriteGeneralParameters((dir / "none" / "pargen.xml").string(),
                                          EncodeGeneralParameters(GeneralParameters{}));
    EXPECT_FALSE(missing);
    EXPECT_NE(missing.message().find("No such file or directory"), std::string::npos);
}

} // namespace
} // namespace fabricor
