#include "gateway/field_devices.h"

#include <gtest/gtest.h>

namespace fabricor::gateway {
namespace {

using Kind = SimulatedReply::Kind;

// Device 2: holding registers 3 to 6, coils 0 to 15; device 7: input registers 0 to 9. Rows for
// address 0 and 250 play nothing.
const std::vector<TMyRec> kRows = {{3, 1, 2, 3, 4, ""},
                                   {1, 0, 2, 0, 16, ""},
                                   {4, 100, 7, 0, 10, ""},
                                   {3, 5, 0, 9, 3, "broadcast"},
                                   {3, 9, 250, 9, 3, "none"}};

TEST(FieldDevicesTest, EachDeviceAnswersForTheObjectsItsRowsMapAndNothingElse) {
    FieldDevices devices(kRows);
    EXPECT_EQ(devices.Devices(), (std::vector<uint8_t>{2, 7}));
    struct Case {
        uint8_t device;
        Bytes pdu;
        Kind kind;
        Bytes answer;
    };
    const Case cases[] = {
        {2, {3, 0, 3, 0, 4}, Kind::Answer, {3, 8, 0x07, 0xD3, 0x07, 0xD4, 0x07, 0xD5, 0x07, 0xD6}},
        {2, {3, 0, 2, 0, 2}, Kind::Answer, {0x83, 2}},           // address 2 is not mapped
        {2, {3, 0, 6, 0, 2}, Kind::Answer, {0x83, 2}},           // nor is 7
        {2, {4, 0, 3, 0, 1}, Kind::Answer, {0x84, 2}},           // no input registers on device 2
        {7, {4, 0, 9, 0, 1}, Kind::Answer, {4, 2, 0x90, 0x91}},  // 30000 + 7000 + 9
        {2, {1, 0, 0, 0, 10}, Kind::Answer, {1, 2, 0xAA, 0x02}}, // on where A + 2 is odd
        {2, {2, 0, 0, 0, 1}, Kind::Answer, {0x82, 2}},
        {2, {8, 0, 0, 0, 0}, Kind::Answer, {0x88, 1}},
        {2, {3, 0, 3, 0, 0}, Kind::Answer, {0x83, 3}},
        {2, {5, 0, 1, 0x12, 0x34}, Kind::Answer, {0x85, 3}}, // a coil is FF00 or 0000
        {9, {3, 0, 3, 0, 1}, Kind::NotOurs, {}},
        {250, {3, 0, 9, 0, 1}, Kind::NotOurs, {}},
        {0, {6, 0, 9, 0, 1}, Kind::Broadcast, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.device));
        SCOPED_TRACE(DescribePdu(c.pdu));
        const auto reply = devices.Reply(c.device, c.pdu);
        EXPECT_EQ(reply.kind, c.kind);
        EXPECT_EQ(reply.pdu, c.answer);
    }
}

TEST(FieldDevicesTest, WritesAndBroadcastWritesAreKeptAndSilentDevicesAnswerNothing) {
    FieldDevices devices(kRows);
    EXPECT_EQ(devices.Reply(2, {6, 0, 4, 0x12, 0x34}).pdu, (Bytes{6, 0, 4, 0x12, 0x34}));
    EXPECT_EQ(devices.Reply(2, {16, 0, 5, 0, 2, 4, 0, 1, 0, 2}).pdu, (Bytes{16, 0, 5, 0, 2}));
    EXPECT_EQ(devices.Reply(2, {15, 0, 0, 0, 3, 1, 0x07}).pdu, (Bytes{15, 0, 0, 0, 3}));
    EXPECT_EQ(devices.Reply(0, {5, 0, 14, 0xFF, 0}).kind, Kind::Broadcast);
    EXPECT_EQ(devices.Reply(2, {3, 0, 3, 0, 4}).pdu,
              (Bytes{3, 8, 0x07, 0xD3, 0x12, 0x34, 0, 1, 0, 2}));
    EXPECT_EQ(devices.Reply(2, {1, 0, 0, 0, 16}).pdu, (Bytes{1, 2, 0xAF, 0xAA | 0x40}));
    devices.Silence({7});
    EXPECT_EQ(devices.Reply(7, {4, 0, 0, 0, 1}).kind, Kind::Silent);
}

TEST(FieldDevicesTest, ValueFilesAreReadLineByLineAndOnlyForMappedObjects) {
    const auto file = ParseValuesCsv("\xEF\xBB\xBF"
                                     "device,kind,address,value\r\n"
                                     "2;\"Holding Register\";4;$FFFF\n"
                                     "# a comment\n\n"
                                     "7\tinput register\t0x0\t42\n"
                                     "2,1,4,1\n"
                                     "0,3,4,1\n"
                                     "2,5,4,1\n"
                                     "2,3,65536,1\n"
                                     "2,coil status,4,2\n"
                                     "2,3,4\n");
    ASSERT_EQ(file.values.size(), 3u);
    EXPECT_EQ(file.values[1].line, 5u);
    EXPECT_EQ(file.problems,
              (std::vector<std::string>{
                  "line 7: device '0' is not 1 to 247",
                  "line 8: kind '5' is neither 1 to 4 nor a data type's name",
                  "line 9: address '65536' is not 0 to 65535", "line 10: value '2' is not 0 or 1",
                  "line 11: 4 fields expected (device, kind, address, value), 3 "
                  "found"}));
    FieldDevices devices(kRows);
    EXPECT_EQ(devices.Preset(file.values), std::vector<std::string>{});
    EXPECT_EQ(devices.Value(2, 3, 4), 0xFFFF);
    EXPECT_EQ(devices.Value(7, 4, 0), 42);
    EXPECT_EQ(devices.Value(2, 1, 4), 1);
    EXPECT_EQ(devices.Value(2, 3, 5), PatternValue(2, 3, 5));
    EXPECT_EQ(devices.Preset({{2, 3, 40100, 1, 3}}),
              std::vector<std::string>{"line 3: device 2 has no Holding Register 40100 in the "
                                       "table"});
}

TEST(FieldDevicesTest, RequestFramesAreCutByTheirFunctionsLength) {
    const Bytes read = RtuFrame(2, {3, 0, 3, 0, 4});
    const Bytes write = RtuFrame(2, {16, 0, 5, 0, 1, 2, 0, 1});
    using Status = RtuRequestScan::Status;
    struct Case {
        Bytes bytes;
        Status status;
        size_t length;
    };
    Bytes badCrc = read;
    badCrc.back() ^= 1;
    Bytes twoFrames = read;
    twoFrames.insert(twoFrames.end(), write.begin(), write.end());
    const Case cases[] = {
        {read, Status::Frame, 8},
        {twoFrames, Status::Frame, 8},
        {Bytes(read.begin(), read.end() - 1), Status::NeedMore, 0},
        {badCrc, Status::Skip, 0},
        {Bytes(write.begin(), write.begin() + 6), Status::NeedMore, 0},
        {write, Status::Frame, 11},
        {RtuFrame(2, {0x2B, 0x0E, 1, 0}), Status::Unknown, 0},
    };
    for (const auto& c : cases) {
        const auto scan = ScanRtuRequest(c.bytes.data(), c.bytes.size());
        EXPECT_EQ(scan.status, c.status) << c.bytes.size();
        EXPECT_EQ(scan.length, c.length);
    }
}

} // namespace
} // namespace fabricor::gateway
