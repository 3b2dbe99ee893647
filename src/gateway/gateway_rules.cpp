#include "gateway/gateway_rules.h"

#include <cstdio>

namespace fabricor::gateway {

namespace {

constexpr size_t kHeaderLength = 7; // transaction, protocol, length, unit
constexpr uint8_t kExceptionBit = 0x80;
constexpr uint8_t kHighestRtuSlave = 247;

uint16_t Word(const uint8_t* at) {
    return uint16_t((at[0] << 8) | at[1]);
}

void PutWord(Bytes& bytes, size_t at, uint32_t value) {
    bytes[at] = uint8_t(value >> 8);
    bytes[at + 1] = uint8_t(value);
}

// The PDU length a request of this function must have, when its function fixes it.
std::optional<size_t> RequestPduLength(const uint8_t* pdu, size_t size) {
    switch (pdu[0]) {
    case 0x01:
    case 0x02:
    case 0x03:
    case 0x04:
    case 0x05:
    case 0x06:
        return 5;
    case 0x07:
    case 0x0B:
    case 0x0C:
    case 0x11:
        return 1;
    case 0x0F:
    case 0x10:
        return size >= 6 ? std::optional<size_t>(6 + pdu[5]) : std::nullopt;
    case 0x16:
        return 7;
    case 0x17:
        return size >= 10 ? std::optional<size_t>(10 + pdu[9]) : std::nullopt;
    default:
        return std::nullopt;
    }
}

bool FunctionFixesLength(uint8_t function) {
    switch (function) {
    case 0x01:
    case 0x02:
    case 0x03:
    case 0x04:
    case 0x05:
    case 0x06:
    case 0x07:
    case 0x0B:
    case 0x0C:
    case 0x0F:
    case 0x10:
    case 0x11:
    case 0x16:
    case 0x17:
        return true;
    default:
        return false;
    }
}

// Functions whose answer libmodbus delimits on the serial line (it reads by function code).
bool RoutableFunction(uint8_t function) {
    switch (function) {
    case 0x01:
    case 0x02:
    case 0x03:
    case 0x04:
    case 0x05:
    case 0x06:
    case 0x07:
    case 0x0F:
    case 0x10:
    case 0x11:
    case 0x16:
    case 0x17:
        return true;
    default:
        return false;
    }
}

Decision Refuse(uint8_t code) {
    Decision decision;
    decision.kind = Decision::Kind::Exception;
    decision.exception = code;
    return decision;
}

const char* FunctionName(uint8_t function) {
    switch (function) {
    case 0x01:
        return "read coils";
    case 0x02:
        return "read discrete inputs";
    case 0x03:
        return "read holding registers";
    case 0x04:
        return "read input registers";
    case 0x05:
        return "write single coil";
    case 0x06:
        return "write single register";
    case 0x07:
        return "read exception status";
    case 0x0F:
        return "write multiple coils";
    case 0x10:
        return "write multiple registers";
    case 0x11:
        return "report server id";
    case 0x16:
        return "mask write register";
    case 0x17:
        return "read/write multiple registers";
    default:
        return nullptr;
    }
}

const char* ExceptionName(uint8_t code) {
    switch (code) {
    case 0x01:
        return "illegal function";
    case 0x02:
        return "illegal data address";
    case 0x03:
        return "illegal data value";
    case 0x04:
        return "server device failure";
    case 0x05:
        return "acknowledge";
    case 0x06:
        return "server device busy";
    case 0x08:
        return "memory parity error";
    case 0x0A:
        return "gateway path unavailable";
    case 0x0B:
        return "gateway target device failed to respond";
    default:
        return "unknown exception";
    }
}

std::string Hex2(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value & 0xFFu);
    return text;
}

std::string Hex4(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", value & 0xFFFFu);
    return text;
}

} // namespace

