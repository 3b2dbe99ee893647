#include "base/text_encoding.h"

#include <gtest/gtest.h>

namespace fabricor {
namespace {

TEST(TextEncoding, ConvertsTheDegreeSignAndThePilcrow) {
    EXPECT_EQ(Utf8ToWindows1252("°B1°.sx"), "\xB0" "B1\xB0.sx");
    EXPECT_EQ(Utf8ToWindows1252("¶"), "\xB6");
    EXPECT_EQ(Utf8ToWindows1252("€"), "\x80");
    EXPECT_EQ(Windows1252ToUtf8("\xB6\x80"), "¶€");
}

TEST(TextEncoding, ReplacesWhatWindows1252CannotHold) {
    EXPECT_EQ(Utf8ToWindows1252("a€b✓c"), "a\x80" "b?c");
    EXPECT_EQ(Utf8ToWindows1252("\xff\xfe" "a"), "??a");
    EXPECT_EQ(Utf8ToWindows1252("\xe2\x82"), "??"); // truncated sequence
}

TEST(TextEncoding, OverlongFormsAreNotCharacters) {
    // "\xC0\xAF" and "\xE0\x80\xAF" are overlong spellings of "/".
    EXPECT_EQ(Utf8ToWindows1252("a\xC0\xAF" "b\xE0\x80\xAF" "c\xF0\x80\x80\xAF"), "a?b?c?");
    EXPECT_EQ(Utf8ToWindows1252("\xC2\xB0"), "\xB0"); // the shortest form still converts
}

TEST(TextEncoding, RoundTripsEveryDefinedByte) {
    std::string all;
    for (int b = 1; b < 256; ++b)
        if (b < 0x80 || b >= 0xA0 || (b != 0x81 && b != 0x8D && b != 0x8F && b != 0x90 && b != 0x9D))
            all += static_cast<char>(b);
    EXPECT_EQ(Utf8ToWindows1252(Windows1252ToUtf8(all)), all);
}

} // namespace
} // namespace fabricor
