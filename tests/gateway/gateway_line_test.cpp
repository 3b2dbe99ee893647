// The gateway against a device that misbehaves on the line and clients that misbehave on TCP,
// as real timelines with small time-outs.

#include "gateway/rtu_peers.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdio>

namespace fabricor::gateway {
namespace {

using namespace fabricor::testing;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Act = ScriptedRtuPeer::Act;

constexpr uint8_t kDevice = 9;

struct ClientFree {
    void operator()(modbus_t* client) const {
        modbus_close(client);
        modbus_free(client);
    }
};
using Client = std::unique_ptr<modbus_t, ClientFree>;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A figure for the record, on the test's output.
void Figure(const std::string& what, double value) {
    std::printf("[ figure   ] %s: %.1f\n", what.c_str(), value);
}

class GatewayLineTest : public ::testing::Test {
protected:
    GatewayOptions Options(int timeOutMs) {
        GatewayOptions options;
        options.settings.timeOutMs = timeOutMs;
        // Two rows of four registers on the one device, a row for the NAT echo.
        options.settings.rows = {{3, 100, kDevice, 10, 4, "a"},
                                 {3, 200, kDevice, 50, 4, "b"},
                                 {3, 15, kDevice, 205, 1, "echo"},
                                 {1, 15, kDevice, 205, 20, "echo"},
                                 {3, 1000, kDevice, 0, 125, "wide"}};
        options.serialDevice = line.master();
        return options;
    }
    void SetUp() override {
        ASSERT_TRUE(line.ready());
        ASSERT_TRUE(device.connected());
    }

    TempDir dir;
    PtyPair line{dir.path()};
    ScriptedRtuPeer device{line.slave(), kDevice};
};

// Whether a read of 4 registers at TCP 100 (RTU 10) got its own values.
bool ReadsRowA(modbus_t* client) {
    uint16_t registers[4] = {};
    return modbus_read_registers(client, 100, 4, registers) == 4 && registers[0] == 1010 &&
           registers[3] == 1013;
}

TEST_F(GatewayLineTest, AnAnswerIsTakenOnlyWhenItAnswersThisRequest) {
    struct Case {
        const char* name;
        int count; // of the first read, at TCP 200
        ScriptedRtuPeer::Step step;
    };
    const Case cases[] = {
        {"late, same count", 4, {Act::Answer, 150ms, {}}},
        {"late, other count", 1, {Act::Answer, 150ms, {}}},
        {"from another device", 4, {Act::OtherDevice, 0ms, {}}},
        {"with a wrong length", 4, {Act::WrongLength, 0ms, {}}},
    };
    RunningGateway gateway(Options(100));
    Client client(gateway.Client());
    ASSERT_TRUE(client);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        device.Script({c.step});
        uint16_t registers[4];
        EXPECT_EQ(modbus_read_registers(client.get(), 200, c.count, registers), -1);
        EXPECT_EQ(errno, EMBXGTAR);
        // The next request goes out at once, while the device still owes the first answer.
        EXPECT_TRUE(ReadsRowA(client.get())) << modbus_strerror(errno);
    }
}

TEST_F(GatewayLineTest, ALateAnswerNeverPassesForTheNextRequest) {
    RunningGateway gateway(Options(100));
    Client client(gateway.Client());
    ASSERT_TRUE(client);
    int wrong = 0;
    for (int round = 0; round < 3; ++round) {
        device.Script({{Act::Answer, 150ms, {}}});
        uint16_t registers[4];
        modbus_read_registers(client.get(), 200, 4, registers);
        uint16_t next[4] = {};
        if (modbus_read_registers(client.get(), 100, 4, next) == 4 && next[0] != 1010)
            ++wrong;
        std::this_thread::sleep_for(200ms); // the device's own answer to the second read
    }
    Figure("late answers taken for the next request, of 3", wrong);
    EXPECT_EQ(wrong, 0);
}

TEST_F(GatewayLineTest, TheTimeOutBoundsTheWholeAnswer) {
    std::vector<uint8_t> drip = {kDevice, 3, 0xFA};
    drip.resize(30, 0x55);
    device.Script({{Act::Drip, 400ms, drip}});
    RunningGateway gateway(Options(300));
    Client client(gateway.Client());
    ASSERT_TRUE(client);
    uint16_t registers[125];
    const auto start = Clock::now();
    EXPECT_EQ(modbus_read_registers(client.get(), 1000, 125, registers), -1);
    EXPECT_EQ(errno, EMBXGTAR);
    const double ms = MsSince(start);
    Figure("dripping device: ms to exception 0x0B with TIME_OUT 300", ms);
    // 255 bytes to come: 266 ms at 9600 baud on top of the time-out.
    EXPECT_LT(ms, 300 + 266 + 150);
}

// A raw TCP connection to the gateway, for what libmodbus would not send.
int Connect(uint16_t port, int receiveBuffer = 0) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (receiveBuffer)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    ::inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
    ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    return fd;
}

std::vector<uint8_t> Exchange(int fd, const std::vector<uint8_t>& request) {
    if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) != ssize_t(request.size()))
        return {};
    pollfd wait{fd, POLLIN, 0};
    if (::poll(&wait, 1, 3000) <= 0)
        return {};
    uint8_t buffer[300];
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    return got > 0 ? std::vector<uint8_t>(buffer, buffer + got) : std::vector<uint8_t>{};
}