FrameScan ScanTcpFrame(const uint8_t* data, size_t size) {
    FrameScan scan;
    if (size >= 6) {
        const uint16_t protocol = Word(data + 2);
        const uint16_t length = Word(data + 4);
        if (protocol != 0) {
            scan.status = FrameStatus::Malformed;
            scan.problem = "protocol identifier " + std::to_string(protocol) + " is not Modbus";
            return scan;
        }
        if (length < 2 || length > 254) {
            scan.status = FrameStatus::Malformed;
            scan.problem = "length field " + std::to_string(length) + " outside 2 to 254";
            return scan;
        }
        if (size >= 6u + length) {
            const uint8_t* pdu = data + kHeaderLength;
            const size_t pduSize = length - 1u;
            if (FunctionFixesLength(pdu[0])) {
                auto expected = RequestPduLength(pdu, pduSize);
                if (!expected || *expected != pduSize) {
                    scan.status = FrameStatus::Malformed;
                    scan.problem = "length field " + std::to_string(length) +
                                   " does not match a function " + std::to_string(pdu[0]) +
                                   " request";
                    return scan;
                }
            }
            scan.status = FrameStatus::Complete;
            scan.length = 6u + length;
            scan.frame.transaction = Word(data);
            scan.frame.unit = data[6];
            scan.frame.pdu.assign(pdu, pdu + pduSize);
        }
    }
    return scan;
}

Bytes EncodeTcpFrame(uint16_t transaction, uint8_t unit, const Bytes& pdu) {
    const size_t length = pdu.size() + 1;
    Bytes frame;
    frame.reserve(kHeaderLength + pdu.size());
    for (uint8_t byte : {uint8_t(transaction >> 8), uint8_t(transaction), uint8_t(0), uint8_t(0),
                         uint8_t(length >> 8), uint8_t(length), unit})
        frame.push_back(byte);
    for (uint8_t byte : pdu)
        frame.push_back(byte);
    return frame;
}

std::optional<size_t> FindRow(const std::vector<TMyRec>& rows, uint8_t kind, uint32_t address,
                              uint32_t quantity) {
    for (size_t i = 0; i < rows.size(); ++i) {
        const auto& row = rows[i];
        if (row.DataType != kind)
            continue;
        const uint32_t points = std::min<uint32_t>(row.NPoint, 65536u - row.RtuAddress);
        if (address >= row.TcpAddress && address + quantity <= uint32_t(row.TcpAddress) + points)
            return i;
    }
    return std::nullopt;
}

Decision DecideNat(const std::vector<TMyRec>& rows, const Bytes& pdu) {
    if (pdu.empty())
        return Refuse(kIllegalFunction);
    const uint8_t function = pdu[0];
    uint8_t kind = 0;
    uint32_t quantity = 1;
    switch (function) {
    case 0x01:
    case 0x02:
    case 0x03:
    case 0x04:
        if (pdu.size() != 5)
            return Refuse(kIllegalDataValue);
        quantity = Word(&pdu[3]);
        if (quantity < 1 || quantity > (function <= 0x02 ? 2000u : 125u))
            return Refuse(kIllegalDataValue);
        kind = function;
        break;
    case 0x05:
    case 0x06:
        if (pdu.size() != 5)
            return Refuse(kIllegalDataValue);
        kind = function == 0x05 ? 1 : 3;
        break;
    case 0x0F:
    case 0x10: {
        if (pdu.size() < 6 || pdu.size() != 6u + pdu[5])
            return Refuse(kIllegalDataValue);
        quantity = Word(&pdu[3]);
        const bool coils = function == 0x0F;
        const uint32_t bytes = coils ? (quantity + 7) / 8 : quantity * 2;
        if (quantity < 1 || quantity > (coils ? 1968u : 123u) || bytes != pdu[5])
            return Refuse(kIllegalDataValue);
        kind = coils ? 1 : 3;
        break;
    }
    default:
        return Refuse(kIllegalFunction);
    }
    const uint32_t address = Word(&pdu[1]);
    auto index = FindRow(rows, kind, address, quantity);
    if (!index)
        return Refuse(kIllegalDataAddress);
    const auto& row = rows[*index];
    // Address 0 would be a broadcast nobody answers, 248 and up name no device.
    if (row.RtuAddDev == 0 || row.RtuAddDev > kHighestRtuSlave)
        return Refuse(kGatewayPathUnavailable);
    Decision decision;
    decision.kind = Decision::Kind::Forward;
    decision.slave = row.RtuAddDev;
    decision.rtuPdu = pdu;
    PutWord(decision.rtuPdu, 1, row.RtuAddress + (address - row.TcpAddress));
    return decision;
}

