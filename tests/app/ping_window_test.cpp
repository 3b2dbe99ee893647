#include "front/shell/main_window.h"
#include "front/shell/ping_dialog.h"

#include "support/recording_seams.h"
#include "support/temp_dir.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

namespace fabricor {
namespace {

using test_support::RecordingServices;
using test_support::TempDir;

class PingFromTheWindow : public ::testing::Test {
protected:
    std::unique_ptr<TFFabricoreFirmWare> Start(Services services) {
        return std::make_unique<TFFabricoreFirmWare>(
            QString::fromStdString(app.str() + "/fabricor"), services);
    }
    static void Ping(TFFabricoreFirmWare& window) {
        window.findChild<QPushButton*>("Btn_Ping")->click();
    }
    static QString Shown(TFPing& dialog) {
        QStringList visible;
        for (QLabel* picture : {dialog.I_P_F, dialog.I_P_NF, dialog.I_P_E})
            if (!picture->isHidden())
                visible << picture->objectName();
        return visible.join(',');
    }
    TempDir app;
    RecordingServices doubles;
};

TEST_F(PingFromTheWindow, TheAddressBoxTextIsPingedAndTheResultShown) {
    auto window = Start(doubles.services());
    doubles.echo.replyBytes = 1;
    Ping(*window);
    EXPECT_EQ(doubles.echo.hosts, std::vector<std::string>{"0.0.0.0"});
    EXPECT_EQ(doubles.dialogs.shown, QStringList{"TFPing"});
    EXPECT_EQ(window->PingState, kPingFound);
    EXPECT_EQ(Shown(*window->Ping()), "I_P_F");
    EXPECT_EQ(window->Ping()->windowTitle(), "Ping! Device Found!");

    window->SetPingAddress("192.168.10.20");
    doubles.echo.replyBytes = 0;
    Ping(*window);
    EXPECT_EQ(doubles.echo.hosts.back(), "192.168.10.20");
    EXPECT_EQ(window->PingState, kPingNotFound);
    EXPECT_EQ(Shown(*window->Ping()), "I_P_NF");
    EXPECT_EQ(window->Ping()->Label1->text(), "Device Not Found!");
}

TEST_F(PingFromTheWindow, NoNotificationEndsAsNotFoundAfterTheWaitLimit) {
    auto window = Start(doubles.services());
    doubles.echo.replyBytes.reset();
    std::uint32_t start = doubles.pingWait.now;
    Ping(*window);
    EXPECT_EQ(window->PingState, kPingWaiting);
    EXPECT_EQ(doubles.pingWait.now - start, 10010u);
    EXPECT_EQ(Shown(*window->Ping()), "I_P_NF");
}

TEST_F(PingFromTheWindow, AFailureAfterAFoundShowsOnlyTheErrorPicture) {
    auto window = Start(doubles.services());
    Ping(*window);
    ASSERT_EQ(Shown(*window->Ping()), "I_P_F");
    doubles.echo.failure = "Unknown host";
    window->SetPingAddress("no such thing");
    Ping(*window);
    EXPECT_EQ(Shown(*window->Ping()), "I_P_E");
    EXPECT_EQ(window->Ping()->windowTitle(), "Ping! Error!!!");
    EXPECT_EQ(window->Ping()->Label1->text(), "Error!!! Check the Ip Address");
    EXPECT_TRUE(doubles.boxes.shown.empty()); // the dialog is the only report
    EXPECT_EQ(doubles.dialogs.shown.size(), 2);
}

TEST_F(PingFromTheWindow, EmptyProjectFolderSendsNothing) {
    auto window = Start(doubles.services());
    window->workspace().ProjectFolder.clear();
    Ping(*window);
    EXPECT_TRUE(doubles.echo.hosts.empty());
    EXPECT_EQ(doubles.boxes.texts(), QStringList{"Project not valid"});
}

TEST_F(PingFromTheWindow, RealEchoToLoopbackIsFound) {
    if (!IcmpEchoFacility::CanOpen(IcmpEchoFacility::SocketKind::Any))
        GTEST_SKIP() << "this system allows no ICMP socket";
    IcmpEchoFacility echo;
    QtPingWait wait;
    Services services = doubles.services();
    services.echo = &echo;
    services.pingWait = &wait;
    auto window = Start(services);
    window->SetPingAddress("127.0.0.1");
    Ping(*window);
    EXPECT_EQ(window->PingState, kPingFound);
    EXPECT_EQ(Shown(*window->Ping()), "I_P_F");
}

} // namespace
} // namespace fabricor