TEST_F(GatewayLineTest, NatAnswersEchoTheClientsAddress) {
    RunningGateway gateway(Options(300));
    const int fd = Connect(gateway.port());
    const std::vector<std::vector<uint8_t>> requests = {
        {0, 1, 0, 0, 0, 6, 1, 6, 0, 15, 0x12, 0x34},
        {0, 2, 0, 0, 0, 6, 1, 5, 0, 15, 0xFF, 0x00},
        {0, 3, 0, 0, 0, 9, 1, 16, 0, 15, 0, 1, 2, 0x12, 0x34},
        {0, 4, 0, 0, 0, 8, 1, 15, 0, 16, 0, 3, 1, 0x05},
    };
    for (const auto& request : requests) {
        SCOPED_TRACE(int(request[7]));
        std::vector<uint8_t> expected(request.begin(), request.begin() + 12);
        expected[5] = 6;
        EXPECT_EQ(Exchange(fd, request), expected);
    }
    ::close(fd);
}

TEST_F(GatewayLineTest, AnOversizedWriteIsIllegalDataValueNotADroppedConnection) {
    RunningGateway gateway(Options(300));
    const int fd = Connect(gateway.port());
    // 124 registers: one more than Modbus allows, and a length field of 255.
    std::vector<uint8_t> request = {0, 7, 0, 0, 0, 255, 1, 16, 0, 15, 0, 124, 248};
    request.resize(request.size() + 248, 0);
    EXPECT_EQ(Exchange(fd, request), (std::vector<uint8_t>{0, 7, 0, 0, 0, 3, 1, 0x90, 3}));
    EXPECT_EQ(Exchange(fd, {0, 8, 0, 0, 0, 6, 1, 3, 0, 100, 0, 1}),
              (std::vector<uint8_t>{0, 8, 0, 0, 0, 5, 1, 3, 2, 0x03, 0xF2}))
        << "the connection stays";
    ::close(fd);
}

TEST_F(GatewayLineTest, AFloodingClientTakesItsTurnLikeTheOthers) {
    device.AnswerAfter(20ms); // a slow line: 300 answers take 6 s
    RunningGateway gateway(Options(300));
    const int flood = Connect(gateway.port());
    std::vector<uint8_t> burst;
    for (int i = 0; i < 300; ++i)
        burst.insert(burst.end(), {uint8_t(i >> 8), uint8_t(i), 0, 0, 0, 6, 1, 3, 0, 200, 0, 4});
    ASSERT_EQ(::send(flood, burst.data(), burst.size(), MSG_NOSIGNAL), ssize_t(burst.size()));
    std::this_thread::sleep_for(50ms);
    Client client(gateway.Client());
    ASSERT_TRUE(client);
    double worst = 0;
    for (int i = 0; i < 5; ++i) {
        const auto start = Clock::now();
        EXPECT_TRUE(ReadsRowA(client.get()));
        worst = std::max(worst, MsSince(start));
    }
    Figure("normal client's worst ms beside a client flooding 300 requests", worst);
    EXPECT_LT(worst, 500) << "a turn or two of 20 ms, on a busy machine";
    ::close(flood);
}

TEST_F(GatewayLineTest, AClientThatNeverReadsIsDroppedWithoutHoldingUpTheOthers) {
    RunningGateway gateway(Options(300));
    const int deaf = Connect(gateway.port(), 2048);
    const std::vector<uint8_t> read = {0, 1, 0, 0, 0, 6, 1, 3, 0, 100, 0, 4};
    Client client(gateway.Client());
    ASSERT_TRUE(client);
    bool dropped = false;
    double worst = 0;
    const auto start = Clock::now();
    for (int i = 0; !dropped && MsSince(start) < 3000; ++i) {
        dropped = ::send(deaf, read.data(), read.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0 &&
                  errno != EAGAIN;
        if (i % 100 == 0) {
            const auto before = Clock::now();
            EXPECT_TRUE(ReadsRowA(client.get()));
            worst = std::max(worst, MsSince(before));
        }
        if (i % 50 == 0)
            std::this_thread::sleep_for(5ms);
    }
    EXPECT_LT(worst, 300);
    gateway.Stop();
    EXPECT_TRUE(dropped);
    EXPECT_NE(gateway.said().find("unread"), std::string::npos) << gateway.said().substr(0, 2000);
    ::close(deaf);
}

TEST_F(GatewayLineTest, WhatNeedsNoLineIsAnsweredAtOnce) {
    device.Script({{Act::Silent, 0ms, {}}});
    RunningGateway gateway(Options(500));
    Client waiting(gateway.Client());
    Client other(gateway.Client());
    ASSERT_TRUE(waiting && other);
    std::thread timeOut([&] {
        uint16_t registers[4];
        modbus_read_registers(waiting.get(), 100, 4, registers);
    });
    std::this_thread::sleep_for(50ms);
    uint16_t registers[4];
    const auto start = Clock::now();
    EXPECT_EQ(modbus_read_registers(other.get(), 300, 4, registers), -1);
    EXPECT_EQ(errno, EMBXILADD);
    EXPECT_LT(MsSince(start), 100) << "not behind the other client's time-out";
    timeOut.join();
}

} // namespace
} // namespace fabricor::gateway
