// One whole update of a fixed project compared byte for byte with its golden new firmware.

#include "firmware/merge.h"
#include "firmware/sx_test_support.h"
#include "image/configuration_image.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace fabricor {
namespace {

using namespace fabricor::test_support;
namespace fs = std::filesystem;

struct Quiet final : MergeReporter, MergeProgress {
    std::vector<std::string> messages;
    void Report(const std::string& message) override { messages.push_back(message); }
    void SetMaximum(int64_t) override {}
    void SetPosition(int64_t) override {}
};

TEST(GoldenFirmware, AFixedProjectMergedIntoASmallBaseGivesTheGoldenFileByteForByte) {
    const fs::path golden = fs::path(FABRICOR_TEST_DATA) / "golden";
    TempDir project;
    fs::create_directory(project / "bin");
    FixedClock clock(LocalTime{2026, 12, 8, 14, 35, 47});
    ConfigurationImage image;
    auto report =
        BuildConfigurationImage((golden / "project" / "var.xml").string(),
                                (golden / "project" / "pargen.xml").string(), clock, image);
    ASSERT_TRUE(report.complete) << report.description;
    ASSERT_TRUE(WriteConfigurationImage(project.str(), image).ok());

    Quiet quiet;
    auto result = MergeBankSx((golden / "SX30418.sx").string(), "New_SX30418.sx",
                              (project / "bin").string() + "/", project.str() + "/", quiet, quiet);
    ASSERT_EQ(result.outcome, MergeOutcome::Written) << result.error;
    EXPECT_TRUE(quiet.messages.empty());
    // FABRICOR_REGENERATE_GOLDEN=1 writes the golden file anew, for an intended change only.
    if (std::getenv("FABRICOR_REGENERATE_GOLDEN"))
        WriteFile(golden / "New_SX30418.sx", ReadFile(project / "New_SX30418.sx"));
    EXPECT_EQ(ReadFile(project / "New_SX30418.sx"), ReadFile(golden / "New_SX30418.sx"));

    // The golden file itself is a sound firmware carrying the image, by srec_cat's reading.
    auto verdict = AskSrecCat(golden / "New_SX30418.sx", project);
    EXPECT_EQ(verdict.complaints.find("checksum"), std::string::npos) << verdict.complaints;
    EXPECT_EQ(verdict.window, std::string(image.begin(), image.end()));
}

} // namespace
} // namespace fabricor
