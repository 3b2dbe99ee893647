#include "gateway/rtu_peers.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdio>

namespace fabricor::gateway {
namespace {

using namespace fabricor::test_support;

constexpr int kSlave = 17; // the one RTU device on the line

// Reads and writes through the table: overlapping holding-register rows (the first wins), one
// row per other kind, a row past the slave's registers.
std::vector<TMyRec> NatTable() {
    return {
        {3, 100, kSlave, 10, 20, "first"}, {3, 100, kSlave, 50, 40, "overlapping"},
        {4, 100, kSlave, 0, 10, ""},       {1, 0, kSlave, 20, 16, ""},
        {2, 0, kSlave, 30, 16, ""},        {3, 600, kSlave, 190, 20, "past the slave's end"},
    };
}

class GatewayTest : public ::testing::Test {
protected:
    GatewayOptions Options(OperationMode mode) {
        GatewayOptions options;
        options.settings.mode = mode;
        options.settings.rows = NatTable();
        options.settings.timeOutMs = 150;
        options.serialDevice = line.master();
        return options;
    }
    void SetUp() override {
        ASSERT_TRUE(line.ready());
        ASSERT_TRUE(slave.connected());
    }

    TempDir dir;
    PtyPair line{dir.path()};
    RtuSlave slave{line.slave(), kSlave};
};

struct ClientFree {
    void operator()(modbus_t* client) const {
        modbus_close(client);
        modbus_free(client);
    }
};
using Client = std::unique_ptr<modbus_t, ClientFree>;

// A plain socket to the gateway, for what libmodbus would never send. With a small receive
// buffer, a client's unread answers soon fill the gateway's side.
int RawSocket(uint16_t port, int receiveBuffer = 0) {
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

// Waits (bounded) for what the gateway sends; empty when it closed the connection.
std::string ReceiveSome(int fd) {
    pollfd wait{fd, POLLIN, 0};
    if (::poll(&wait, 1, 10000) <= 0)
        return "(nothing within 10 s)";
    char buffer[512];
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    return got > 0 ? std::string(buffer, size_t(got)) : std::string();
}

void SendAll(int fd, const std::string& bytes) {
    ASSERT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), ssize_t(bytes.size()));
}

TEST_F(GatewayTest, NatReadsGoToTheFirstRowThatHoldsTheWholeRange) {
    RunningGateway gateway(Options(OperationMode::Nat));
    ASSERT_EQ(gateway.problem(), "");
    Client client(gateway.Client());
    ASSERT_TRUE(client);
    struct Case {
        int function, address, count, firstRtuAddress;
    };
    const Case cases[] = {
        {3, 100, 5, 10},  // row 1
        {3, 110, 10, 20}, // still row 1, which ends at 119
        {3, 115, 10, 65}, // runs past row 1: the overlapping row 2 holds it
        {4, 103, 2, 3},   {1, 4, 8, 24}, {2, 2, 3, 32},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "fc " << c.function << " at " << c.address);
        uint16_t registers[16] = {};
        uint8_t bits[16] = {};
        int got = -1;
        switch (c.function) {
        case 1:
            got = modbus_read_bits(client.get(), c.address, c.count, bits);
            break;
        case 2:
            got = modbus_read_input_bits(client.get(), c.address, c.count, bits);
            break;
        case 3:
            got = modbus_read_registers(client.get(), c.address, c.count, registers);
            break;
        case 4:
            got = modbus_read_input_registers(client.get(), c.address, c.count, registers);
            break;
        }
        ASSERT_EQ(got, c.count) << modbus_strerror(errno);
        for (int i = 0; i < c.count; ++i) {
            const int rtu = c.firstRtuAddress + i;
            switch (c.function) {
            case 1:
                EXPECT_EQ(bits[i], rtu % 3 == 0);
                break;
            case 2:
                EXPECT_EQ(bits[i], rtu % 2);
                break;
            case 3:
                EXPECT_EQ(registers[i], 1000 + rtu);
                break;
            case 4:
                EXPECT_EQ(registers[i], 2000 + rtu);
                break;
            }
        }
        ASSERT_FALSE(slave.requests().empty());
        const auto seen = slave.requests().back();
        const std::vector<uint8_t> expected = {
            kSlave, uint8_t(c.function), 0, uint8_t(c.firstRtuAddress), 0, uint8_t(c.count)};
        EXPECT_EQ(seen, expected);
    }
}

