#include "firmware/update_pipeline.h"

#include "firmware/sx_test_support.h"
#include "support/golden.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include "support/lock_holder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace fabricor {
namespace {

using namespace fabricor::test_support;
namespace fs = std::filesystem;

class Pipeline : public ::testing::Test {
protected:
    Pipeline() {
        CopyGoldenProject(dir / "P");
        std::vector<std::string> base = {Record(0, 0, {'b'})};
        for (uint32_t a = 0x387000; a < 0x38D000; a += 32)
            base.push_back(Record(2, a, Pattern(32, a)));
        base.push_back("S804000000FB");
        WriteFile(Base(), Join(base, "\n"));
    }
    ProjectFiles Files() const { return ProjectFiles((dir / "P").string()); }
    std::string Base() const { return (dir / "SX30418.sx").string(); }

    struct Reporter final : MergeReporter {
        void Report(const std::string& message) override { said.push_back(message); }
        std::vector<std::string> said;
    };

    TempDir dir;
    FixedClock clock{LocalTime{2026, 12, 8, 14, 35, 47}};
    Reporter reporter;
    NoMergeProgress progress;
};

TEST_F(Pipeline, BuildsWritesAndMergesTheImage) {
    ProjectUpdate update(Files());
    ASSERT_FALSE(update.refused());
    EXPECT_TRUE(update.BuildAndWrite(clock).MayMerge());
    const UpdateResult& result = update.Merge(Base(), reporter, progress);
    EXPECT_TRUE(result.Merged());
    EXPECT_TRUE(result.merge->imagePlaced);
    EXPECT_TRUE(reporter.said.empty());
    EXPECT_TRUE(ReadFile(Files().CSource()) == ReadFile(kGoldenFolder / "bankg.c"));
    auto verdict = AskSrecCat(Files().NewFirmware(), dir);
    EXPECT_EQ(verdict.window, ReadFile(Files().Image()));
}

TEST_F(Pipeline, ABuildThatStoppedEarlyIsWrittenButNeverMerged) {
    WriteFile(Files().TranslateTable(), "<TCP_TO_RTU><row DATA_TYPE=\"1\"/></TCP_TO_RTU>");
    WriteFile(Files().NewFirmware(), "an older firmware");
    ProjectUpdate update(Files());
    const UpdateResult& built = update.BuildAndWrite(clock);
    EXPECT_FALSE(built.build.complete);
    EXPECT_TRUE(built.FilesWritten());
    EXPECT_FALSE(built.MayMerge());
    EXPECT_TRUE(fs::exists(Files().Image()));
    EXPECT_FALSE(update.Merge(Base(), reporter, progress).merge);
    EXPECT_EQ(ReadFile(Files().NewFirmware()), "an older firmware");
}

// The empty table is offered for a missing var.xml only, and only when pargen.xml then builds.
TEST_F(Pipeline, OnlyAMissingTableIsOfferedAnEmptyOne) {
    const fs::path var = dir / "P" / "var.xml";
    auto offered = [&] {
        ProjectUpdate update(Files());
        EXPECT_FALSE(update.BuildAndWrite(clock).MayMerge());
        return update.OnlyTranslateTableMissing();
    };
    fs::remove(var);
    EXPECT_TRUE(offered());
    fs::create_directory(var); // something else of that name
    EXPECT_FALSE(offered());
    fs::remove(var);
    WriteFile(dir / "P" / "pargen.xml", "<General_Parameter>"); // would stop the build too
    EXPECT_FALSE(offered());
}

TEST_F(Pipeline, AFileThatCouldNotBeWrittenStopsTheUpdate) {
    fs::create_directories(Files().Image()); // a folder cannot be replaced by the image
    ProjectUpdate update(Files());
    const UpdateResult& built = update.BuildAndWrite(clock);
    EXPECT_TRUE(built.build.complete);
    EXPECT_FALSE(built.imageWritten);
    EXPECT_TRUE(built.sourceWritten);
    EXPECT_FALSE(built.MayMerge());
    EXPECT_FALSE(update.Merge(Base(), reporter, progress).merge);
    EXPECT_FALSE(fs::exists(Files().NewFirmware()));
}

TEST_F(Pipeline, TheMergeAloneTakesTheImageAlreadyInBin) {
    WriteFile(Files().Image(), std::string(16384, 'x'));
    ProjectUpdate update(Files());
    EXPECT_TRUE(update.Merge(Base(), reporter, progress).Merged());
    EXPECT_EQ(AskSrecCat(Files().NewFirmware(), dir).window, std::string(16384, 'x'));
}

TEST_F(Pipeline, AProjectWithoutAFolderHasNoBinFolder) {
    ProjectUpdate update{ProjectFiles("")};
    EXPECT_EQ(update.Merge(Base(), reporter, progress).merge->outcome, MergeOutcome::CheckFailed);
    EXPECT_EQ(reporter.said, std::vector<std::string>{kMergeBinMissing});
}

// The lock is the update's, from the object's making to its end: another run is refused
// meanwhile and gets through afterwards. Not in the Windows build: the other run is a child
// made with fork, and the competing open takes the lock with flock.
#ifndef _WIN32
TEST_F(Pipeline, HoldsTheProjectLockForItsWholeLife) {
    {
        LockHolder elsewhere(Files().Lock());
        ASSERT_TRUE(elsewhere.held());
        ProjectUpdate refused(Files(), std::chrono::milliseconds(20));
        EXPECT_TRUE(refused.refused());
        EXPECT_NE(refused.refusal().find(kProjectBeingUpdated), std::string::npos);
        EXPECT_FALSE(refused.BuildAndWrite(clock).built);
        EXPECT_FALSE(refused.Merge(Base(), reporter, progress).merge);
        EXPECT_FALSE(fs::exists(Files().Image()));
    }
    // A second open of the lock file competes like another run would.
    auto lockedByAnother = [this] {
        int fd = ::open(Files().Lock().c_str(), O_RDWR);
        bool taken = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        if (fd >= 0)
            ::close(fd);
        return !taken;
    };
    auto update = std::make_unique<ProjectUpdate>(Files());
    ASSERT_FALSE(update->refused());
    update->BuildAndWrite(clock);
    update->Merge(Base(), reporter, progress);
    EXPECT_TRUE(lockedByAnother());
    update.reset();
    EXPECT_FALSE(lockedByAnother());
}
#endif

} // namespace
} // namespace fabricor
