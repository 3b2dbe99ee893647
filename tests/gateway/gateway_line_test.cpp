// The gateway against a device that misbehaves on the line and clients that misbehave on TCP,
// as real timelines with small time-outs.

#include "gateway/rtu_peers.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cstdio>

namespace fabricor::gateway {
namespace {

using namespace fabricor::testing;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Act = RtuSlave::Step::Act;
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
void Figure(const char* what, double value) {
    std::printf("[ figure   ] %s: %.1f\n", what, value);
}

// A read of 4 registers at TCP 100 (RTU 10) that got its own values.
bool ReadsRowA(modbus_t* client) {
    uint16_t registers[4] = {};
    return modbus_read_registers(client, 100, 4, registers) == 4 && registers[0] == 1010 &&
           registers[3] == 1013;
}

// A raw connection to the gateway, for what libmodbus would not send; `receiveBuffer` small
// makes a client whose unread answers soon fill the gateway's side.
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
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    pollfd wait{fd, POLLIN, 0};
    uint8_t buffer[300];
    const ssize_t got = ::poll(&wait, 1, 3000) > 0 ? ::recv(fd, buffer, sizeof buffer, 0) : 0;
    return std::vector<uint8_t>(buffer, buffer + std::max<ssize_t>(got, 0));
}

class GatewayLineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(line.ready());
        ASSERT_TRUE(device.connected());
    }
    GatewayOptions Options(int timeOutMs) {
        GatewayOptions options;
        options.settings.timeOutMs = timeOutMs;
        options.settings.rows = {{3, 100, kDevice, 10, 4, "a"},
                                 {3, 200, kDevice, 50, 4, "b"},
                                 {3, 15, kDevice, 150, 1, "echo"},
                                 {1, 15, kDevice, 150, 20, ""},
                                 {3, 1000, kDevice, 0, 125, "wide"}};
        options.serialDevice = line.master();
        return options;
    }

    TempDir dir;
    PtyPair line{dir.path()};
    RtuSlave device{line.slave(), kDevice};
};

TEST_F(GatewayLineTest, AnAnswerIsTakenOnlyWhenItAnswersThisRequest) {
    struct Case {
        const char* name;
        int count; // of the first read, at TCP 200
        RtuSlave::Step step;
    };
    const Case cases[] = {
        {"late, same count", 4, {150ms, Act::Reply, {}}},
        {"late, other count", 1, {150ms, Act::Reply, {}}},
        {"from another device", 4, {0ms, Act::Frame, {kDevice + 1, 3, 8, 0, 1, 0, 2, 0, 3, 0, 4}}},
        {"with a wrong length",
         4,
         {0ms, Act::Frame, {kDevice, 3, 10, 0, 1, 0, 2, 0, 3, 0, 4, 0, 5}}},
    };
    RunningGateway gateway(Options(100));
    Client client(gateway.Client());
    ASSERT_TRUE(client);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int wrong = 0;
        for (int round = 0; round < 3; ++round) {
            device.Script({c.step});
            uint16_t registers[4];
            EXPECT_EQ(modbus_read_registers(client.get(), 200, c.count, registers), -1);
            EXPECT_EQ(errno, EMBXGTAR);
            // The next request goes out at once, while the device still owes the first answer.
            wrong += !ReadsRowA(client.get());
        }
        if (c.step.delay > 0ms && c.count == 4)
            Figure("late answers taken for the next request, of 3", wrong);
        EXPECT_EQ(wrong, 0);
    }
}

TEST_F(GatewayLineTest, TheTimeOutBoundsTheWholeAnswer) {
    std::vector<uint8_t> drip = {kDevice, 3, 0xFA};
    drip.resize(30, 0x55);
    device.Script({{400ms, Act::Drip, drip}});
    RunningGateway gateway(Options(300));
    Client client(gateway.Client());
    ASSERT_TRUE(client);
    uint16_t registers[125];
    const auto start = Clock::now();
    EXPECT_EQ(modbus_read_registers(client.get(), 1000, 125, registers), -1);
    EXPECT_EQ(errno, EMBXGTAR);
    Figure("dripping device: ms to exception 0x0B with TIME_OUT 300", MsSince(start));
    // 255 bytes to come: 266 ms at 9600 baud on top of the time-out.
    EXPECT_LT(MsSince(start), 300 + 266 + 150);
}