TEST_F(GatewayTest, NatWritesGoToCoilAndHoldingRegisterRows) {
    RunningGateway gateway(Options(OperationMode::Nat));
    Client client(gateway.Client());
    ASSERT_TRUE(client);
    ASSERT_EQ(modbus_write_register(client.get(), 105, 77), 1) << modbus_strerror(errno);
    EXPECT_EQ(slave.Register(15), 77);
    const uint16_t values[] = {5, 6, 7};
    ASSERT_EQ(modbus_write_registers(client.get(), 101, 3, values), 3);
    EXPECT_EQ(slave.Register(11), 5);
    EXPECT_EQ(slave.Register(13), 7);
    ASSERT_EQ(modbus_write_bit(client.get(), 4, 1), 1);
    EXPECT_TRUE(slave.Coil(24));
    const uint8_t coils[] = {0, 1, 1, 0};
    ASSERT_EQ(modbus_write_bits(client.get(), 8, 4, coils), 4);
    EXPECT_FALSE(slave.Coil(28));
    EXPECT_TRUE(slave.Coil(29));
    EXPECT_TRUE(slave.Coil(30));
    EXPECT_FALSE(slave.Coil(31));

    // A register write where only coils are, a coil write where only registers are.
    const size_t before = slave.requests().size();
    EXPECT_EQ(modbus_write_register(client.get(), 0, 1), -1);
    EXPECT_EQ(errno, EMBXILADD);
    EXPECT_EQ(modbus_write_bit(client.get(), 100, 1), -1);
    EXPECT_EQ(errno, EMBXILADD);
    EXPECT_EQ(slave.requests().size(), before);
}

TEST_F(GatewayTest, NatExceptions) {
    RunningGateway gateway(Options(OperationMode::Nat));
    Client client(gateway.Client());
    ASSERT_TRUE(client);
    uint16_t registers[20];
    const size_t before = slave.requests().size();

    // No row holds the range: part of it before the rows, or no row of that kind at all.
    EXPECT_EQ(modbus_read_registers(client.get(), 95, 10, registers), -1);
    EXPECT_EQ(errno, EMBXILADD);
    EXPECT_EQ(modbus_read_input_registers(client.get(), 0, 1, registers), -1);
    EXPECT_EQ(errno, EMBXILADD);
    // Another function.
    uint8_t id[64];
    EXPECT_EQ(modbus_report_slave_id(client.get(), sizeof id, id), -1);
    EXPECT_EQ(errno, EMBXILFUN);
    EXPECT_EQ(slave.requests().size(), before) << "the gateway answered these itself";

    // The slave's own exception comes back unchanged.
    EXPECT_EQ(modbus_read_registers(client.get(), 600, 20, registers), -1);
    EXPECT_EQ(errno, EMBXILADD);
    const std::vector<uint8_t> passed = {kSlave, 3, 0, 190, 0, 20};
    ASSERT_EQ(slave.requests().size(), before + 1);
    EXPECT_EQ(slave.requests().back(), passed);
    // The row's device does not answer.
    slave.Mute(true);
    EXPECT_EQ(modbus_read_registers(client.get(), 102, 2, registers), -1);
    EXPECT_EQ(errno, EMBXGTAR);
    slave.Mute(false);
    // Within a time-out of the time-out, the same read's answer could be the late one.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(modbus_read_registers(client.get(), 102, 2, registers), 2) << "the line recovers";

    gateway.Stop();
    const auto& counters = gateway.counters();
    EXPECT_EQ(counters.timeOuts, 1u);
    EXPECT_EQ(counters.exceptionsByCode,
              (std::map<uint8_t, uint64_t>{
                  {kIllegalFunction, 1}, {kIllegalDataAddress, 3}, {kGatewayTargetFailed, 1}}));
    EXPECT_NE(gateway.said().find("fc 3 read holding registers at 102 count 2 -> RTU 17 fc 3 read "
                                  "holding registers at 12 count 2 -> no answer: exception 0x0B"),
              std::string::npos)
        << gateway.said();
}

