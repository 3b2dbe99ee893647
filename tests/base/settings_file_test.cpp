#include "base/settings_file.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace fabricor {
namespace {

using test_support::ReadFile;
using test_support::TempDir;
using test_support::WriteFile;

TEST(SettingsFile, MissingFileSectionOrKeyReadsEmpty) {
    TempDir dir;
    auto ini = dir / "Fabricor.ini";
    EXPECT_EQ(ReadIniValue(ini, "lastproj", "projectname"), "");
    WriteFile(ini, "[other]\nprojectname=x\n");
    EXPECT_EQ(ReadIniValue(ini, "lastproj", "projectname"), "");
    WriteFile(ini, "[lastproj]\nname=x\n");
    EXPECT_EQ(ReadIniValue(ini, "lastproj", "projectname"), "");
}

TEST(SettingsFile, CreatesFileAndSectionWithCrLf) {
    TempDir dir;
    auto ini = dir / "Fabricor.ini";
    ASSERT_TRUE(WriteIniValue(ini, "lastproj", "projectname", "/pump"));
    EXPECT_EQ(ReadFile(ini), "[lastproj]\r\nprojectname=/pump\r\n");
    EXPECT_EQ(ReadIniValue(ini, "lastproj", "projectname"), "/pump");
}

TEST(SettingsFile, ValuesRoundTripUnchanged) {
    TempDir dir;
    auto ini = dir / "Fabricor.ini";
    for (std::string value : std::vector<std::string>{"", "\\plant\\line 3", " lead and trail ", "a=b;c#d", "\"q\"",
                              "Ünïcødé", "[x]", std::string(10000, 'z')}) {
        ASSERT_TRUE(WriteIniValue(ini, "lastproj", "projectname", value));
        EXPECT_EQ(ReadIniValue(ini, "lastproj", "projectname"), value);
    }
    EXPECT_FALSE(WriteIniValue(ini, "lastproj", "projectname", "two\nlines"));
}

TEST(SettingsFile, WritingKeepsEveryOtherLine) {
    TempDir dir;
    auto ini = dir / "Fabricor.ini";
    const std::string before = "; comment\r\n[first]\r\nkey=1\r\n\r\n[LastProj]\r\nother=2\r\n"
                               "ProjectName=old\r\nafter=3\r\n\r\n[last]\r\nz=9";
    WriteFile(ini, before);
    EXPECT_EQ(ReadIniValue(ini, "lastproj", "projectname"), "old");
    ASSERT_TRUE(WriteIniValue(ini, "lastproj", "projectname", "new"));
    EXPECT_EQ(ReadFile(ini), "; comment\r\n[first]\r\nkey=1\r\n\r\n[LastProj]\r\nother=2\r\n"
                             "projectname=new\r\nafter=3\r\n\r\n[last]\r\nz=9\r\n");
}

TEST(SettingsFile, AddsAMissingKeyInsideItsSection) {
    TempDir dir;
    auto ini = dir / "Fabricor.ini";
    WriteFile(ini, "[lastproj]\nother=2\n\n[next]\nk=v\n");
    ASSERT_TRUE(WriteIniValue(ini, "lastproj", "projectname", "p"));
    EXPECT_EQ(ReadFile(ini), "[lastproj]\nother=2\nprojectname=p\n\n[next]\nk=v\n");
}

TEST(SettingsFile, SurvivesBinaryGarbageAndLongLines) {
    TempDir dir;
    auto ini = dir / "Fabricor.ini";
    std::string garbage;
    for (int i = 0; i < 5000; ++i)
        garbage += static_cast<char>((i * 7919) & 0xFF);
    garbage += std::string(1 << 20, 'x');
    WriteFile(ini, garbage);
    EXPECT_EQ(ReadIniValue(ini, "lastproj", "projectname"), "");
    ASSERT_TRUE(WriteIniValue(ini, "lastproj", "projectname", "p"));
    EXPECT_EQ(ReadIniValue(ini, "lastproj", "projectname"), "p");
    EXPECT_EQ(ReadFile(ini).substr(0, garbage.size()), garbage);
}

TEST(SettingsFile, FailedWriteKeepsTheOldFile) {
    TempDir dir;
    auto ini = dir / "Fabricor.ini";
    WriteFile(ini, "[lastproj]\nprojectname=old\n");
    std::filesystem::permissions(ini, std::filesystem::perms::owner_read);
    EXPECT_FALSE(WriteIniValue(ini, "lastproj", "projectname", "new"));
    EXPECT_EQ(ReadIniValue(ini, "lastproj", "projectname"), "old");
}

} // namespace
} // namespace fabricor
