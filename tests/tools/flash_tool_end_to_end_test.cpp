// The flash tool as the update dialog starts it, with a socat pseudo-terminal pair standing in
// for the device's serial line.

#include "base/settings_file.h"
#include "firmware/flash_tool.h"
#include "platform/serial_port.h"
#include "sample/sample_firmware.h"
#include "support/socat_line.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

namespace fabricor {
namespace {

using test_support::ReadFile;
using test_support::TempDir;
using test_support::WriteFile;
namespace fs = std::filesystem;

struct Ran {
    int status = -1;
    std::string received; // what reached the device's end of the line
};

class FlashTool : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::access("/usr/bin/socat", X_OK), 0)
            << "socat is needed (scripts/install-deps.sh)";
        // The tool reads its settings beside itself and writes its log there: give it a folder.
        fs::copy_file(fs::path(FABRICOR_APP_DIR) / kFlashToolFileName, tool());
        line_ = std::make_unique<test_support::SocatLine>(app.path());
        ASSERT_TRUE(line_->ready()) << line_->said();
        ASSERT_TRUE(line_->open());
        ASSERT_TRUE(WriteIniValue(app / "Progwerk.ini", "ports", "COM3", line_->device().string()));
        // The terminal form, also where a display is at hand.
        ASSERT_TRUE(WriteIniValue(app / "Progwerk.ini", "display", "window", "0"));
        WriteFile(app / "New_SX30418.sx", sample::SampleFirmwareText());
    }

    fs::path tool() const { return app / kFlashToolFileName; }

    // Starts the tool as the dialog does (one argument, the exact bytes, working folder given),
    // and gathers what arrives at the host end until the tool has ended and the line is quiet.
    // `readLine` false: nobody reads the device's end, as with a device that takes no data.
    Ran Run(const std::string& parameters, size_t expectBytes = 0, bool readLine = true) {
        Ran ran;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, (app / "stdout.txt").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, (app / "stderr.txt").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::string program = tool().string();
        const char* argv[] = {program.c_str(), parameters.c_str(), nullptr};
        pid_t child = 0;
        EXPECT_EQ(posix_spawn(&child, program.c_str(), &actions, nullptr, const_cast<char**>(argv),
                              environ),
                  0);
        posix_spawn_file_actions_destroy(&actions);
        bool ended = false;
        auto done = [&](const std::string& received) {
            if (!ended && ::waitpid(child, &ran.status, WNOHANG) == child)
                ended = true;
            return ended && received.size() >= expectBytes;
        };
        if (readLine) {
            ran.received = line_->Gather(done);
        } else {
            for (auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
                 !done("") && std::chrono::steady_clock::now() < limit;)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (!ended) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &ran.status, 0);
            ADD_FAILURE() << "the flash tool did not end";
        }
        return ran;
    }

    std::string Parameters(const std::string& file, int port) {
        return *FlashToolParameters((app / file).string(), port);
    }

    TempDir app;
    std::unique_ptr<test_support::SocatLine> line_;
};

TEST_F(FlashTool, SendsEveryRecordToThePortOfTheIndex) {
    std::string firmware = ReadFile(app / "New_SX30418.sx");
    Ran ran = Run(Parameters("New_SX30418.sx", 2), firmware.size());
    ASSERT_TRUE(WIFEXITED(ran.status));
    EXPECT_EQ(WEXITSTATUS(ran.status), 0) << ReadFile(app / "stderr.txt");
    EXPECT_EQ(ran.received.size(), firmware.size());
    EXPECT_TRUE(ran.received == firmware); // record by record, CR LF after each
    std::string said = ReadFile(app / "stdout.txt");
    EXPECT_NE(said.find("to COM3 ("), std::string::npos) << said;
    EXPECT_NE(said.find("1794 of 1794 records (100%)"), std::string::npos) << said;
    EXPECT_NE(said.find("Done: 1794 records sent to COM3."), std::string::npos) << said;
    EXPECT_EQ(ReadFile(app / "Progwerk.log"), said);
}

// A pseudo-terminal tells nothing pending as soon as the bytes are written; closing then must
// not throw away what the other end has not read yet (a busy machine lost the last records).
TEST_F(FlashTool, ClosingTheLineAfterEverythingLeftLosesNothing) {
    const std::string bytes(3000, 'S');
    {
        SerialPort port;
        ASSERT_TRUE(port.Open(line_->device().string(), 115200));
        size_t written = 0;
        ASSERT_TRUE(port.WriteSome(bytes, std::chrono::steady_clock::now() +
                                              std::chrono::seconds(5), written));
        ASSERT_EQ(written, bytes.size());
        line_->Pause();
        ASSERT_EQ(port.Pending(), 0);
    }
    line_->Resume();
    std::string received = line_->Gather([&](const std::string& got) {
        return got.size() >= bytes.size();
    }, std::chrono::seconds(5));
    EXPECT_EQ(received.size(), bytes.size());
}

