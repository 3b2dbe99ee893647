#include "image/c_source.h"

#include "platform/files.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <vector>

namespace fabricor {
namespace {

const std::string kSep(1, platform::kSeparator);

using test_support::ReadFile;
using test_support::TempDir;
using test_support::WriteFile;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        auto end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

TEST(ImageCSource, AllZeroImageHasTheWorkedExampleShape) {
    ConfigurationImage image{};
    auto text = ImageCSourceText(image);
    EXPECT_EQ(text.size(), 117824u);
    ASSERT_TRUE(text.ends_with("};\r\n\r\n#pragma CONST_SEG DEFAULT\r\n"));
    EXPECT_EQ(text.find('\n'), text.find("\r\n") + 1); // no bare line feeds anywhere
    auto lines = Lines(text);
    ASSERT_EQ(lines.size(), 1027u);
    EXPECT_EQ(lines[0], "#pragma CONST_SEG SEGMENT0");
    std::string zeros;
    for (int i = 0; i < 16; ++i)
        zeros += " 0x00,";
    EXPECT_EQ(lines[1], "const char Bank1 [] = {" + zeros);
    EXPECT_EQ(lines[1].size(), 119u);
    for (size_t k = 2; k < 1024; ++k) {
        ASSERT_EQ(lines[k], std::string(17, ' ') + zeros) << k;
        ASSERT_EQ(lines[k].size(), 113u);
    }
    EXPECT_EQ(lines[1024], std::string(17, ' ') + zeros.substr(0, zeros.size() - 1) + "};");
    EXPECT_EQ(lines[1024].size(), 114u);
    EXPECT_EQ(lines[1025], "");
    EXPECT_EQ(lines[1026], "#pragma CONST_SEG DEFAULT");
    size_t crlf = 0;
    for (size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos; at += 2)
        ++crlf;
    EXPECT_EQ(crlf, 1027u);
}

TEST(ImageCSource, BytesAreTwoUpperCaseDigitsInTheirPlace) {
    ConfigurationImage image{};
    image[0] = 3;
    image[1] = 1;
    image[15000] = 10;
    image[15001] = 255;
    image[kImageSize - 1] = 0xAB;
    auto lines = Lines(ImageCSourceText(image));
    EXPECT_TRUE(lines[1].starts_with("const char Bank1 [] = { 0x03, 0x01, 0x00,"));
    // Byte 15000 is the ninth item of line 939.
    std::string line939 = lines[938];
    EXPECT_EQ(line939.substr(17 + 8 * 6, 12), " 0x0A, 0xFF,");
    EXPECT_TRUE(lines[1024].ends_with(" 0xAB};"));
}

TEST(ImageCSource, WriteReplacesTheFileAndReportsTheCauseWhenBinIsMissing) {
    TempDir project;
    ConfigurationImage image{};
    auto missing = WriteImageCSource(project.str(), image);
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.message(), "Cannot create file \"" + project.str() + kSep + "bin" + kSep +
                                     "bankg.c\". " + std::strerror(ENOENT));

    std::filesystem::create_directory(project / "bin");
    WriteFile(project / "bin" / "bankg.c", std::string(200000, 'x'));
    ASSERT_TRUE(WriteImageCSource(project.str(), image).ok());
    image[5] = 0x5A;
    ASSERT_TRUE(WriteImageCSource(project.str(), image).ok());
    auto written = ReadFile(project / "bin" / "bankg.c");
    EXPECT_EQ(written, ImageCSourceText(image));
    EXPECT_EQ(written.size(), 117824u);
}

} // namespace
} // namespace fabricor
