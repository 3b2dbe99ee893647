#include "base/project_files.h"

#include <gtest/gtest.h>

namespace fabricor {
namespace {

TEST(ProjectFiles, EveryFileIsTheFolderASeparatorAndItsName) {
    const ProjectFiles files("/app/PROJECTS/pump");
    EXPECT_EQ(files.GeneralParameters(), "/app/PROJECTS/pump/pargen.xml");
    EXPECT_EQ(files.TranslateTable(), "/app/PROJECTS/pump/var.xml");
    EXPECT_EQ(files.BinFolder(), "/app/PROJECTS/pump/bin");
    EXPECT_EQ(files.Image(), "/app/PROJECTS/pump/bin/bank1.bin");
    EXPECT_EQ(files.CSource(), "/app/PROJECTS/pump/bin/bankg.c");
    EXPECT_EQ(files.Staging(), "/app/PROJECTS/pump/bin/Bin.sx");
    EXPECT_EQ(files.Lock(), "/app/PROJECTS/pump/bin/.update.lock");
    EXPECT_EQ(files.MergeBinFolder(), "/app/PROJECTS/pump/bin/");
    EXPECT_EQ(files.OutputFolder(), "/app/PROJECTS/pump/");
    EXPECT_EQ(files.NewFirmware(), "/app/PROJECTS/pump/New_SX30418.sx");
    EXPECT_EQ(ProjectFiles::BaseFirmwareIn("/app/MASTER"), "/app/MASTER/SX30418.sx");
}

// The workspace joins by plain text: a folder given with a separator at its end keeps it in the
// joined paths, while the new firmware's folder never gets a second one.
TEST(ProjectFiles, AFolderWithATrailingSeparatorIsJoinedAsGiven) {
    const ProjectFiles files("p/");
    EXPECT_EQ(files.GeneralParameters(), "p//pargen.xml");
    EXPECT_EQ(files.Image(), "p//bin/bank1.bin");
    EXPECT_EQ(files.MergeBinFolder(), "p//bin/");
    EXPECT_EQ(files.OutputFolder(), "p/");
    EXPECT_EQ(files.NewFirmware(), "p/New_SX30418.sx");
}

TEST(ProjectFiles, TheProjectsFolderItselfIsAProjectFolderToo) {
    // What the workspace holds when no project was restored: the documents sit in PROJECTS.
    EXPECT_EQ(ProjectFiles("/app/PROJECTS").TranslateTable(), "/app/PROJECTS/var.xml");
    EXPECT_EQ(ProjectFiles("").GeneralParameters(), "/pargen.xml");
}

} // namespace
} // namespace fabricor