Decision DecideRouting(uint8_t unit, const Bytes& pdu) {
    if (pdu.empty())
        return Refuse(kIllegalFunction);
    Decision decision;
    decision.rtuPdu = pdu;
    decision.slave = unit;
    if (unit == 0) {
        decision.kind = Decision::Kind::Broadcast;
        return decision;
    }
    if (unit > kHighestRtuSlave)
        return Refuse(kGatewayPathUnavailable);
    if (!RoutableFunction(pdu[0]))
        return Refuse(kIllegalFunction);
    decision.kind = Decision::Kind::Forward;
    return decision;
}

Bytes ExceptionPdu(uint8_t function, uint8_t code) {
    return {uint8_t(function | kExceptionBit), code};
}

bool AnswersRequest(const Bytes& request, const Bytes& answer) {
    if (request.empty() || answer.empty())
        return false;
    if (answer[0] == request[0])
        return true;
    return answer[0] == (request[0] | kExceptionBit) && answer.size() == 2;
}

std::string DescribePdu(const Bytes& pdu) {
    if (pdu.empty())
        return "empty request";
    const uint8_t function = pdu[0];
    std::string text = "fc " + std::to_string(function);
    const char* name = FunctionName(function);
    if (!name || pdu.size() < 5)
        return text + (name ? std::string(" ") + name : std::string()) + " (" +
               std::to_string(pdu.size()) + " bytes)";
    text += std::string(" ") + name + " at " + std::to_string(Word(&pdu[1]));
    if (function == 0x05 || function == 0x06)
        return text + " value " + Hex4(Word(&pdu[3]));
    if (function <= 0x04 || function == 0x0F || function == 0x10)
        return text + " count " + std::to_string(Word(&pdu[3]));
    return text;
}

std::string DescribeException(uint8_t code) {
    return Hex2(code) + " (" + ExceptionName(code) + ")";
}

void GatewayCounters::AddLatency(double ms) {
    ++timedRequests;
    totalMs += ms;
    if (ms > worstMs)
        worstMs = ms;
}

std::string FormatCounters(const GatewayCounters& counters) {
    auto sum = [](const std::map<uint8_t, uint64_t>& counts) {
        uint64_t total = 0;
        for (const auto& [key, count] : counts)
            total += count;
        return total;
    };
    std::string text = "requests: " + std::to_string(sum(counters.requestsByFunction)) + "\n";
    for (const auto& [function, count] : counters.requestsByFunction) {
        const char* name = FunctionName(function);
        text += "  fc " + std::to_string(function) + (name ? std::string(" ") + name : "") + ": " +
                std::to_string(count) + "\n";
    }
    text += "exceptions: " + std::to_string(sum(counters.exceptionsByCode)) + "\n";
    for (const auto& [code, count] : counters.exceptionsByCode)
        text += "  " + DescribeException(code) + ": " + std::to_string(count) + "\n";
    text += "time-outs: " + std::to_string(counters.timeOuts) + "\n";
    char latency[96];
    const double mean =
        counters.timedRequests ? counters.totalMs / double(counters.timedRequests) : 0.0;
    std::snprintf(latency, sizeof latency, "latency: mean %.3f ms, worst %.3f ms\n", mean,
                  counters.worstMs);
    return text + latency;
}

} // namespace fabricor::gateway
