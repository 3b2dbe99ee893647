#include "workspace/ping.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <vector>

namespace fabricor {
namespace {

// A tick counter that only moves when the ping sleeps, and a message queue that delivers a
// scheduled reply once its moment has come.
class FakeWait final : public PingWaitHost {
public:
    explicit FakeWait(std::uint32_t start = 1000) : now(start), start(start) {}
    std::uint32_t TickCount() override { return now; }
    void Sleep(int milliseconds) override {
        now += static_cast<std::uint32_t>(milliseconds);
        ++sleeps;
    }
    void ProcessMessages() override {
        ++processed;
        if (lateReply && static_cast<std::uint32_t>(now - start) >= lateReply->atMs) {
            auto bytes = lateReply->bytes;
            lateReply.reset();
            deliver(bytes);
        }
    }
    struct Scheduled {
        std::uint32_t atMs;
        int bytes;
    };
    std::uint32_t now;
    std::uint32_t start;
    int sleeps = 0;
    int processed = 0;
    std::optional<Scheduled> lateReply;
    EchoReplyHandler deliver;
};

class FakeEcho final : public EchoFacility {
public:
    enum class Answer { Reply, Silent, Deferred, Fail, Throw };
    platform::Result Ping(const std::string& host, const std::string& payload,
                          std::uint16_t sequence, const EchoReplyHandler& onReply) override {
        calls.push_back({host, payload, sequence});
        switch (answer) {
        case Answer::Reply:
            onReply(bytes);
            break;
        case Answer::Silent:
            break;
        case Answer::Deferred:
            deferred = onReply;
            break;
        case Answer::Fail:
            return platform::Result::Failed("host not usable");
        case Answer::Throw:
            throw std::runtime_error("socket layer broke");
        }
        return platform::Result::Ok();
    }
    struct Call {
        std::string host, payload;
        std::uint16_t sequence;
    };
    Answer answer = Answer::Reply;
    int bytes = 32;
    std::vector<Call> calls;
    EchoReplyHandler deferred;
};

// The main window's side: PingState and its reply notification.
struct Window {
    int PingState = -1;
    EchoReplyHandler Ping1Reply() {
        return [this](int bytes) { PingState = PingStateOfReply(bytes); };
    }
};

TEST(PingDevice, ReplyWithBytesIsFoundAfterOnePass) {
    FakeEcho echo;
    FakeWait wait;
    Window window;
    echo.bytes = 1;
    EXPECT_EQ(RunDevicePing("192.168.0.7", echo, wait, window.PingState, window.Ping1Reply()),
              PingResultKind::Found);
    ASSERT_EQ(echo.calls.size(), 1u);
    EXPECT_EQ(echo.calls[0].host, "192.168.0.7");
    EXPECT_EQ(echo.calls[0].payload, "192.168.0.7");
    EXPECT_EQ(echo.calls[0].sequence, 0);
    EXPECT_EQ(wait.sleeps, 1); // the loop runs at least once even with the state already set
    EXPECT_EQ(wait.processed, 1);
    EXPECT_EQ(window.PingState, kPingFound);
}

TEST(PingDevice, ReplyOfZeroBytesIsNotFound) {
    FakeEcho echo;
    FakeWait wait;
    Window window;
    echo.bytes = 0;
    EXPECT_EQ(RunDevicePing("0.0.0.0", echo, wait, window.PingState, window.Ping1Reply()),
              PingResultKind::NotFound);
    EXPECT_EQ(window.PingState, kPingNotFound);
    EXPECT_EQ(wait.sleeps, 1);
}

TEST(PingDevice, NoReplyAtAllGivesUpAfterTenSeconds) {
    FakeEcho echo;
    FakeWait wait;
    Window window;
    echo.answer = FakeEcho::Answer::Silent;
    EXPECT_EQ(RunDevicePing("10.0.0.1", echo, wait, window.PingState, window.Ping1Reply()),
              PingResultKind::NotFound);
    EXPECT_EQ(window.PingState, kPingWaiting);
    // More than 10000 ms: the pass that reaches 10010 ms is the last.
    EXPECT_EQ(wait.now - wait.start, 10010u);
    EXPECT_EQ(wait.processed, 1001);
}

TEST(PingDevice, ReplyDeliveredWhileWaitingIsFound) {
    FakeEcho echo;
    FakeWait wait;
    Window window;
    echo.answer = FakeEcho::Answer::Deferred;
    wait.deliver = [&](int bytes) { echo.deferred(bytes); };
    wait.lateReply = FakeWait::Scheduled{3000, 40};
    EXPECT_EQ(RunDevicePing("10.0.0.1", echo, wait, window.PingState, window.Ping1Reply()),
              PingResultKind::Found);
    EXPECT_EQ(wait.now - wait.start, 3000u);
}

TEST(PingDevice, ReplyAfterTheWaitLimitIsNotFound) {
    FakeEcho echo;
    FakeWait wait;
    Window window;
    echo.answer = FakeEcho::Answer::Deferred;
    wait.deliver = [&](int bytes) { echo.deferred(bytes); };
    wait.lateReply = FakeWait::Scheduled{10011, 40};
    EXPECT_EQ(RunDevicePing("10.0.0.1", echo, wait, window.PingState, window.Ping1Reply()),
              PingResultKind::NotFound);
    EXPECT_TRUE(wait.lateReply.has_value()); // never delivered
}

TEST(PingDevice, ReplyInTheLastPassStillCounts) {
    FakeEcho echo;
    FakeWait wait;
    Window window;
    echo.answer = FakeEcho::Answer::Deferred;
    wait.deliver = [&](int bytes) { echo.deferred(bytes); };
    wait.lateReply = FakeWait::Scheduled{10010, 40};
    EXPECT_EQ(RunDevicePing("10.0.0.1", echo, wait, window.PingState, window.Ping1Reply()),
              PingResultKind::Found);
}

TEST(PingDevice, TickCounterWrapDoesNotCutTheWaitShort) {
    FakeEcho echo;
    FakeWait wait(0xFFFFFF00u);
    Window window;
    echo.answer = FakeEcho::Answer::Silent;
    EXPECT_EQ(RunDevicePing("10.0.0.1", echo, wait, window.PingState, window.Ping1Reply()),
              PingResultKind::NotFound);
    EXPECT_EQ(static_cast<std::uint32_t>(wait.now - wait.start), 10010u);
}

TEST(PingDevice, FailureOfTheEchoIsTheErrorResultWithoutWaiting) {
    for (auto answer : {FakeEcho::Answer::Fail, FakeEcho::Answer::Throw}) {
        FakeEcho echo;
        FakeWait wait;
        Window window;
        echo.answer = answer;
        EXPECT_EQ(RunDevicePing("nonsense", echo, wait, window.PingState, window.Ping1Reply()),
                  PingResultKind::Error);
        EXPECT_EQ(wait.sleeps, 0);
        EXPECT_EQ(window.PingState, kPingWaiting); // reset at the start of every ping
    }
}

TEST(PingDevice, RealEchoToLoopbackIsFound) {
    if (!IcmpEchoFacility::CanOpen(IcmpEchoFacility::SocketKind::Any))
        GTEST_SKIP() << "this system allows no ICMP socket";
    IcmpEchoFacility echo;
    FakeWait wait;
    Window window;
    EXPECT_EQ(RunDevicePing("127.0.0.1", echo, wait, window.PingState, window.Ping1Reply()),
              PingResultKind::Found);
}

TEST(PingDevice, ResultTexts) {
    auto found = TextsOfPingResult(PingResultKind::Found);
    EXPECT_STREQ(found.caption, "Ping! Device Found!");
    EXPECT_STREQ(found.label, "Device Found!");
    auto notFound = TextsOfPingResult(PingResultKind::NotFound);
    EXPECT_STREQ(notFound.caption, "Ping! Device Not Found!");
    EXPECT_STREQ(notFound.label, "Device Not Found!");
    auto error = TextsOfPingResult(PingResultKind::Error);
    EXPECT_STREQ(error.caption, "Ping! Error!!!");
    EXPECT_STREQ(error.label, "Error!!! Check the Ip Address");
}

} // namespace
} // namespace fabricor