TEST_F(GatewayTest, AnUnusableSerialLineIsGatewayPathUnavailable) {
    RunningGateway gateway(Options(OperationMode::Nat));
    Client client(gateway.Client());
    ASSERT_TRUE(client);
    uint16_t registers[2];
    ASSERT_EQ(modbus_read_registers(client.get(), 100, 2, registers), 2);
    line.Kill();
    EXPECT_EQ(modbus_read_registers(client.get(), 100, 2, registers), -1);
    EXPECT_EQ(errno, EMBXGPATH);
    EXPECT_EQ(modbus_read_registers(client.get(), 100, 2, registers), -1);
    EXPECT_EQ(errno, EMBXGPATH) << "still unusable when reopening fails";
}

TEST_F(GatewayTest, RoutingPassesRequestsThroughByUnitAndBroadcastsUnitZero) {
    RunningGateway gateway(Options(OperationMode::Routing));
    Client client(gateway.Client(kSlave));
    ASSERT_TRUE(client);
    uint16_t registers[3];
    ASSERT_EQ(modbus_read_registers(client.get(), 5, 3, registers), 3);
    EXPECT_EQ(registers[2], 1007);
    const std::vector<uint8_t> unchanged = {kSlave, 3, 0, 5, 0, 3};
    EXPECT_EQ(slave.requests().back(), unchanged);

    slave.Mute(true);
    EXPECT_EQ(modbus_read_registers(client.get(), 5, 1, registers), -1);
    EXPECT_EQ(errno, EMBXGTAR);
    slave.Mute(false);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    Client noDevice(gateway.Client(250));
    EXPECT_EQ(modbus_read_registers(noDevice.get(), 5, 1, registers), -1);
    EXPECT_EQ(errno, EMBXGPATH);

    // A broadcast write, then a read on the same connection: the first answer is the read's.
    const int fd = RawSocket(gateway.port());
    SendAll(fd, std::string("\x00\x01\x00\x00\x00\x06\x00\x06\x00\x07\x10\x92", 12) +
                    std::string("\x00\x02\x00\x00\x00\x06\x11\x03\x00\x07\x00\x01", 12));
    EXPECT_EQ(ReceiveSome(fd), std::string("\x00\x02\x00\x00\x00\x05\x11\x03\x02\x10\x92", 11));
    ::close(fd);
    EXPECT_EQ(slave.Register(7), 0x1092);
}

TEST_F(GatewayTest, PipelinedRequestsAreAnsweredInTheOrderTheyCame) {
    RunningGateway gateway(Options(OperationMode::Nat));
    const int fd = RawSocket(gateway.port());
    SendAll(fd, std::string("\x00\x01\x00\x00\x00\x06\x01\x03\x00\x64\x00\x01"
                            "\x00\x02\x00\x00\x00\x06\x01\x04\x00\x64\x00\x01"
                            "\x00\x03\x00\x00\x00\x02\x01\x07",
                            32));
    std::string answers;
    for (std::string got = "x"; answers.size() < 31 && !got.empty() && got[0] != '(';)
        answers += got = ReceiveSome(fd);
    ::close(fd);
    EXPECT_EQ(answers, std::string("\x00\x01\x00\x00\x00\x05\x01\x03\x02\x03\xF2"
                                   "\x00\x02\x00\x00\x00\x05\x01\x04\x02\x07\xD0"
                                   "\x00\x03\x00\x00\x00\x03\x01\x87\x01",
                                   31));
}

TEST_F(GatewayTest, TwoClientsAtOnceWhileAThirdLeavesItsFrameUnfinished) {
    RunningGateway gateway(Options(OperationMode::Nat));
    const int slow = RawSocket(gateway.port());
    SendAll(slow, std::string("\x00\x01\x00", 3));
    auto work = [&](int first, int& good) {
        Client client(gateway.Client());
        for (int i = 0; client && i < 40; ++i) {
            uint16_t registers[4];
            if (modbus_read_registers(client.get(), 100 + first, 4, registers) == 4 &&
                registers[3] == 1000 + 10 + first + 3)
                ++good;
        }
    };
    int goodA = 0, goodB = 0;
    std::thread a(work, 0, std::ref(goodA));
    std::thread b(work, 8, std::ref(goodB));
    a.join();
    b.join();
    EXPECT_EQ(goodA, 40);
    EXPECT_EQ(goodB, 40);
    ::close(slow);
}

