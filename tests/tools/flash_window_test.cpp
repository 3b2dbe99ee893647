#include "flash/flash_window.h"

#include "base/settings_file.h"
#include "firmware/flash_tool.h"
#include "flash/flash_job.h"
#include "sample/sample_firmware.h"
#include "support/socat_line.h"
#include "support/temp_dir.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace fabricor::flash {
namespace {

using test_support::ReadFile;
using test_support::TempDir;
using test_support::WriteFile;

class FlashToolWindow : public ::testing::Test {
protected:
    void SetUp() override { WriteFile(app / "New_SX30418.sx", sample::SampleFirmwareText()); }
    std::string Parameters(int port) {
        return *FlashToolParameters((app / "New_SX30418.sx").string(), port);
    }
    QString Outcome() { return window.findChild<QLabel*>("Outcome")->text(); }

    TempDir app;
    Transcript transcript{app / "Progwerk.log"};
    FlashJob job;
    FlashWindow window{job, transcript};
};

TEST_F(FlashToolWindow, FollowsTheRecordsToTheEndAndTellsTheOutcome) {
    test_support::SocatLine line(app.path());
    ASSERT_TRUE(line.ready()) << line.said();
    ASSERT_TRUE(WriteIniValue(app / "Progwerk.ini", "ports", "COM2", line.device().string()));
    ASSERT_TRUE(job.Prepare(Parameters(1), app.path()));
    window.show();
    window.Start();
    EXPECT_TRUE(window.findChild<QLabel*>("What")->text().contains("to COM2 ("));
    std::string received;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            line.Drain(received);
            return window.finished();
        },
        30000));
    EXPECT_EQ(window.exitStatus(), 0);
    EXPECT_EQ(Outcome(), "Done: 1794 records sent to COM2.");
    auto* bar = window.findChild<QProgressBar*>("Progress");
    EXPECT_EQ(bar->value(), 1794);
    EXPECT_EQ(bar->maximum(), 1794);

    std::string firmware = ReadFile(app / "New_SX30418.sx");
    received += line.Gather(
        [&](const std::string& got) { return received.size() + got.size() >= firmware.size(); });
    EXPECT_TRUE(received == firmware);
    EXPECT_NE(ReadFile(app / "Progwerk.log").find("Done: 1794 records sent to COM2."),
              std::string::npos);

    int ended = -1;
    QObject::connect(&window, &FlashWindow::ended, [&](int status) { ended = status; });
    window.findChild<QPushButton*>("Close")->click();
    EXPECT_EQ(ended, 0);
}

TEST_F(FlashToolWindow, APortThatCannotOpenIsShownAsAFailure) {
    ASSERT_TRUE(
        WriteIniValue(app / "Progwerk.ini", "ports", "COM1", (app / "no-such-port").string()));
    ASSERT_TRUE(job.Prepare(Parameters(0), app.path()));
    window.show();
    window.Start();
    EXPECT_TRUE(window.finished());
    EXPECT_EQ(window.exitStatus(), 1);
    EXPECT_TRUE(Outcome().startsWith("Failed: COM1: cannot open ")) << Outcome().toStdString();
    EXPECT_NE(ReadFile(app / "Progwerk.log").find("FAILED: COM1: cannot open"), std::string::npos);
}

// Nobody reads the other end: the line fills up and takes nothing more.
TEST_F(FlashToolWindow, ALineThatTakesNoDataEndsInAFailureNamingThePort) {
    test_support::SocatLine line(app.path());
    ASSERT_TRUE(line.ready()) << line.said();
    ASSERT_TRUE(WriteIniValue(app / "Progwerk.ini", "ports", "COM4", line.device().string()));
    ASSERT_TRUE(WriteIniValue(app / "Progwerk.ini", "serial", "write_timeout_ms", "300"));
    ASSERT_TRUE(job.Prepare(Parameters(3), app.path()));
    window.show();
    window.Start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.finished(); }, 30000));
    EXPECT_EQ(window.exitStatus(), 1);
    EXPECT_TRUE(Outcome().startsWith("Failed: COM4 (")) << Outcome().toStdString();
    EXPECT_TRUE(Outcome().contains("took no data for 300 ms")) << Outcome().toStdString();
    EXPECT_NE(ReadFile(app / "Progwerk.log").find("FAILED: COM4 ("), std::string::npos);
}

TEST_F(FlashToolWindow, CloseEndsATransferThatWaitsForTheLine) {
    test_support::SocatLine line(app.path());
    ASSERT_TRUE(line.ready()) << line.said();
    ASSERT_TRUE(WriteIniValue(app / "Progwerk.ini", "ports", "COM4", line.device().string()));
    ASSERT_TRUE(job.Prepare(Parameters(3), app.path())); // the normal 10 s limit
    window.show();
    window.Start();
    // The line is full and the transfer waits; the window still answers.
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return job.idle() >= std::chrono::milliseconds(200); }, 30000));
    ASSERT_FALSE(window.finished());
    int ended = -1;
    QObject::connect(&window, &FlashWindow::ended, [&](int status) { ended = status; });
    window.findChild<QPushButton*>("Close")->click();
    EXPECT_EQ(ended, 1);
    EXPECT_TRUE(window.finished());
    EXPECT_LT(job.sent(), job.total());
    EXPECT_NE(ReadFile(app / "Progwerk.log").find("FAILED: stopped before every record was sent"),
              std::string::npos);
}

TEST_F(FlashToolWindow, ClosingBeforeTheEndIsAFailure) {
    window.show();
    window.ShowFailure("cannot read the parameters: the firmware path is empty", 2);
    EXPECT_EQ(window.exitStatus(), 2);
    FlashWindow early(job, transcript);
    early.show();
    int ended = -1;
    QObject::connect(&early, &FlashWindow::ended, [&](int status) { ended = status; });
    early.close();
    EXPECT_EQ(ended, 1);
}

} // namespace
} // namespace fabricor::flash
