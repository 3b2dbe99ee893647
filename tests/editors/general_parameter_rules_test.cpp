#include "rules/general_parameter_rules.h"

#include <gtest/gtest.h>

namespace fabricor {
namespace {

using Field = GeneralParameterField;

TEST(GeneralParameterRules, NewProjectValuesPass) {
    EXPECT_FALSE(FirstGeneralParameterProblem(NewProjectGeneralParameters()));
    EXPECT_TRUE(AllGeneralParameterProblems(NewProjectGeneralParameters()).empty());
}

TEST(GeneralParameterRules, OctetsAcceptIntegerTextFromZeroTo255) {
    auto p = NewProjectGeneralParameters();
    p.ip = {"$FF", "0x10", " 7", "+0"};
    p.subnet = {"255", "0", "00255", "$0"};
    EXPECT_FALSE(FirstGeneralParameterProblem(p));
    for (const char* bad : {"256", "-1", "", "abc", "7 ", "999", "1.5", "$100"}) {
        p.ip[2] = bad;
        auto problem = FirstGeneralParameterProblem(p);
        ASSERT_TRUE(problem) << bad;
        EXPECT_EQ(problem->field, Field::IP3) << bad;
        EXPECT_EQ(problem->message, "Error!! IP must be between 0 and 255. ");
    }
}

TEST(GeneralParameterRules, FirstFailureWinsInCheckingOrder) {
    auto p = NewProjectGeneralParameters();
    p.offset = "-3";
    p.timeOut = "x";
    p.gateway[0] = "300";
    p.subnet[3] = "a";
    p.ip[3] = "999";
    auto expect = [&](Field field, const std::string& message) {
        auto problem = FirstGeneralParameterProblem(p);
        ASSERT_TRUE(problem);
        EXPECT_EQ(problem->field, field);
        EXPECT_EQ(problem->message, message);
    };
    expect(Field::IP4, "Error!! IP must be between 0 and 255. ");
    p.ip[3] = "1";
    expect(Field::SUB4, "Error!! Subnet Mask must be between 0 and 255. ");
    p.subnet[3] = "0";
    // The gateway is checked whether or not it is enabled.
    p.gatewayEnabled = false;
    expect(Field::GAT1, "Error!! Gateway must be between 0 and 255. ");
    p.gateway[0] = "0";
    expect(Field::Time, "TimeOut Error!!");
    p.timeOut = "0";
    expect(Field::Offset, "Offset Error!!");
    p.offset = "2147483647";
    EXPECT_FALSE(FirstGeneralParameterProblem(p));
}

TEST(GeneralParameterRules, AllProblemsListsEveryFailingBoxInOrder) {
    auto p = NewProjectGeneralParameters();
    p.ip[1] = "x";
    p.subnet[0] = "";
    p.gateway[3] = "256";
    p.timeOut = "-1";
    p.offset = "";
    auto all = AllGeneralParameterProblems(p);
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ(all[0].field, Field::IP2);
    EXPECT_EQ(all[1].field, Field::SUB1);
    EXPECT_EQ(all[2].field, Field::GAT4);
    EXPECT_EQ(all[3].field, Field::Time);
    EXPECT_EQ(all[4].field, Field::Offset);
    EXPECT_STREQ(ElementNameOf(Field::GAT4), "TCP_GAT4");
    EXPECT_STREQ(ElementNameOf(Field::Time), "TIME_OUT");
    EXPECT_STREQ(ElementNameOf(Field::Offset), "OFFSET");
}

TEST(GeneralParameterRules, PortAndHiddenSettingsAreNeverChecked) {
    auto p = NewProjectGeneralParameters();
    p.port = -5;
    p.baudIndex = -1;
    p.snmpPublic = "";
    EXPECT_FALSE(FirstGeneralParameterProblem(p));
}

} // namespace
} // namespace fabricor
