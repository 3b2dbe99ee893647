// The Windows flash tool started as the update dialog starts it: through the shell
// with the parameter string the dialog builds, Windows-1252 and the pilcrow, in
// a project folder whose name is not ASCII. Its log shows what it understood.
#include "firmware/flash_tool.h"
#include "platform/process.h"

#include "support/golden.h"
#include "support/temp_dir.h"
#include "support/windows_flash_tool.h"

#include <gtest/gtest.h>

namespace fabricor {
namespace {

using namespace fabricor::test_support;
namespace fs = std::filesystem;

TEST(FlashToolOnWindows, TheUpdateDialogsParameterStringReachesItThroughTheShell) {
    // The programs' folder and the project both carry a name outside ASCII, given as UTF-8.
    TempDir temp;
    const fs::path app = temp.path() / fs::path(u8"Anlage S\u00fcd");
    fs::create_directory(app);
    fs::copy_file(fs::path(FABRICOR_APP_DIR) / "Progwerk.exe", app / "Progwerk.exe");
    const fs::path project = app / fs::path(u8"Pumpstation S\u00fcd");
    fs::create_directory(project);
    const fs::path firmware = project / "New_SX30418.sx";
    fs::copy_file(kGoldenFolder / "New_SX30418.sx", firmware);
    // COM3 goes to a port that is not there: the tool must get as far as opening it.
    WriteFile(app / "Progwerk.ini", "[ports]\r\nCOM3=COM231\r\n");

    std::optional<std::string> parameters = FlashToolParameters(Utf8(firmware), 2);
    ASSERT_TRUE(parameters);
    ASSERT_NE(parameters->find('\xB6'), std::string::npos);
    ASSERT_TRUE(StartDetachedProgram(Utf8(app / "Progwerk.exe"), *parameters, Utf8(project)));

    std::string log = FinishedLog(app / "Progwerk.log");
    EXPECT_NE(log.find("Sending " + Utf8(firmware) + " to COM3 (COM231, 115200 baud)"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("FAILED: COM3: cannot open COM231: "), std::string::npos) << log;
}

// Under Wine, scripts/test-windows.sh maps COM8 to one end of a socat pseudo-terminal pair and
// records what the other end receives, on the Linux side, in the file FABRICOR_COM8_RECEIVED
// names.
TEST(FlashToolOnWindows, SendsEveryRecordToTheComPort) {
    const auto recording = Com8Recording();
    if (!recording)
        GTEST_SKIP() << kNoCom8;
    const size_t before = ReadFile(*recording).size();

    TempDir app;
    fs::copy_file(fs::path(FABRICOR_APP_DIR) / "Progwerk.exe", app / "Progwerk.exe");
    const fs::path project = app.path() / "Pumpstation";
    fs::create_directory(project);
    const fs::path firmware = project / "New_SX30418.sx";
    const std::string text = ReadFile(kGoldenFolder / "New_SX30418.sx");
    WriteFile(firmware, text);

    std::optional<std::string> parameters = FlashToolParameters(Utf8(firmware), 7);
    ASSERT_TRUE(parameters);
    ASSERT_TRUE(StartDetachedProgram(Utf8(app / "Progwerk.exe"), *parameters, Utf8(project)));
    ExpectFirmwareSentToCom8(text, app / "Progwerk.log", *recording, before);
}

} // namespace
} // namespace fabricor