TEST_F(GatewayTest, AMalformedOrAbandonedFrameDropsOnlyItsClient) {
    auto options = Options(OperationMode::Nat);
    options.unfinishedFrameLimit = std::chrono::milliseconds(200);
    RunningGateway gateway(options);
    Client good(gateway.Client());
    ASSERT_TRUE(good);
    uint16_t registers[2];

    const int wrongLength = RawSocket(gateway.port());
    SendAll(wrongLength,
            std::string("\x00\x01\x00\x00\x00\x09\x01\x03\x00\x64\x00\x01\x00\x00\x00", 15));
    EXPECT_EQ(ReceiveSome(wrongLength), "") << "closed by the gateway";
    ::close(wrongLength);

    const int notModbus = RawSocket(gateway.port());
    SendAll(notModbus, std::string("GET / HTTP/1.0\r\n\r\n"));
    EXPECT_EQ(ReceiveSome(notModbus), "");
    ::close(notModbus);

    const int truncated = RawSocket(gateway.port());
    SendAll(truncated, std::string("\x00\x01\x00\x00", 4));
    EXPECT_EQ(ReceiveSome(truncated), "") << "dropped once its frame stays unfinished";
    ::close(truncated);

    const int leaving = RawSocket(gateway.port());
    SendAll(leaving, std::string("\x00\x01\x00\x00\x00\x06\x01\x03\x00\x64", 10));
    ::close(leaving);

    EXPECT_EQ(modbus_read_registers(good.get(), 100, 2, registers), 2) << modbus_strerror(errno);
    gateway.Stop();
    EXPECT_NE(gateway.said().find("dropped, malformed frame: length field 9 does not match a "
                                  "function 3 request"),
              std::string::npos)
        << gateway.said();
}

// ---- A device that misbehaves on the line, clients that misbehave on TCP ----

using Clock = std::chrono::steady_clock;
using Act = RtuSlave::Step::Act;
using namespace std::chrono_literals;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A figure for the record, on the test's output.
void Figure(const char* what, double value) {
    std::printf("[ figure   ] %s: %.1f\n", what, value);
}

// A read of 4 registers at TCP 100 (RTU 10) that got its own values.
bool ReadsFirstRow(modbus_t* client) {
    uint16_t registers[4] = {};
    return modbus_read_registers(client, 100, 4, registers) == 4 && registers[0] == 1010 &&
           registers[3] == 1013;
}

TEST_F(GatewayTest, AnAnswerIsTakenOnlyWhenItAnswersThisRequest) {
    struct Case {
        const char* name;
        int count; // of the first read, at TCP 130 (RTU 80)
        RtuSlave::Step step;
    };
    const Case cases[] = {
        {"late, same count", 4, {200ms, Act::Reply, {}}},
        {"late, other count", 1, {200ms, Act::Reply, {}}},
        {"from another device", 4, {0ms, Act::Frame, {kSlave + 1, 3, 8, 0, 1, 0, 2, 0, 3, 0, 4}}},
        {"with a wrong length",
         4,
         {0ms, Act::Frame, {kSlave, 3, 10, 0, 1, 0, 2, 0, 3, 0, 4, 0, 5}}},
    };
    RunningGateway gateway(Options(OperationMode::Nat));
    Client client(gateway.Client());
    ASSERT_TRUE(client);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int wrong = 0;
        for (int round = 0; round < 3; ++round) {
            slave.Script({c.step});
            uint16_t registers[4];
            EXPECT_EQ(modbus_read_registers(client.get(), 130, c.count, registers), -1);
            EXPECT_EQ(errno, EMBXGTAR);
            // At once, while the device may still owe the first answer.
            wrong += !ReadsFirstRow(client.get());
        }
        if (c.step.delay > 0ms && c.count == 4)
            Figure("late answers taken for the next request, of 3", wrong);
        EXPECT_EQ(wrong, 0);
    }
}

