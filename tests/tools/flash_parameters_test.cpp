#include "firmware/flash_tool.h"

#include <gtest/gtest.h>

namespace fabricor {
namespace {

TEST(FlashToolParameters, QuotedPathPilcrowAndPortIndexInWindows1252) {
    EXPECT_EQ(FlashToolParameters("/app/PROJECTS/Plant/New_SX30418.sx", 2),
              "\"/app/PROJECTS/Plant/New_SX30418.sx\"\xB6"
              "2");
    EXPECT_EQ(FlashToolParameters("/p/New_SX30418.sx", 0)->back(), '0'); // COM1
    EXPECT_EQ(FlashToolParameters("/p/New_SX30418.sx", 7)->back(), '7'); // COM8
    // A degree sign in the path is one byte, 0xB0.
    EXPECT_EQ(FlashToolParameters("/p/\xC2\xB0"
                                  "B1.sx",
                                  1),
              "\"/p/\xB0"
              "B1.sx\"\xB6"
              "1");
}

TEST(FlashToolParameters, RefusesWhatWouldSendTheToolElsewhere) {
    // A character Windows-1252 cannot carry would name another file.
    EXPECT_FALSE(
        FlashToolParameters("/p/\xE2\x82\xAC\xE6\x97\xA5/New.sx", 0)); // euro ok, kanji not
    // A double quote would end the quoted path early.
    EXPECT_FALSE(FlashToolParameters("/p/q\"x/New.sx", 0));
    EXPECT_FALSE(FlashToolParameters("/p/New.sx", -1));
    EXPECT_FALSE(FlashToolParameters("/p/New.sx", 8));
}

TEST(FlashToolParameters, TheToolReadsBackWhatTheDialogWrote) {
    for (int port = 0; port < 8; ++port) {
        std::string path = "/home/user/Fabricor/PROJECTS/\xC3\xA9t\xC3\xA9 2/New_SX30418.sx";
        auto parameters = FlashToolParameters(path, port);
        ASSERT_TRUE(parameters);
        FlashToolRequest request = ParseFlashToolParameters(*parameters);
        EXPECT_EQ(request.error, "");
        EXPECT_EQ(request.firmwarePath, path);
        EXPECT_EQ(request.portIndex, port);
    }
    // Typed by hand in a UTF-8 terminal.
    FlashToolRequest typed = ParseFlashToolParameters("\"/tmp/a.sx\"\xC2\xB6"
                                                      "5");
    EXPECT_EQ(typed.error, "");
    EXPECT_EQ(typed.portIndex, 5);
}

TEST(FlashToolParameters, MalformedStringsAreRefusedWithAReason) {
    for (const char* bad : {"",
                            "/tmp/a.sx\xB6"
                            "1",
                            "\"/tmp/a.sx\xB6"
                            "1",
                            "\"\"\xB6"
                            "1",
                            "\"/tmp/a.sx\"1", "\"/tmp/a.sx\"\xB6",
                            "\"/tmp/a.sx\"\xB6"
                            "8",
                            "\"/tmp/a.sx\"\xB6"
                            "12",
                            "\"/tmp/a.sx\"\xB6"
                            "-1"}) {
        FlashToolRequest request = ParseFlashToolParameters(bad);
        EXPECT_NE(request.error, "") << bad;
    }
}

} // namespace
} // namespace fabricor
