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
    EXPECT_EQ(DecideRouting(247, B({3, 0, 1, 0, 2})).kind, Decision::Kind::Forward);
    EXPECT_EQ(DecideRouting(248, B({3, 0, 1, 0, 2})).exception, kGatewayPathUnavailable);
    EXPECT_EQ(DecideRouting(1, B({0x2B, 0x0E, 1, 0})).exception, kIllegalFunction);
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
