#include "documents/integer_text.h"

#include <gtest/gtest.h>

namespace fabricor {
namespace {

struct Accepted {
    const char* text;
    int32_t value;
};

TEST(IntegerText, AcceptsDecimalHexadecimalSignsAndLeadingSpaces) {
    const Accepted cases[] = {
        {"0", 0},
        {"7", 7},
        {"007", 7},
        {"   42", 42},
        {"+5", 5},
        {"-5", -5},
        {"  -0", 0},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"$FF", 255},
        {"$ff", 255},
        {"xFF", 255},
        {"XfF", 255},
        {"0x10", 16},
        {"0X10", 16},
        {"-$10", -16},
        {"+0x1", 1},
        {"$FFFFFFFF", -1},
        {"$80000000", INT32_MIN},
        {"$7FFFFFFF", INT32_MAX},
        {"$000000000001", 1},
        {"-$FFFFFFFF", 1},
        {"  $0", 0},
    };
    for (const auto& c : cases) {
        auto value = ParseIntegerText(c.text);
        ASSERT_TRUE(value.has_value()) << '"' << c.text << '"';
        EXPECT_EQ(*value, c.value) << '"' << c.text << '"';
    }
}

TEST(IntegerText, RefusesEverythingElse) {
    const char* cases[] = {
        "",          " ",         "+",          "-",          "$",        "x",
        "0x",        "0X",        "7 ",         " 7 ",        "7a",       "a7",
        "1.5",       "1e3",       "+-1",        "--1",        "- 1",      "\t1",
        "2147483648", "-2147483649", "99999999999999999999", "$100000000", "$G",
        "0x-1",      "00x10",     "$ FF",       "1,000",      "\xef\xbc\x91", "1\n",
    };
    for (const char* text : cases)
        EXPECT_FALSE(ParseIntegerText(text).has_value()) << '"' << text << '"';
}

TEST(IntegerText, IsNotFooledByEmbeddedNul) {
    EXPECT_FALSE(ParseIntegerText(std::string_view("12\0", 3)).has_value());
}

TEST(IntegerText, CanonicalDecimalHasNoLeadingZerosOrPlus) {
    EXPECT_EQ(CanonicalDecimal(0), "0");
    EXPECT_EQ(CanonicalDecimal(7), "7");
    EXPECT_EQ(CanonicalDecimal(-12), "-12");
    EXPECT_EQ(CanonicalDecimal(65535), "65535");
}

} // namespace
} // namespace fabricor
