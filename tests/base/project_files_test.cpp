#include "base/project_files.h"

#include "platform/files.h"

#include <gtest/gtest.h>

namespace fabricor {
namespace {

// The system's separator joins: "\\" on Windows, where a folder's own "/" stays as given.
const std::string S(1, platform::kSeparator);

TEST(ProjectFiles, EveryFileIsTheFolderASeparatorAndItsName) {
    const ProjectFiles files("/app/PROJECTS/pump");
    EXPECT_EQ(files.GeneralParameters(), "/app/PROJECTS/pump" + S + "pargen.xml");
    EXPECT_EQ(files.TranslateTable(), "/app/PROJECTS/pump" + S + "var.xml");
    EXPECT_EQ(files.BinFolder(), "/app/PROJECTS/pump" + S + "bin");
    EXPECT_EQ(files.Image(), "/app/PROJECTS/pump" + S + "bin" + S + "bank1.bin");
    EXPECT_EQ(files.CSource(), "/app/PROJECTS/pump" + S + "bin" + S + "bankg.c");
    EXPECT_EQ(files.Staging(), "/app/PROJECTS/pump" + S + "bin" + S + "Bin.sx");
    EXPECT_EQ(files.Lock(), "/app/PROJECTS/pump" + S + "bin" + S + ".update.lock");
    EXPECT_EQ(files.MergeBinFolder(), "/app/PROJECTS/pump" + S + "bin" + S);
    EXPECT_EQ(files.OutputFolder(), "/app/PROJECTS/pump" + S);
    EXPECT_EQ(files.NewFirmware(), "/app/PROJECTS/pump" + S + "New_SX30418.sx");
    EXPECT_EQ(ProjectFiles::BaseFirmwareIn("/app/MASTER"), "/app/MASTER" + S + "SX30418.sx");
}

// The workspace joins by plain text: a folder given with a separator at its end keeps it in the
// joined paths, while the new firmware's folder never gets a second one.
TEST(ProjectFiles, AFolderWithATrailingSeparatorIsJoinedAsGiven) {
    const ProjectFiles files("p" + S);
    EXPECT_EQ(files.GeneralParameters(), "p" + S + S + "pargen.xml");
    EXPECT_EQ(files.Image(), "p" + S + S + "bin" + S + "bank1.bin");
    EXPECT_EQ(files.MergeBinFolder(), "p" + S + S + "bin" + S);
    EXPECT_EQ(files.OutputFolder(), "p" + S);
    EXPECT_EQ(files.NewFirmware(), "p" + S + "New_SX30418.sx");
}

TEST(ProjectFiles, TheProjectsFolderItselfIsAProjectFolderToo) {
    // What the workspace holds when no project was restored: the documents sit in PROJECTS.
    EXPECT_EQ(ProjectFiles("/app/PROJECTS").TranslateTable(), "/app/PROJECTS" + S + "var.xml");
    EXPECT_EQ(ProjectFiles("").GeneralParameters(), S + "pargen.xml");
}

} // namespace
} // namespace fabricor