TEST_F(GatewayLineTest, NatAnswersEchoTheClientsAddressAndLongWritesGetAnException) {
    RunningGateway gateway(Options(300));
    const int fd = Connect(gateway.port());
    const std::vector<std::vector<uint8_t>> writes = {
        {0, 1, 0, 0, 0, 6, 1, 6, 0, 15, 0x12, 0x34},
        {0, 2, 0, 0, 0, 6, 1, 5, 0, 15, 0xFF, 0x00},
        {0, 3, 0, 0, 0, 9, 1, 16, 0, 15, 0, 1, 2, 0x12, 0x34},
        {0, 4, 0, 0, 0, 8, 1, 15, 0, 16, 0, 3, 1, 0x05},
    };
    for (const auto& write : writes) {
        std::vector<uint8_t> echo(write.begin(), write.begin() + 12);
        echo[5] = 6;
        EXPECT_EQ(Exchange(fd, write), echo) << int(write[7]);
    }
    // 124 registers, one more than Modbus allows: a length field of 255.
    std::vector<uint8_t> longWrite = {0, 7, 0, 0, 0, 255, 1, 16, 0, 15, 0, 124, 248};
    longWrite.resize(longWrite.size() + 248, 0);
    EXPECT_EQ(Exchange(fd, longWrite), (std::vector<uint8_t>{0, 7, 0, 0, 0, 3, 1, 0x90, 3}));
    EXPECT_EQ(Exchange(fd, writes[0]).size(), 12u) << "the connection stays";
    ::close(fd);
}

TEST_F(GatewayLineTest, NoClientHoldsUpTheOthers) {
    device.AnswerAfter(20ms); // a slow line: 300 answers take 6 s
    RunningGateway gateway(Options(500));
    const int flood = Connect(gateway.port());
    const int deaf = Connect(gateway.port(), 2048);
    std::vector<uint8_t> burst;
    for (int i = 0; i < 300; ++i)
        burst.insert(burst.end(), {uint8_t(i >> 8), uint8_t(i), 0, 0, 0, 6, 1, 3, 0, 200, 0, 4});
    ::send(flood, burst.data(), burst.size(), MSG_NOSIGNAL);
    ::send(deaf, burst.data(), burst.size(), MSG_NOSIGNAL);
    Client client(gateway.Client());
    ASSERT_TRUE(client);
    double worst = 0;
    for (int i = 0; i < 5; ++i) {
        const auto start = Clock::now();
        EXPECT_TRUE(ReadsRowA(client.get()));
        worst = std::max(worst, MsSince(start));
    }
    Figure("normal client's worst ms beside a client flooding 300 requests", worst);
    EXPECT_LT(worst, 500) << "a turn or two of 20 ms each, on a busy machine";

    // What needs no line is answered at once, not behind a request on the line.
    device.Script({{0ms, Act::Silent, {}}});
    std::thread timeOut([&] { ReadsRowA(client.get()); });
    std::this_thread::sleep_for(50ms);
    const int other = Connect(gateway.port());
    const auto start = Clock::now();
    EXPECT_EQ(Exchange(other, {0, 1, 0, 0, 0, 6, 1, 3, 1, 0x2C, 0, 4}).size(), 9u);
    EXPECT_LT(MsSince(start), 100);
    timeOut.join();
    ::close(other);
    ::close(flood);
    ::close(deaf);
}

TEST_F(GatewayLineTest, AClientThatNeverReadsItsAnswersIsDropped) {
    RunningGateway gateway(Options(300));
    const int deaf = Connect(gateway.port(), 2048);
    const std::vector<uint8_t> read = {0, 1, 0, 0, 0, 6, 1, 3, 0, 100, 0, 4};
    bool dropped = false;
    for (const auto start = Clock::now(); !dropped && MsSince(start) < 3000;) {
        dropped = ::send(deaf, read.data(), read.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0 &&
                  errno != EAGAIN;
        std::this_thread::sleep_for(100us);
    }
    EXPECT_TRUE(dropped);
    gateway.Stop();
    EXPECT_NE(gateway.said().find("unread"), std::string::npos);
    ::close(deaf);
}

} // namespace
} // namespace fabricor::gateway
