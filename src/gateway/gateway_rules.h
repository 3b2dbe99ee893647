#pragma once

#include "documents/var.h"
#include "gateway/modbus_codes.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <variant>
#include <string>
#include <vector>

// What the software gateway decides, without sockets or a serial line: how a Modbus TCP frame is
// cut from a client's byte stream, which RTU request (or which exception) a TCP request becomes,
// and how the gateway reports itself. The socket and serial loop (gateway_server) sits on top.
namespace fabricor::gateway {

using Bytes = std::vector<uint8_t>;

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
// does not match the request its function code announces. A write of many coils or registers
// (15, 16) longer than Modbus allows is still cut whole when its length field matches its byte
// count, so that it gets an exception instead of ending the connection.
FrameScan ScanTcpFrame(const uint8_t* data, size_t size);

Bytes EncodeTcpFrame(uint16_t transaction, uint8_t unit, const Bytes& pdu);

// The PDU length a request of this function must have, when its function fixes it (for 15, 16
// and 23 once the byte count is in `size`); nothing for other functions or a request cut short.
std::optional<size_t> RequestPduLength(const uint8_t* pdu, size_t size);

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
    std::optional<size_t> row; // NAT Mode: the table row (from 0) that serves the request
};

// NAT mode: the first row, in table order, of the kind the function reads or writes whose TCP
// range holds the whole requested range; the RTU request goes to that row's device at its RTU
// address plus the offset into the row. No row: illegal data address. Functions other than
// 1, 2, 3, 4, 5, 6, 15 and 16: illegal function. A quantity Modbus does not allow, or a byte
// count that does not fit the quantity: illegal data value.
// A request's range (address plus quantity) past 65535: illegal data address.
Decision DecideNat(const std::vector<TMyRec>& rows, const Bytes& pdu);

// What Modbus itself forbids in a request of function 1 to 6, 15, 16 or 23, whoever serves it:
// a quantity out of its range, a byte count that does not fit the quantity, a coil value other
// than 0xFF00 or 0x0000 (illegal data value), a range past address 65535 (illegal data address).
std::optional<uint8_t> RequestException(const Bytes& pdu);

// The objects of the table a request of functions 1 to 6, 15 or 16 reaches: their kind (the
// read function of their table: writes of coils reach the coils, writes of registers the
// holding registers), the first address and how many.
struct RequestedObjects {
    uint8_t kind = 0;
    uint32_t address = 0;
    uint32_t quantity = 0;
};
// The objects, or the exception code of a request the table cannot serve: another function
// (illegal function) or a request Modbus does not allow (RequestException).
std::variant<RequestedObjects, uint8_t> ObjectsOfRequest(const Bytes& pdu);

// The index of the row that serves `quantity` objects of data type `kind` (1 to 4) from TCP
// address `address`. A row holds only the addresses that map into the RTU address space.
std::optional<size_t> FindRow(const std::vector<TMyRec>& rows, uint8_t kind, uint32_t address,
                              uint32_t quantity);

// Routing mode: the unit identifier is the RTU slave address and the request goes through
// unchanged; unit 0 is a broadcast, for the writes (5, 6, 15, 16, 22) only: anything else to
// unit 0 would wait for an answer no device gives (gateway path unavailable). Units 248 to 255
// name no RTU device (gateway path unavailable); functions whose answer the line's framing
// cannot delimit get illegal function.
Decision DecideRouting(uint8_t unit, const Bytes& pdu);

Bytes ExceptionPdu(uint8_t function, uint8_t code);

// ---- The RTU line ----

// One request on the line: the device's address and the PDU sent to it.
struct RtuRequest {
    uint8_t slave = 0;
    Bytes pdu;
};

// The Modbus RTU CRC of `size` bytes; sent low byte first.
uint16_t Crc16(const uint8_t* data, size_t size);

// A whole RTU frame: the slave's address, the PDU and its CRC.
Bytes RtuFrame(uint8_t slave, const Bytes& pdu);

// The RTU frame bytes (address and CRC included) of the longest answer `request` can have: what
// the time-out is lengthened by, at the line's speed.
size_t AnswerFrameLength(const Bytes& pdu);

// What the bytes the line brought since a request went out say about its answer.
struct LineVerdict {
    enum class Kind {
        Wait,   // no complete answer yet
        Answer, // the frame at `offset`, `length` bytes, answers the request
        Stale,  // the frame at `offset` would answer `owed` too: taken for its late answer
    };
    Kind kind = Kind::Wait;
    size_t offset = 0;
    size_t length = 0;
};

// The first complete frame with a good CRC that answers `request`: from its device, with its
// function code and, for reads, the byte count of the requested quantity; for writes the echo
// of its address and quantity or value; or that function's exception. Everything else (another
// device, another function, another length, a bad CRC) is passed over. `owed`, when given, is
// the last request to time out on the line: a frame that would answer it as well is taken for
// its late answer.
LineVerdict JudgeLine(const RtuRequest& request, const RtuRequest* owed, const uint8_t* data,
                      size_t size);

// What the client gets from the device's answer: in NAT Mode a write's echo carries the client's
// own address, not the row's RTU address.
Bytes AnswerForClient(const Bytes& clientPdu, const Bytes& rtuAnswer);

// RTU time of one character (start bit, 8 data bits, parity, stop bits) and of the silence that
// ends a frame (3.5 characters, 1750 us above 19200 baud).
struct LineTiming {
    double characterUs = 0;
    double interFrameUs = 0;
};
LineTiming TimingOf(int baudRate, char parity, int stopBits);

// ---- What the gateway says ----

// "fc 3 read holding registers at 100 count 10", "fc 6 write single register at 5 value 0x0102".
std::string DescribePdu(const Bytes& pdu);
// "0x02 (illegal data address)"
std::string DescribeException(uint8_t code);

// What one table row or one RTU device went through. Every request it got ends as an answer, an
// exception (the device's own, or the gateway's when it could not reach it) or a time-out.
struct TargetCounters {
    uint64_t requests = 0;
    uint64_t answers = 0;
    std::map<uint8_t, uint64_t> exceptionsByCode;
    uint64_t timeOuts = 0;
    // The last answer the device gave (an exception of its own included).
    std::optional<std::chrono::system_clock::time_point> lastAnswer;
};

struct GatewayCounters {
    std::map<uint8_t, uint64_t> requestsByFunction;
    std::map<uint8_t, uint64_t> exceptionsByCode; // every exception answered, the RTU's included
    uint64_t timeOuts = 0;
    uint64_t timedRequests = 0; // requests whose answer (or broadcast) was sent
    double totalMs = 0;
    double worstMs = 0;
    std::map<size_t, TargetCounters> byRow; // by table row, from 0; NAT Mode only
    std::map<uint8_t, TargetCounters> byDevice;

    void AddLatency(double ms);
};

// Several lines, each ending in a line break: the totals, then every row and every RTU device
// that got a request ("row 3 pump (Holding Register TCP 1 to 4 -> RTU 2 address 3): ...").
// `rows` is the table the row numbers point into.
std::string FormatCounters(const GatewayCounters& counters, const std::vector<TMyRec>& rows = {});

// "2026-12-09 09:31:02.123 " before each line of `text` (local time), for a log.
std::string Timestamped(std::chrono::system_clock::time_point when, const std::string& text);

} // namespace fabricor::gateway
