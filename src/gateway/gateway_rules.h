#pragma once

#include "documents/var.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

// What the software gateway decides, without sockets or a serial line: how a Modbus TCP frame is
// cut from a client's byte stream, which RTU request (or which exception) a TCP request becomes,
// and how the gateway reports itself. The socket and serial loop (gateway_server) sits on top.
namespace fabricor::gateway {

using Bytes = std::vector<uint8_t>;

// Modbus exception codes the gateway answers itself.
inline constexpr uint8_t kIllegalFunction = 0x01;
inline constexpr uint8_t kIllegalDataAddress = 0x02;
inline constexpr uint8_t kIllegalDataValue = 0x03;
inline constexpr uint8_t kGatewayPathUnavailable = 0x0A;
inline constexpr uint8_t kGatewayTargetFailed = 0x0B;

// ---- Modbus TCP framing ----

struct TcpFrame {
    uint16_t transaction = 0;
    uint8_t unit = 0;
    Bytes pdu; // function code and data
};

enum class FrameStatus { NeedMore, Complete, Malformed };

struct FrameScan {
    FrameStatus status = FrameStatus::NeedMore;
    size_t length = 0; // bytes the frame takes at the start of the buffer, when complete
    TcpFrame frame;
    std::string problem; // why the frame is malformed
};

// Looks at the start of what a client sent. A frame is malformed when its header is not Modbus
// (protocol identifier other than 0, a length field outside 2 to 254) or when the length field
// does not match the request its function code announces.
FrameScan ScanTcpFrame(const uint8_t* data, size_t size);

Bytes EncodeTcpFrame(uint16_t transaction, uint8_t unit, const Bytes& pdu);

// ---- Requests ----

// What becomes of one TCP request.
struct Decision {
    enum class Kind {
        Forward,   // send rtuPdu to RTU slave `slave`, answer with what it says
        Broadcast, // send rtuPdu to RTU address 0, answer nobody
        Exception, // answer the exception `exception` without using the line
    };
    Kind kind = Kind::Exception;
    uint8_t slave = 0;
    Bytes rtuPdu;
    uint8_t exception = 0;
};

// NAT mode: the first row, in table order, of the kind the function reads or writes whose TCP
// range holds the whole requested range; the RTU request goes to that row's device at its RTU
// address plus the offset into the row. No row: illegal data address. Functions other than
// 1, 2, 3, 4, 5, 6, 15 and 16: illegal function. A quantity Modbus does not allow, or a byte
// count that does not fit the quantity: illegal data value.
Decision DecideNat(const std::vector<TMyRec>& rows, const Bytes& pdu);

// The index of the row that serves `quantity` objects of data type `kind` (1 to 4) from TCP
// address `address`. A row holds only the addresses that map into the RTU address space.
std::optional<size_t> FindRow(const std::vector<TMyRec>& rows, uint8_t kind, uint32_t address,
                              uint32_t quantity);

// Routing mode: the unit identifier is the RTU slave address and the request goes through
// unchanged; unit 0 is a broadcast. Units 248 to 255 name no RTU device (gateway path
// unavailable); functions whose answer the line's framing cannot delimit get illegal function.
Decision DecideRouting(uint8_t unit, const Bytes& pdu);

Bytes ExceptionPdu(uint8_t function, uint8_t code);

// Whether an RTU answer (function code and data, address and CRC removed) answers `request`:
// the same function code, or that code with the exception bit and one exception code.
bool AnswersRequest(const Bytes& request, const Bytes& answer);

// ---- What the gateway says ----

// "fc 3 read holding registers at 100 count 10", "fc 6 write single register at 5 value 0x0102".
std::string DescribePdu(const Bytes& pdu);
// "0x02 (illegal data address)"
std::string DescribeException(uint8_t code);

struct GatewayCounters {
    std::map<uint8_t, uint64_t> requestsByFunction;
    std::map<uint8_t, uint64_t> exceptionsByCode; // every exception answered, the RTU's included
    uint64_t timeOuts = 0;
    uint64_t timedRequests = 0; // requests whose answer (or broadcast) was sent
    double totalMs = 0;
    double worstMs = 0;

    void AddLatency(double ms);
};

// Several lines, each ending in a line break.
std::string FormatCounters(const GatewayCounters& counters);

} // namespace fabricor::gateway
