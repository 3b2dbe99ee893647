#include "front/shell/main_window.h"
#include "front/shell/test_device_window.h"
#include "documents/pargen.h"
#include "documents/var.h"
#include "gateway/gateway_project.h"
#include "gateway/rtu_peers.h"
#include "support/recording_seams.h"
#include "support/temp_dir.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>

#include <netinet/in.h>
#include <sys/socket.h>

namespace fabricor {
namespace {

using namespace fabricor::test_support;
using gateway::ProbeStatus;

bool WriteProject(const TempDir& dir) {
    auto parameters = NewProjectGeneralParameters();
    parameters.timeOut = "150";
    parameters.ip = {"127", "0", "0", "1"};
    parameters.port = 1502;
    // Slave 1 holds 200 registers: row 3 reads past them.
    return WriteGeneralParameters((dir / "pargen.xml").string(),
                                  EncodeGeneralParameters(parameters))
               .ok() &&
           WriteTranslateTable((dir / "var.xml").string(), {{3, 0, 1, 10, 5, "level"},
                                                            {2, 0, 1, 0, 16, "alarms"},
                                                            {4, 0, 1, 900, 1, "missing"}})
               .ok();
}

class TestDeviceWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(written && line.ready() && slave.connected());
        ASSERT_EQ(gateway.problem(), "");
    }
    // The window over the project, pointed at the gateway, polling without a pause.
    std::unique_ptr<TFTestDevice> Open() {
        auto window = std::make_unique<TFTestDevice>(doubles.services());
        window->LoadProject(dir.str());
        window->findChild<QSpinBox*>("SE_Port")->setValue(gateway.port());
        window->findChild<QSpinBox*>("SE_Interval")->setValue(0);
        window->show();
        return window;
    }

    TempDir dir;
    bool written = WriteProject(dir);
    PtyPair line{dir.path()};
    RtuSlave slave{line.slave(), 1};
    RunningGateway gateway{[this] {
        gateway::GatewayOptions options;
        options.settings = gateway::LoadGatewayProject(dir.str()).settings;
        options.serialDevice = line.master();
        return options;
    }()};
    RecordingServices doubles;
};

TEST_F(TestDeviceWindow, OpensRightOfUpdateDeviceOverTheCurrentProject) {
    TempDir app;
    TFFabricoreFirmWare main(QString::fromStdString(app.str() + "/fabricor"), doubles.services());
    main.show();
    auto* button = main.findChild<QPushButton*>("btn_TestDevice");
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->geometry().size(), main.findChild<QPushButton*>("CreateBin")->size());
    EXPECT_EQ(button->y(), main.findChild<QPushButton*>("CreateBin")->y());
    main.workspace().ProjectFolder = dir.str();
    QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_NE(main.TestDevice(), nullptr);
    EXPECT_TRUE(main.TestDevice()->isVisible());
    EXPECT_EQ(main.TestDevice()->findChild<QLineEdit*>("E_Host")->text(), "127.0.0.1");
    EXPECT_EQ(main.TestDevice()->findChild<QSpinBox*>("SE_Port")->value(), 1502);
    EXPECT_EQ(main.TestDevice()->plan().size(), 3u);
}

TEST_F(TestDeviceWindow, PollsOffTheInterfaceThreadAndStopsAtOnce) {
    auto window = Open();
    QTest::mouseClick(window->findChild<QPushButton*>("btn_Start"), Qt::LeftButton);
    EXPECT_TRUE(window->running());
    QTRY_VERIFY_WITH_TIMEOUT(window->passes() >= 3, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(window->summary().contains("device 1 has no input register 30901"),
                             2000);
    const auto& results = window->results();
    EXPECT_EQ(results[0].status, ProbeStatus::Ok);
    EXPECT_EQ(results[0].values, (std::vector<uint16_t>{1010, 1011, 1012, 1013, 1014}));
    EXPECT_EQ(results[1].status, ProbeStatus::Ok);
    EXPECT_EQ(results[2].status, ProbeStatus::Exception);
    EXPECT_EQ(results[2].exception, 2);

    QElapsedTimer stopping;
    stopping.start();
    QTest::mouseClick(window->findChild<QPushButton*>("btn_Stop"), Qt::LeftButton);
    EXPECT_LT(stopping.elapsed(), 50);
    EXPECT_FALSE(window->running());
    const int passes = window->passes();
    QTest::qWait(200);
    EXPECT_EQ(window->passes(), passes) << "nothing arrives after Stop";
    EXPECT_LT(window->longestStepMs(), 50);

    const auto csv = dir / "results.csv";
    doubles.files.answers = {QString::fromStdString(csv.string())};
    QTest::mouseClick(window->findChild<QPushButton*>("btn_SaveCsv"), Qt::LeftButton);
    const std::string text = ReadFile(csv);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4) << text;
    EXPECT_NE(text.find("1010 1011 1012 1013 1014"), std::string::npos) << text;
}

TEST_F(TestDeviceWindow, ClosingStopsEvenAReadThatWaits) {
    // A server that takes the connection and never answers.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), size), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
    auto window = Open();
    window->findChild<QSpinBox*>("SE_Port")->setValue(ntohs(address.sin_port));
    window->Start();
    QTest::qWait(100);
    QElapsedTimer closing;
    closing.start();
    window->close();
    EXPECT_LT(closing.elapsed(), 50);
    EXPECT_FALSE(window->running());
    EXPECT_EQ(window->results()[0].status, ProbeStatus::Pending);
    ::close(listener);
}

} // namespace
} // namespace fabricor
