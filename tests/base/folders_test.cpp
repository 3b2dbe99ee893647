#include "base/folders.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace fabricor {
namespace {

using test_support::TempDir;
using test_support::WriteFile;

TEST(Folders, FolderExistsAndForceFolders) {
    TempDir dir;
    EXPECT_FALSE(FolderExists(""));
    EXPECT_TRUE(FolderExists(dir.str()));
    WriteFile(dir / "file", "x");
    EXPECT_FALSE(FolderExists((dir / "file").string()));
    EXPECT_TRUE(ForceFolders((dir / "a" / "b" / "c").string()));
    EXPECT_TRUE(ForceFolders((dir / "a" / "b" / "c").string()));
    EXPECT_FALSE(ForceFolders((dir / "file" / "sub").string()));
}

} // namespace
} // namespace fabricor