TEST_F(GatewayTest, TheTimeOutBoundsTheWholeAnswer) {
    std::vector<uint8_t> drip = {kSlave, 3, 0xFA};
    drip.resize(30, 0x55);
    slave.Script({{400ms, Act::Drip, drip}});
    auto options = Options(OperationMode::Routing);
    options.settings.timeOutMs = 300;
    RunningGateway gateway(options);
    Client client(gateway.Client(kSlave));
    ASSERT_TRUE(client);
    uint16_t registers[125];
    const auto start = Clock::now();
    EXPECT_EQ(modbus_read_registers(client.get(), 0, 125, registers), -1);
    EXPECT_EQ(errno, EMBXGTAR);
    Figure("dripping device: ms to exception 0x0B with TIME_OUT 300", MsSince(start));
    // 255 bytes to come: 266 ms at 9600 baud on top of the time-out.
    EXPECT_LT(MsSince(start), 300 + 266 + 150);
}

TEST_F(GatewayTest, NatAnswersEchoTheClientsAddressAndLongWritesGetAnException) {
    RunningGateway gateway(Options(OperationMode::Nat));
    const int fd = RawSocket(gateway.port());
    const std::string writes[] = {
        {"\x00\x01\x00\x00\x00\x06\x01\x06\x00\x69\x12\x34", 12},
        {"\x00\x02\x00\x00\x00\x06\x01\x05\x00\x04\xFF\x00", 12},
        {"\x00\x03\x00\x00\x00\x09\x01\x10\x00\x69\x00\x01\x02\x12\x34", 15},
        {"\x00\x04\x00\x00\x00\x08\x01\x0F\x00\x04\x00\x03\x01\x05", 14},
    };
    for (const auto& write : writes) {
        SendAll(fd, write);
        std::string echo = write.substr(0, 12);
        echo[5] = 6;
        EXPECT_EQ(ReceiveSome(fd), echo) << int(write[7]);
    }
    // 124 registers, one more than Modbus allows: a length field of 255.
    SendAll(fd, std::string("\x00\x07\x00\x00\x00\xFF\x01\x10\x00\x69\x00\x7C\xF8", 13) +
                    std::string(248, '\0'));
    EXPECT_EQ(ReceiveSome(fd), std::string("\x00\x07\x00\x00\x00\x03\x01\x90\x03", 9));
    SendAll(fd, writes[0]);
    EXPECT_EQ(ReceiveSome(fd).size(), 12u) << "the connection stays";
    ::close(fd);
}

TEST_F(GatewayTest, NoClientHoldsUpTheOthers) {
    slave.AnswerAfter(20ms); // a slow line: 300 answers take 6 s
    RunningGateway gateway(Options(OperationMode::Nat));
    const int flood = RawSocket(gateway.port());
    const int deaf = RawSocket(gateway.port(), 2048);
    std::string burst;
    for (int i = 0; i < 300; ++i)
        burst += std::string("\x00\x00\x00\x00\x00\x06\x01\x03\x00\x82\x00\x04", 12);
    SendAll(flood, burst);
    SendAll(deaf, burst);
    Client client(gateway.Client());
    ASSERT_TRUE(client);
    double worst = 0;
    for (int i = 0; i < 5; ++i) {
        const auto start = Clock::now();
        EXPECT_TRUE(ReadsFirstRow(client.get()));
        worst = std::max(worst, MsSince(start));
    }
    Figure("normal client's worst ms beside a client flooding 300 requests", worst);
    EXPECT_LT(worst, 500) << "a turn or two of 20 ms each, on a busy machine";

    // What needs no line is answered at once, not behind a request waiting on the line.
    slave.Script({{0ms, Act::Silent, {}}});
    std::thread timeOut([&] { ReadsFirstRow(client.get()); });
    std::this_thread::sleep_for(50ms);
    const int other = RawSocket(gateway.port());
    const auto start = Clock::now();
    SendAll(other, std::string("\x00\x01\x00\x00\x00\x06\x01\x03\x01\x2C\x00\x04", 12));
    EXPECT_EQ(ReceiveSome(other).size(), 9u);
    EXPECT_LT(MsSince(start), 100);
    timeOut.join();
    for (int fd : {other, flood, deaf})
        ::close(fd);
}

TEST_F(GatewayTest, AClientThatNeverReadsItsAnswersIsDropped) {
    RunningGateway gateway(Options(OperationMode::Nat));
    const int deaf = RawSocket(gateway.port(), 2048);
    const std::string read("\x00\x01\x00\x00\x00\x06\x01\x03\x00\x64\x00\x04", 12);
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
