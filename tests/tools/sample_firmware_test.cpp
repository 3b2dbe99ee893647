#include "sample/sample_firmware.h"

#include "firmware/sx_test_support.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace fabricor {
namespace {

using test_support::ReadFile;
using test_support::TempDir;
using test_support::WriteFile;

std::string Program() {
    return std::string(FABRICOR_APP_DIR) + "/fabricor-sample-firmware";
}

// srec_cat is an independent judge: it refuses a record with a wrong checksum or length.
TEST(SampleFirmware, IsAValidSRecordFileWithAnErasedConfigurationWindow) {
    TempDir dir;
    WriteFile(dir / "sample.sx", sample::SampleFirmwareText());
    test_support::JudgeVerdict verdict = test_support::AskSrecCat(dir / "sample.sx", dir);
    ASSERT_TRUE(verdict.accepted) << verdict.complaints;
    EXPECT_EQ(verdict.window, std::string(16384, '\xFF'));
    std::string text = sample::SampleFirmwareText();
    EXPECT_EQ(text.find(sample::kSampleHeader), std::string::npos); // in hex, of course
    EXPECT_EQ(text.substr(0, 2), "S0");
}

TEST(SampleFirmware, GeneratorWritesTheFileButNeverReplacesOne) {
#ifdef _WIN32
    GTEST_SKIP() << "runs the program through a POSIX shell; the Windows build runs "
                    "fabricor-sample-firmware.exe under Wine in windows_programs.sh";
#endif
    TempDir dir;
    std::string target = (dir / "SX30418.sx").string();
    ASSERT_EQ(std::system((Program() + " " + target + " >/dev/null").c_str()), 0);
    EXPECT_EQ(ReadFile(target), sample::SampleFirmwareText());
    WriteFile(target, "a real firmware");
    EXPECT_NE(std::system((Program() + " " + target + " 2>/dev/null").c_str()), 0);
    EXPECT_EQ(ReadFile(target), "a real firmware");
}

} // namespace
} // namespace fabricor
