#include "base/regular_file.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace fabricor {
namespace {

using test_support::TempDir;
using test_support::WriteFile;
namespace fs = std::filesystem;

TEST(RegularFile, ReadsUpToItsLimitAndRefusesOneByteMore) {
    TempDir dir;
    WriteFile(dir / "at", std::string(1000, 'a'));
    WriteFile(dir / "past", std::string(1001, 'a'));
    auto at = ReadRegularFile(dir / "at", 1000);
    ASSERT_TRUE(at.bytes) << at.error;
    EXPECT_EQ(at.bytes->size(), 1000u);
    auto past = ReadRegularFile(dir / "past", 1000);
    EXPECT_FALSE(past.bytes);
    EXPECT_FALSE(past.missing);
    EXPECT_EQ(past.error, (dir / "past").string() +
                              ": larger than 1000 bytes, more than such a file ever holds");
    // Grown past the limit after it was opened: the reading stops there.
    auto file = RegularFile::Open(dir / "at", 1000);
    ASSERT_TRUE(file.ok());
    WriteFile(dir / "at", std::string(5000, 'b'));
    EXPECT_FALSE(file.ReadAll());
    EXPECT_NE(file.error().find("larger than"), std::string::npos);
}

TEST(RegularFile, TellsAMissingFileFromOneThatIsNoRegularFile) {
    TempDir dir;
    auto missing = ReadRegularFile(dir / "none", kSettingsReadLimit);
    EXPECT_TRUE(missing.missing);
    auto deeper = ReadRegularFile(dir / "none" / "deeper", kSettingsReadLimit);
    EXPECT_TRUE(deeper.missing);
    fs::create_directory(dir / "folder");
    auto folder = ReadRegularFile(dir / "folder", kSettingsReadLimit);
    EXPECT_FALSE(folder.missing);
    EXPECT_EQ(folder.error, (dir / "folder").string() + ": not a regular file (a folder)");
    WriteFile(dir / "empty", "");
    auto empty = ReadRegularFile(dir / "empty", kSettingsReadLimit);
    ASSERT_TRUE(empty.bytes);
    EXPECT_TRUE(empty.bytes->empty());
}

} // namespace
} // namespace fabricor
