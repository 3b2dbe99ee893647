#include "gateway/gateway_rules.h"

#include "platform/local_time.h"

#include <algorithm>
#include <cstdio>

namespace fabricor::gateway {

namespace {

constexpr size_t kHeaderLength = 7; // transaction, protocol, length, unit
constexpr uint8_t kHighestRtuSlave = 247;
constexpr size_t kLongestWriteLength = 7 + 255; // unit, function 15 or 16 header, byte count
constexpr size_t kLongestRtuFrame = 256;

uint16_t Word(const uint8_t* at) {
    return uint16_t((at[0] << 8) | at[1]);
}

void PutWord(Bytes& bytes, size_t at, uint32_t value) {
    bytes[at] = uint8_t(value >> 8);
    bytes[at + 1] = uint8_t(value);
}

bool FunctionFixesLength(uint8_t function) {
    switch (function) {
    case kReadCoils:
    case kReadDiscreteInputs:
    case kReadHoldingRegisters:
    case kReadInputRegisters:
    case kWriteSingleCoil:
    case kWriteSingleRegister:
    case kReadExceptionStatus:
    case kGetCommEventCounter:
    case kGetCommEventLog:
    case kWriteMultipleCoils:
    case kWriteMultipleRegisters:
    case kReportServerId:
    case kMaskWriteRegister:
    case kReadWriteMultipleRegisters:
        return true;
    default:
        return false;
    }
}

// Functions whose answer libmodbus delimits on the serial line (it reads by function code).
bool RoutableFunction(uint8_t function) {
    switch (function) {
    case kReadCoils:
    case kReadDiscreteInputs:
    case kReadHoldingRegisters:
    case kReadInputRegisters:
    case kWriteSingleCoil:
    case kWriteSingleRegister:
    case kReadExceptionStatus:
    case kWriteMultipleCoils:
    case kWriteMultipleRegisters:
    case kReportServerId:
    case kMaskWriteRegister:
    case kReadWriteMultipleRegisters:
        return true;
    default:
        return false;
    }
}

// The writes a broadcast may carry: nobody answers it.
bool BroadcastFunction(uint8_t function) {
    return function == kWriteSingleCoil || function == kWriteSingleRegister ||
           function == kWriteMultipleCoils || function == kWriteMultipleRegisters ||
           function == kMaskWriteRegister;
}

Decision Refuse(uint8_t code) {
    Decision decision;
    decision.kind = Decision::Kind::Exception;
    decision.exception = code;
    return decision;
}

const char* FunctionName(uint8_t function) {
    switch (function) {
    case kReadCoils:
        return "read coils";
    case kReadDiscreteInputs:
        return "read discrete inputs";
    case kReadHoldingRegisters:
        return "read holding registers";
    case kReadInputRegisters:
        return "read input registers";
    case kWriteSingleCoil:
        return "write single coil";
    case kWriteSingleRegister:
        return "write single register";
    case kReadExceptionStatus:
        return "read exception status";
    case kWriteMultipleCoils:
        return "write multiple coils";
    case kWriteMultipleRegisters:
        return "write multiple registers";
    case kReportServerId:
        return "report server id";
    case kMaskWriteRegister:
        return "mask write register";
    case kReadWriteMultipleRegisters:
        return "read/write multiple registers";
    default:
        return nullptr;
    }
}

const char* ExceptionName(uint8_t code) {
    switch (code) {
    case kIllegalFunction:
        return "illegal function";
    case kIllegalDataAddress:
        return "illegal data address";
    case kIllegalDataValue:
        return "illegal data value";
    case kServerDeviceFailure:
        return "server device failure";
    case kAcknowledge:
        return "acknowledge";
    case kServerDeviceBusy:
        return "server device busy";
    case kMemoryParityError:
        return "memory parity error";
    case kGatewayPathUnavailable:
        return "gateway path unavailable";
    case kGatewayTargetFailed:
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

std::optional<size_t> RequestPduLength(const uint8_t* pdu, size_t size) {
    switch (pdu[0]) {
    case kReadCoils:
    case kReadDiscreteInputs:
    case kReadHoldingRegisters:
    case kReadInputRegisters:
    case kWriteSingleCoil:
    case kWriteSingleRegister:
        return 5;
    case kReadExceptionStatus:
    case kGetCommEventCounter:
    case kGetCommEventLog:
    case kReportServerId:
        return 1;
    case kWriteMultipleCoils:
    case kWriteMultipleRegisters:
        return size >= 6 ? std::optional<size_t>(6 + pdu[5]) : std::nullopt;
    case kMaskWriteRegister:
        return 7;
    case kReadWriteMultipleRegisters:
        return size >= 10 ? std::optional<size_t>(10 + pdu[9]) : std::nullopt;
    default:
        return std::nullopt;
    }
}

FrameScan ScanTcpFrame(const uint8_t* data, size_t size) {
    FrameScan scan;
    if (size < 6)
        return scan;
    const uint16_t protocol = Word(data + 2);
    const uint16_t length = Word(data + 4);
    if (protocol != 0) {
        scan.status = FrameStatus::Malformed;
        scan.problem = "protocol identifier " + std::to_string(protocol) + " is not Modbus";
        return scan;
    }
    if (length < 2 || length > 254) {
        // A write of many coils or registers longer than Modbus allows, whose length field
        // matches its byte count, is cut whole: it gets an exception, not a dropped client.
        const bool longWrite = length > 254 && length <= kLongestWriteLength;
        if (longWrite &&
            (size < 8 ||
             ((data[7] == kWriteMultipleCoils || data[7] == kWriteMultipleRegisters) && size < 13)))
            return scan;
        if (!longWrite || (data[7] != kWriteMultipleCoils && data[7] != kWriteMultipleRegisters) ||
            length != 7u + data[12]) {
            scan.status = FrameStatus::Malformed;
            scan.problem = "length field " + std::to_string(length) + " outside 2 to 254";
            return scan;
        }
    }
    if (size < 6u + length)
        return scan;
    const uint8_t* pdu = data + kHeaderLength;
    const size_t pduSize = length - 1u;
    if (FunctionFixesLength(pdu[0])) {
        auto expected = RequestPduLength(pdu, pduSize);
        if (!expected || *expected != pduSize) {
            scan.status = FrameStatus::Malformed;
            scan.problem = "length field " + std::to_string(length) +
                           " does not match a function " + std::to_string(pdu[0]) + " request";
            return scan;
        }
    }
    scan.status = FrameStatus::Complete;
    scan.length = 6u + length;
    scan.frame.transaction = Word(data);
    scan.frame.unit = data[6];
    scan.frame.pdu.assign(pdu, pdu + pduSize);
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

std::optional<uint8_t> RequestException(const Bytes& pdu) {
    if (pdu.empty())
        return std::nullopt;
    const uint8_t function = pdu[0];
    uint32_t quantity = 1;
    switch (function) {
    case kReadCoils:
    case kReadDiscreteInputs:
    case kReadHoldingRegisters:
    case kReadInputRegisters:
        if (pdu.size() != 5)
            return kIllegalDataValue;
        quantity = Word(&pdu[3]);
        if (quantity < 1 || quantity > (function <= kReadDiscreteInputs ? 2000u : 125u))
            return kIllegalDataValue;
        break;
    case kWriteSingleCoil:
        if (pdu.size() != 5 || (Word(&pdu[3]) != 0xFF00 && Word(&pdu[3]) != 0x0000))
            return kIllegalDataValue;
        break;
    case kWriteSingleRegister:
        if (pdu.size() != 5)
            return kIllegalDataValue;
        break;
    case kWriteMultipleCoils:
    case kWriteMultipleRegisters: {
        if (pdu.size() < 6 || pdu.size() != 6u + pdu[5])
            return kIllegalDataValue;
        quantity = Word(&pdu[3]);
        const bool coils = function == kWriteMultipleCoils;
        const uint32_t bytes = coils ? (quantity + 7) / 8 : quantity * 2;
        if (quantity < 1 || quantity > (coils ? 1968u : 123u) || bytes != pdu[5])
            return kIllegalDataValue;
        break;
    }
    case kReadWriteMultipleRegisters: {
        if (pdu.size() < 10 || pdu.size() != 10u + pdu[9])
            return kIllegalDataValue;
        quantity = Word(&pdu[3]);
        const uint32_t writes = Word(&pdu[7]);
        if (quantity < 1 || quantity > 125 || writes < 1 || writes > 121 || pdu[9] != writes * 2)
            return kIllegalDataValue;
        if (Word(&pdu[5]) + writes > 65536u)
            return kIllegalDataAddress;
        break;
    }
    default:
        return std::nullopt;
    }
    if (Word(&pdu[1]) + quantity > 65536u)
        return kIllegalDataAddress;
    return std::nullopt;
}

std::variant<RequestedObjects, uint8_t> ObjectsOfRequest(const Bytes& pdu) {
    RequestedObjects objects;
    const uint8_t function = pdu.empty() ? 0 : pdu[0];
    switch (function) {
    case kReadCoils:
    case kReadDiscreteInputs:
    case kReadHoldingRegisters:
    case kReadInputRegisters:
        objects.kind = function;
        break;
    case kWriteSingleCoil:
    case kWriteMultipleCoils:
        objects.kind = kReadCoils;
        break;
    case kWriteSingleRegister:
    case kWriteMultipleRegisters:
        objects.kind = kReadHoldingRegisters;
        break;
    default:
        return kIllegalFunction;
    }
    if (auto code = RequestException(pdu))
        return *code;
    objects.address = Word(&pdu[1]);
    objects.quantity =
        function == kWriteSingleCoil || function == kWriteSingleRegister ? 1 : Word(&pdu[3]);
    return objects;
}

Decision DecideNat(const std::vector<TMyRec>& rows, const Bytes& pdu) {
    const auto objects = ObjectsOfRequest(pdu);
    if (const uint8_t* code = std::get_if<uint8_t>(&objects))
        return Refuse(*code);
    const RequestedObjects& requested = std::get<RequestedObjects>(objects);
    const uint8_t kind = requested.kind;
    const uint32_t address = requested.address, quantity = requested.quantity;
    auto index = FindRow(rows, kind, address, quantity);
    if (!index)
        return Refuse(kIllegalDataAddress);
    const auto& row = rows[*index];
    // Address 0 would be a broadcast nobody answers, 248 and up name no device.
    if (row.RtuAddDev == 0 || row.RtuAddDev > kHighestRtuSlave) {
        Decision refused = Refuse(kGatewayPathUnavailable);
        refused.row = index;
        return refused;
    }
    Decision decision;
    decision.row = index;
    decision.kind = Decision::Kind::Forward;
    decision.slave = row.RtuAddDev;
    decision.rtuPdu = pdu;
    PutWord(decision.rtuPdu, 1, row.RtuAddress + (address - row.TcpAddress));
    return decision;
}

Decision DecideRouting(uint8_t unit, const Bytes& pdu) {
    if (pdu.empty())
        return Refuse(kIllegalFunction);
    if (unit > kHighestRtuSlave)
        return Refuse(kGatewayPathUnavailable);
    if (!RoutableFunction(pdu[0]))
        return Refuse(kIllegalFunction);
    if (auto code = RequestException(pdu))
        return Refuse(*code);
    Decision decision;
    decision.rtuPdu = pdu;
    decision.slave = unit;
    decision.kind = Decision::Kind::Forward;
    if (unit == 0) {
        if (!BroadcastFunction(pdu[0]))
            return Refuse(kGatewayPathUnavailable);
        decision.kind = Decision::Kind::Broadcast;
    }
    return decision;
}

Bytes ExceptionPdu(uint8_t function, uint8_t code) {
    return {uint8_t(function | kExceptionBit), code};
}

uint16_t Crc16(const uint8_t* data, size_t size) {
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    }
    return crc;
}

Bytes RtuFrame(uint8_t slave, const Bytes& pdu) {
    Bytes frame;
    frame.reserve(pdu.size() + 3);
    frame.push_back(slave);
    frame.insert(frame.end(), pdu.begin(), pdu.end());
    const uint16_t crc = Crc16(frame.data(), frame.size());
    frame.push_back(uint8_t(crc));
    frame.push_back(uint8_t(crc >> 8));
    return frame;
}

size_t AnswerFrameLength(const Bytes& pdu) {
    if (pdu.size() < 5)
        return kLongestRtuFrame;
    const uint32_t quantity = Word(&pdu[3]);
    switch (pdu[0]) {
    case kReadCoils:
    case kReadDiscreteInputs:
        return std::min<size_t>(kLongestRtuFrame, 5 + (quantity + 7) / 8);
    case kReadHoldingRegisters:
    case kReadInputRegisters:
    case kReadWriteMultipleRegisters:
        return std::min<size_t>(kLongestRtuFrame, 5 + 2 * quantity);
    case kWriteSingleCoil:
    case kWriteSingleRegister:
    case kWriteMultipleCoils:
    case kWriteMultipleRegisters:
        return 8;
    case kMaskWriteRegister:
        return 10;
    default:
        return kLongestRtuFrame;
    }
}

namespace {

bool CrcHolds(const uint8_t* frame, size_t length) {
    const uint16_t crc = Crc16(frame, length - 2);
    return frame[length - 2] == uint8_t(crc) && frame[length - 1] == uint8_t(crc >> 8);
}

// The length of the frame at the start of `data` when it is complete and answers `request`.
std::optional<size_t> AnswerAt(const RtuRequest& request, const uint8_t* data, size_t size) {
    const Bytes& pdu = request.pdu;
    if (size < 5 || pdu.empty() || data[0] != request.slave)
        return std::nullopt;
    const uint8_t function = pdu[0];
    size_t length = 0;
    if (data[1] == (function | kExceptionBit)) {
        length = 5;
    } else if (data[1] != function) {
        return std::nullopt;
    } else {
        // How many bytes of the request the answer echoes after its function code, or the byte
        // count a read's answer must carry.
        size_t echoed = 0;
        std::optional<size_t> count;
        switch (function) {
        case kReadCoils:
        case kReadDiscreteInputs:
        case kReadHoldingRegisters:
        case kReadInputRegisters:
        case kReadWriteMultipleRegisters:
            if (pdu.size() < 5)
                return std::nullopt;
            count =
                function <= kReadDiscreteInputs ? (Word(&pdu[3]) + 7u) / 8u : 2u * Word(&pdu[3]);
            break;
        case kWriteSingleCoil:
        case kWriteSingleRegister:
        case kWriteMultipleCoils:
        case kWriteMultipleRegisters:
            echoed = 4;
            break;
        case kMaskWriteRegister:
            echoed = 6;
            break;
        case kReadExceptionStatus:
            length = 5;
            break;
        case kReportServerId:
            count = data[2];
            break;
        default:
            return std::nullopt;
        }
        if (count) {
            if (data[2] != *count)
                return std::nullopt;
            length = 5 + *count;
        } else if (echoed) {
            if (pdu.size() < 1 + echoed)
                return std::nullopt;
            length = 4 + echoed;
            if (size < length ||
                !std::equal(pdu.begin() + 1, pdu.begin() + ptrdiff_t(1 + echoed), data + 2))
                return std::nullopt;
        }
    }
    if (size < length || !CrcHolds(data, length))
        return std::nullopt;
    return length;
}

} // namespace

LineVerdict JudgeLine(const RtuRequest& request, const RtuRequest* owed, const uint8_t* data,
                      size_t size) {
    LineVerdict verdict;
    for (size_t offset = 0; offset + 5 <= size; ++offset) {
        auto length = AnswerAt(request, data + offset, size - offset);
        if (!length)
            continue;
        verdict.offset = offset;
        verdict.length = *length;
        const bool late = owed && AnswerAt(*owed, data + offset, size - offset) == length;
        verdict.kind = late ? LineVerdict::Kind::Stale : LineVerdict::Kind::Answer;
        return verdict;
    }
    return verdict;
}

Bytes AnswerForClient(const Bytes& clientPdu, const Bytes& rtuAnswer) {
    Bytes answer = rtuAnswer;
    const bool echo = !answer.empty() &&
                      (answer[0] == kWriteSingleCoil || answer[0] == kWriteSingleRegister ||
                       answer[0] == kWriteMultipleCoils || answer[0] == kWriteMultipleRegisters);
    if (echo && answer.size() >= 3 && clientPdu.size() >= 3 && clientPdu[0] == answer[0]) {
        answer[1] = clientPdu[1];
        answer[2] = clientPdu[2];
    }
    return answer;
}

LineTiming TimingOf(int baudRate, char parity, int stopBits) {
    LineTiming timing;
    const int bits = 1 + 8 + (parity == 'N' ? 0 : 1) + stopBits;
    timing.characterUs = bits * 1e6 / std::max(1, baudRate);
    timing.interFrameUs = baudRate > 19200 ? 1750.0 : 3.5 * timing.characterUs;
    return timing;
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
    if (function == kWriteSingleCoil || function == kWriteSingleRegister)
        return text + " value " + Hex4(Word(&pdu[3]));
    if (function <= kReadInputRegisters || function == kWriteMultipleCoils ||
        function == kWriteMultipleRegisters)
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

namespace {

// "requests 12, answers 10, exceptions 1 (0x02: 1), time-outs 1, last answer 09:31:02.123"
std::string FormatTarget(const TargetCounters& target) {
    uint64_t exceptions = 0;
    std::string codes;
    for (const auto& [code, count] : target.exceptionsByCode) {
        exceptions += count;
        codes += (codes.empty() ? " (" : ", ") + Hex2(code) + ": " + std::to_string(count);
    }
    std::string text = "requests " + std::to_string(target.requests) + ", answers " +
                       std::to_string(target.answers) + ", exceptions " +
                       std::to_string(exceptions) + (codes.empty() ? "" : codes + ")") +
                       ", time-outs " + std::to_string(target.timeOuts) + ", last answer ";
    if (!target.lastAnswer)
        return text + "none";
    const std::string stamp = Timestamped(*target.lastAnswer, "");
    return text + stamp.substr(11, 12); // the time of day, to the millisecond
}

} // namespace

std::string FormatCounters(const GatewayCounters& counters, const std::vector<TMyRec>& rows) {
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
    text += latency;
    if (!counters.byRow.empty()) {
        text += "by row:\n";
        for (const auto& [index, target] : counters.byRow) {
            text += "  row " + std::to_string(index + 1);
            if (index < rows.size()) {
                const auto& row = rows[index];
                if (!row.Mnemonic.empty())
                    text += " " + row.Mnemonic;
                text += " (" +
                        std::string(row.DataType >= 1 && row.DataType <= 4
                                        ? kDataTypeNames[row.DataType - 1u]
                                        : "?") +
                        " TCP " + std::to_string(row.TcpAddress) + " to " +
                        std::to_string(row.TcpAddress + std::max(1, int(row.NPoint)) - 1) +
                        " -> RTU " + std::to_string(row.RtuAddDev) + " address " +
                        std::to_string(row.RtuAddress) + ")";
            }
            text += ": " + FormatTarget(target) + "\n";
        }
    }
    if (!counters.byDevice.empty()) {
        text += "by RTU device:\n";
        for (const auto& [device, target] : counters.byDevice)
            text += "  device " + std::to_string(device) + ": " + FormatTarget(target) + "\n";
    }
    return text;
}

std::string Timestamped(std::chrono::system_clock::time_point when, const std::string& text) {
    const auto seconds = std::chrono::floor<std::chrono::seconds>(when);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when - seconds).count();
    const std::tm local =
        platform::LocalCalendarTime(std::chrono::system_clock::to_time_t(seconds));
    char stamp[48];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d.%03d ", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  int(ms));
    std::string lines;
    size_t at = 0;
    while (at < text.size() || lines.empty()) {
        const size_t end = std::min(text.find('\n', at), text.size());
        lines += stamp + text.substr(at, end - at) + "\n";
        at = end + 1;
    }
    return lines;
}

} // namespace fabricor::gateway
