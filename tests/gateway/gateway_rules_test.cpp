#include "gateway/gateway_rules.h"

#include <gtest/gtest.h>

namespace fabricor::gateway {
namespace {

Bytes B(std::initializer_list<int> bytes) {
    Bytes out;
    for (int b : bytes)
        out.push_back(uint8_t(b));
    return out;
}

TEST(TcpFrame, CutsCompleteFramesAndWaitsForTheRest) {
    const Bytes frame = B({0x12, 0x34, 0, 0, 0, 6, 7, 3, 0, 100, 0, 2, 0xAA});
    for (size_t size = 0; size < 12; ++size)
        EXPECT_EQ(ScanTcpFrame(frame.data(), size).status, FrameStatus::NeedMore) << size;
    auto scan = ScanTcpFrame(frame.data(), frame.size());
    ASSERT_EQ(scan.status, FrameStatus::Complete);
    EXPECT_EQ(scan.length, 12u);
    EXPECT_EQ(scan.frame.transaction, 0x1234);
    EXPECT_EQ(scan.frame.unit, 7);
    EXPECT_EQ(scan.frame.pdu, B({3, 0, 100, 0, 2}));
    EXPECT_EQ(EncodeTcpFrame(0x1234, 7, scan.frame.pdu), Bytes(frame.begin(), frame.end() - 1));
}

TEST(TcpFrame, MalformedHeadersAndLengths) {
    const Bytes cases[] = {
        B({0, 1, 0, 1, 0, 6, 1, 3, 0, 0, 0, 1}),        // protocol 1
        B({0, 1, 0, 0, 0, 1, 1}),                       // length 1
        B({0, 1, 0, 0, 1, 0, 1, 3}),                    // length 256
        B({0, 1, 0, 0, 0, 7, 1, 3, 0, 0, 0, 1, 0}),     // a read one byte long
        B({0, 1, 0, 0, 0, 5, 1, 6, 0, 0, 0}),           // a write one byte short
        B({0, 1, 0, 0, 0, 8, 1, 16, 0, 0, 0, 1, 2, 0}), // byte count 2, one data byte
    };
    for (const auto& frame : cases)
        EXPECT_EQ(ScanTcpFrame(frame.data(), frame.size()).status, FrameStatus::Malformed);
    // A function whose length the gateway does not know passes as the length field says.
    const Bytes other = B({0, 1, 0, 0, 0, 4, 1, 0x2B, 0x0E, 1});
    EXPECT_EQ(ScanTcpFrame(other.data(), other.size()).status, FrameStatus::Complete);
}

TEST(NatDecision, QuantitiesModbusDoesNotAllowAreIllegalDataValue) {
    const std::vector<TMyRec> rows = {{3, 0, 1, 0, 127, ""}, {1, 0, 1, 0, 127, ""}};
    for (const auto& pdu : {B({3, 0, 0, 0, 0}), B({3, 0, 0, 0, 126}), B({1, 0, 0, 0x07, 0xD1}),
                            B({16, 0, 0, 0, 2, 2, 0, 1}), B({15, 0, 0, 0, 9, 1, 0xFF})})
        EXPECT_EQ(DecideNat(rows, pdu).exception, kIllegalDataValue);
}

TEST(NatDecision, ARowHoldsOnlyWhatMapsIntoTheRtuAddressSpace) {
    const std::vector<TMyRec> rows = {{3, 0, 1, 65530, 10, ""}, {3, 0, 2, 0, 10, ""}};
    EXPECT_EQ(FindRow(rows, 3, 4, 2), 0u);
    EXPECT_EQ(FindRow(rows, 3, 5, 2), 1u);
    EXPECT_EQ(FindRow(rows, 3, 10, 1), std::nullopt);
    EXPECT_EQ(FindRow(rows, 4, 0, 1), std::nullopt);
    const std::vector<TMyRec> broadcast = {{3, 0, 0, 0, 10, ""}};
    EXPECT_EQ(DecideNat(broadcast, B({3, 0, 0, 0, 1})).exception, kGatewayPathUnavailable);
}

TEST(RoutingDecision, UnitsAndFunctions) {
    EXPECT_EQ(DecideRouting(0, B({6, 0, 1, 0, 2})).kind, Decision::Kind::Broadcast);
    EXPECT_EQ(DecideRouting(0, B({16, 0, 1, 0, 1, 2, 0, 5})).kind, Decision::Kind::Broadcast);
    EXPECT_EQ(DecideRouting(247, B({3, 0, 1, 0, 2})).kind, Decision::Kind::Forward);
    EXPECT_EQ(DecideRouting(248, B({3, 0, 1, 0, 2})).exception, kGatewayPathUnavailable);
    EXPECT_EQ(DecideRouting(1, B({0x2B, 0x0E, 1, 0})).exception, kIllegalFunction);
    // A broadcast has no answer: a read to unit 0 would wait for nothing.
    for (const auto& read : {B({3, 0, 1, 0, 2}), B({1, 0, 0, 0, 8}), B({7}), B({0x11})})
        EXPECT_EQ(DecideRouting(0, read).exception, kGatewayPathUnavailable) << int(read[0]);
}

// Modbus's own limits hold in both modes, before any table is looked at.
TEST(RequestLimits, RangesQuantitiesAndCoilValues) {
    const std::vector<TMyRec> rows = {{3, 65530, 1, 0, 127, ""}, {1, 0, 1, 0, 100, ""}};
    struct Case {
        Bytes pdu;
        uint8_t exception; // 0: forwarded
    };
    const Case cases[] = {
        {B({3, 0xFF, 0xFA, 0, 6}), 0},                    // 65530 to 65535
        {B({3, 0xFF, 0xFA, 0, 10}), kIllegalDataAddress}, // runs past 65535
        {B({3, 0xFF, 0xFF, 0, 2}), kIllegalDataAddress},
        {B({3, 0xFF, 0xFF, 0, 1}), 0},
        {B({16, 0xFF, 0xFF, 0, 2, 4, 0, 1, 0, 2}), kIllegalDataAddress},
        {B({5, 0, 3, 0xFF, 0x00}), 0},
        {B({5, 0, 3, 0x00, 0x00}), 0},
        {B({5, 0, 3, 0x12, 0x34}), kIllegalDataValue},
        {B({5, 0, 3, 0x00, 0xFF}), kIllegalDataValue},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(DescribePdu(c.pdu));
        const auto nat = DecideNat(rows, c.pdu);
        const auto routing = DecideRouting(1, c.pdu);
        EXPECT_EQ(nat.exception, c.exception);
        EXPECT_EQ(routing.exception, c.exception);
        EXPECT_EQ(nat.kind == Decision::Kind::Forward, c.exception == 0);
    }
    // A read/write of registers: its write range and its counts too.
    EXPECT_EQ(RequestException(B({0x17, 0, 0, 0, 1, 0xFF, 0xFF, 0, 2, 4, 0, 0, 0, 0})),
              kIllegalDataAddress);
    EXPECT_EQ(RequestException(B({0x17, 0, 0, 0, 126, 0, 0, 0, 1, 2, 0, 0})), kIllegalDataValue);
}

// An RTU frame, its CRC added.
Bytes Rtu(std::initializer_list<int> bytes) {
    Bytes frame = B(bytes);
    uint16_t crc = 0xFFFF;
    for (uint8_t byte : frame)
        for (int bit = 0, x = (crc ^= byte); bit < 8; ++bit, x = crc)
            crc = (x & 1) ? uint16_t((x >> 1) ^ 0xA001) : uint16_t(x >> 1);
    frame.insert(frame.end(), {uint8_t(crc), uint8_t(crc >> 8)});
    return frame;
}

TEST(LineAnswer, OnlyAFrameThatAnswersThisRequestIsTaken) {
    const RtuRequest read{9, B({3, 0, 10, 0, 2})};
    const RtuRequest write{9, B({6, 0, 205, 0x12, 0x34})};
    const RtuRequest earlierRead{9, B({3, 0, 50, 0, 2})};
    using K = LineVerdict::Kind;
    const Bytes right = Rtu({9, 3, 4, 1, 2, 3, 4});
    Bytes badCrc = right;
    badCrc.back() ^= 1;
    Bytes junkFirst = B({0x55, 9, 3});
    junkFirst.insert(junkFirst.end(), right.begin(), right.end());
    struct Case {
        const char* name;
        const RtuRequest& request;
        const RtuRequest* owed;
        Bytes line;
        K kind;
        size_t offset;
    };
    const Case cases[] = {
        {"its answer", read, nullptr, right, K::Answer, 0},
        {"its exception", read, nullptr, Rtu({9, 0x83, 2}), K::Answer, 0},
        {"not complete yet", read, nullptr, Bytes(right.begin(), right.end() - 1), K::Wait, 0},
        {"another device", read, nullptr, Rtu({8, 3, 4, 1, 2, 3, 4}), K::Wait, 0},
        {"another function", read, nullptr, Rtu({9, 4, 4, 1, 2, 3, 4}), K::Wait, 0},
        {"another length", read, nullptr, Rtu({9, 3, 2, 1, 2}), K::Wait, 0},
        {"a bad CRC", read, nullptr, badCrc, K::Wait, 0},
        {"after stray bytes", read, nullptr, junkFirst, K::Answer, 3},
        {"the echo", write, nullptr, Rtu({9, 6, 0, 205, 0x12, 0x34}), K::Answer, 0},
        {"another echo", write, nullptr, Rtu({9, 6, 0, 205, 0x12, 0x35}), K::Wait, 0},
        {"what the timed-out read would take", read, &earlierRead, right, K::Stale, 0},
        {"an exception either read would take", read, &earlierRead, Rtu({9, 0x83, 2}), K::Stale, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto verdict = JudgeLine(c.request, c.owed, c.line.data(), c.line.size());
        EXPECT_EQ(verdict.kind, c.kind);
        if (c.kind != K::Wait) {
            EXPECT_EQ(verdict.offset, c.offset);
            EXPECT_EQ(verdict.length, c.line.size() - c.offset);
        }
    }
    const RtuRequest oneRegister{9, B({3, 0, 50, 0, 1})};
    EXPECT_EQ(JudgeLine(read, &oneRegister, right.data(), right.size()).kind, K::Answer)
        << "the timed-out read asked for another count";
}

TEST(LineAnswer, TimingAtTheLinesSpeed) {
    EXPECT_NEAR(TimingOf(9600, 'N', 1).interFrameUs, 3645.8, 0.1); // 3.5 characters of 10 bits
    EXPECT_NEAR(TimingOf(9600, 'E', 2).characterUs, 1250.0, 0.1);
    EXPECT_EQ(TimingOf(115200, 'N', 1).interFrameUs, 1750);
}

TEST(GatewayReport, CountersAndDescriptions) {
    EXPECT_EQ(DescribePdu(B({6, 0, 5, 1, 2})), "fc 6 write single register at 5 value 0x0102");
    EXPECT_EQ(DescribePdu(B({0x2B, 0x0E})), "fc 43 (2 bytes)");
    GatewayCounters counters;
    counters.requestsByFunction[3] = 4;
    counters.exceptionsByCode[0x0B] = 1;
    counters.timeOuts = 1;
    counters.AddLatency(1.0);
    counters.AddLatency(3.0);
    EXPECT_EQ(FormatCounters(counters), "requests: 4\n"
                                        "  fc 3 read holding registers: 4\n"
                                        "exceptions: 1\n"
                                        "  0x0B (gateway target device failed to respond): 1\n"
                                        "time-outs: 1\n"
                                        "latency: mean 2.000 ms, worst 3.000 ms\n");
}

} // namespace
} // namespace fabricor::gateway
