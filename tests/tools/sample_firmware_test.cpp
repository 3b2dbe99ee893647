#include "sample/sample_firmware.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace fabricor {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

std::string Program() {
    return std::string(FABRICOR_APP_DIR) + "/fabricor-sample-firmware";
}

// srec_cat is an independent judge: it refuses a record with a wrong checksum or length.
TEST(SampleFirmware, IsAValidSRecordFileWithAnErasedConfigurationWindow) {
    TempDir dir;
    WriteFile(dir / "sample.sx", sample::SampleFirmwareText());
    std::string binary = (dir / "window.bin").string();
    std::string command = "srec_cat " + (dir / "sample.sx").string() +
                          " -crop 0x388000 0x38C000 -offset -0x388000 -o " + binary + " -binary";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(ReadFile(binary), std::string(16384, '\xFF'));
    std::string text = sample::SampleFirmwareText();
    EXPECT_EQ(text.find(sample::kSampleHeader), std::string::npos); // in hex, of course
    EXPECT_EQ(text.substr(0, 2), "S0");
}

TEST(SampleFirmware, GeneratorWritesTheFileButNeverReplacesOne) {
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