TEST_F(FlashTool, ABrokenFirmwareNeverReachesTheLine) {
    std::string firmware = sample::SampleFirmwareText();
    size_t record = firmware.find("S224388000");
    firmware[record + 12] = firmware[record + 12] == 'F' ? 'E' : 'F'; // a flipped data digit
    WriteFile(app / "New_SX30418.sx", firmware);
    Ran ran = Run(Parameters("New_SX30418.sx", 2));
    ASSERT_TRUE(WIFEXITED(ran.status));
    EXPECT_EQ(WEXITSTATUS(ran.status), 1);
    EXPECT_EQ(ran.received, "");
    std::string said = ReadFile(app / "stderr.txt");
    EXPECT_NE(said.find("cannot go to the device: line 1026: wrong checksum"), std::string::npos)
        << said;
    EXPECT_NE(ReadFile(app / "Progwerk.log").find("FAILED: "), std::string::npos);
}

TEST_F(FlashTool, FailuresEndWithAMessageAndANonZeroStatus) {
    struct Case {
        std::string parameters;
        int status;
        std::string message;
    };
    WriteFile(app / "plain.sx",
              "S00600004844521B\r\nS1130000000102030405060708090A0B0C0D0E0F74\r\n");
    for (const Case& c : {
             Case{Parameters("missing.sx", 2), 1, "cannot read the firmware file"},
             Case{Parameters("plain.sx", 2), 1,
                  "the configuration (0x388000 to 0x38BFFF) is missing"},
             Case{Parameters("New_SX30418.sx", 4), 1, "COM5: cannot open /dev/ttyS4"},
             Case{"/tmp/no-quotes.sx", 2, "cannot read the parameters"},
         }) {
        Ran ran = Run(c.parameters);
        ASSERT_TRUE(WIFEXITED(ran.status)) << c.parameters;
        EXPECT_EQ(WEXITSTATUS(ran.status), c.status) << c.parameters;
        std::string said = ReadFile(app / "stderr.txt");
        EXPECT_NE(said.find(c.message), std::string::npos) << said;
        EXPECT_EQ(ran.received, "");
    }
}

TEST_F(FlashTool, RefusesALineSpeedItCannotSet) {
    ASSERT_TRUE(WriteIniValue(app / "Progwerk.ini", "serial", "baud", "12345"));
    Ran ran = Run(Parameters("New_SX30418.sx", 2));
    ASSERT_TRUE(WIFEXITED(ran.status));
    EXPECT_EQ(WEXITSTATUS(ran.status), 1);
    EXPECT_NE(ReadFile(app / "stderr.txt").find("line speed"), std::string::npos);
    EXPECT_EQ(ran.received, "");
}

TEST_F(FlashTool, ALineThatTakesNoDataStopsTheTransferAfterTheTimeLimit) {
    ASSERT_TRUE(WriteIniValue(app / "Progwerk.ini", "serial", "write_timeout_ms", "300"));
    auto started = std::chrono::steady_clock::now();
    Ran ran = Run(Parameters("New_SX30418.sx", 2), 0, false);
    auto took = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    ASSERT_TRUE(WIFEXITED(ran.status));
    EXPECT_EQ(WEXITSTATUS(ran.status), 1);
    std::string said = ReadFile(app / "stderr.txt");
    EXPECT_NE(said.find("COM3 (" + line_->device().string() +
                        "): the line took no data for 300 ms; stopped after "),
              std::string::npos)
        << said;
    EXPECT_NE(ReadFile(app / "Progwerk.log").find("FAILED: COM3 ("), std::string::npos);
    std::printf("a line that takes no data: the tool gave up after %.2f s (limit 0.3 s)\n", took);
}

TEST_F(FlashTool, RefusesATimeLimitThatIsNotAPositiveNumber) {
    ASSERT_TRUE(WriteIniValue(app / "Progwerk.ini", "serial", "write_timeout_ms", "0"));
    Ran ran = Run(Parameters("New_SX30418.sx", 2));
    ASSERT_TRUE(WIFEXITED(ran.status));
    EXPECT_EQ(WEXITSTATUS(ran.status), 1);
    EXPECT_NE(ReadFile(app / "stderr.txt").find("write_timeout_ms"), std::string::npos);
    EXPECT_EQ(ran.received, "");
}

} // namespace
} // namespace fabricor
