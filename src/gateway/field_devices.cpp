#include "gateway/field_devices.h"

#include "documents/integer_text.h"

#include <algorithm>
#include <cctype>

namespace fabricor::gateway {

namespace {

constexpr uint8_t kHighestDevice = 247;

uint16_t Word(const uint8_t* at) {
    return uint16_t((at[0] << 8) | at[1]);
}

void AppendWord(Bytes& bytes, uint16_t value) {
    bytes.push_back(uint8_t(value >> 8));
    bytes.push_back(uint8_t(value));
}

bool IsBitKind(uint8_t kind) {
    return kind == 1 || kind == 2;
}

std::string KindName(uint8_t kind) {
    return kind >= 1 && kind <= kDataTypeNames.size() ? kDataTypeNames[kind - 1u] : "?";
}

std::string Lowered(std::string_view text) {
    std::string lowered(text);
    for (char& c : lowered)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return lowered;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

// One line's fields: split at the separator outside quotes, blanks around them dropped, the
// quotes of a quoted field taken away ("" inside stands for one quote).
std::vector<std::string> Fields(std::string_view line, char separator) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"') {
            if (quoted && i + 1 < line.size() && line[i + 1] == '"')
                fields.back() += line[++i];
            else
                quoted = !quoted;
        } else if (c == separator && !quoted) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    for (auto& field : fields)
        field = std::string(Trimmed(field));
    return fields;
}

std::optional<uint8_t> KindOf(const std::string& text) {
    if (auto code = ParseIntegerText(text); code && *code >= 1 && *code <= 4)
        return uint8_t(*code);
    const std::string lowered = Lowered(text);
    for (size_t i = 0; i < kDataTypeNames.size(); ++i)
        if (lowered == Lowered(kDataTypeNames[i]))
            return uint8_t(i + 1);
    return std::nullopt;
}

} // namespace

uint16_t PatternValue(uint8_t device, uint8_t kind, uint16_t address) {
    switch (kind) {
    case 1:
        return (address + device) % 2;
    case 2:
        return (address + device) % 3 == 0;
    case 3:
        return uint16_t(1000u * device + address);
    default:
        return uint16_t(30000u + 1000u * device + address);
    }
}

ValuesFile ParseValuesCsv(std::string_view text) {
    ValuesFile file;
    size_t lineNumber = 0;
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = Trimmed(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++lineNumber;
        if (line.empty() || line.front() == '#' ||
            (lineNumber == 1 && Lowered(line.substr(0, 6)) == "device"))
            continue;
        const char separator = line.find(';') != std::string_view::npos    ? ';'
                               : line.find('\t') != std::string_view::npos ? '\t'
                                                                           : ',';
        const auto fields = Fields(line, separator);
        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        if (fields.size() != 4) {
            file.problems.push_back(where + "4 fields expected (device, kind, address, value), " +
                                    std::to_string(fields.size()) + " found");
            continue;
        }
        const auto device = ParseIntegerText(fields[0]);
        const auto kind = KindOf(fields[1]);
        const auto address = ParseIntegerText(fields[2]);
        const auto value = ParseIntegerText(fields[3]);
        if (!device || *device < 1 || *device > kHighestDevice)
            file.problems.push_back(where + "device '" + fields[0] + "' is not 1 to 247");
        else if (!kind)
            file.problems.push_back(where + "kind '" + fields[1] +
                                    "' is neither 1 to 4 nor a data type's name");
        else if (!address || *address < 0 || *address > 65535)
            file.problems.push_back(where + "address '" + fields[2] + "' is not 0 to 65535");
        else if (!value || *value < 0 || *value > (IsBitKind(*kind) ? 1 : 65535))
            file.problems.push_back(where + "value '" + fields[3] + "' is not " +
                                    (IsBitKind(*kind) ? "0 or 1" : "0 to 65535"));
        else
            file.values.push_back(
                {uint8_t(*device), *kind, uint16_t(*address), uint16_t(*value), lineNumber});
    }
    return file;
}

FieldDevices::FieldDevices(const std::vector<TMyRec>& rows) {
    for (const auto& row : rows) {
        if (row.RtuAddDev < 1 || row.RtuAddDev > kHighestDevice || row.DataType < 1 ||
            row.DataType > 4)
            continue;
        devices_.insert(row.RtuAddDev);
        auto& bits = mapped_[KeyOf(row.RtuAddDev, row.DataType)];
        if (bits.empty())
            bits.assign(65536, false);
        for (uint32_t a = row.RtuAddress; a < uint32_t(row.RtuAddress) + row.NPoint && a <= 65535;
             ++a)
            bits[a] = true;
    }
}

std::vector<uint8_t> FieldDevices::Devices() const {
    return {devices_.begin(), devices_.end()};
}

size_t FieldDevices::CountOf(uint8_t device, uint8_t kind) const {
    auto found = mapped_.find(KeyOf(device, kind));
    return found == mapped_.end()
               ? 0
               : size_t(std::count(found->second.begin(), found->second.end(), true));
}

bool FieldDevices::Has(uint8_t device, uint8_t kind, uint32_t address, uint32_t quantity) const {
    auto found = mapped_.find(KeyOf(device, kind));
    if (found == mapped_.end() || quantity == 0 || address + quantity > 65536)
        return false;
    const auto& bits = found->second;
    return std::all_of(bits.begin() + address, bits.begin() + address + quantity,
                       [](bool mapped) { return mapped; });
}

std::vector<std::string> FieldDevices::Preset(const std::vector<PresetValue>& values) {
    std::vector<std::string> problems;
    for (const auto& v : values)
        if (!Has(v.device, v.kind, v.address))
            problems.push_back("line " + std::to_string(v.line) + ": device " +
                               std::to_string(v.device) + " has no " + KindName(v.kind) + " " +
                               std::to_string(v.address) + " in the table");
    if (problems.empty())
        for (const auto& v : values)
            kept_[KeyOf(v.device, v.kind, v.address)] = v.value;
    return problems;
}

uint16_t FieldDevices::Value(uint8_t device, uint8_t kind, uint16_t address) const {
    auto found = kept_.find(KeyOf(device, kind, address));
    return found != kept_.end() ? found->second : PatternValue(device, kind, address);
}

SimulatedReply FieldDevices::Reply(uint8_t device, const Bytes& pdu) {
    SimulatedReply reply;
    if (device == 0) {
        // Every device that has the objects keeps a broadcast write; nobody answers.
        reply.kind = SimulatedReply::Kind::Broadcast;
        for (uint8_t each : devices_)
            if (!silent_.count(each))
                Serve(each, pdu);
        return reply;
    }
    if (!Plays(device))
        return reply;
    if (silent_.count(device)) {
        reply.kind = SimulatedReply::Kind::Silent;
        return reply;
    }
    reply.kind = SimulatedReply::Kind::Answer;
    reply.pdu = Serve(device, pdu);
    return reply;
}

Bytes FieldDevices::Serve(uint8_t device, const Bytes& pdu) {
    const uint8_t function = pdu.empty() ? 0 : pdu[0];
    const auto objects = ObjectsOfRequest(pdu);
    if (const uint8_t* code = std::get_if<uint8_t>(&objects))
        return ExceptionPdu(function, *code);
    const RequestedObjects& requested = std::get<RequestedObjects>(objects);
    const uint8_t kind = requested.kind;
    const uint32_t address = requested.address, quantity = requested.quantity;
    if (!Has(device, kind, address, quantity))
        return ExceptionPdu(function, kIllegalDataAddress);

    Bytes answer{function};
    auto keep = [&](uint32_t at, uint16_t value) {
        kept_[KeyOf(device, kind, uint16_t(at))] = value;
    };
    switch (function) {
    case kReadCoils:
    case kReadDiscreteInputs: {
        answer.push_back(uint8_t((quantity + 7) / 8));
        answer.resize(answer.size() + (quantity + 7) / 8, 0);
        for (uint32_t i = 0; i < quantity; ++i)
            if (Value(device, kind, uint16_t(address + i)))
                answer[2 + i / 8] |= uint8_t(1u << (i % 8));
        return answer;
    }
    case kReadHoldingRegisters:
    case kReadInputRegisters:
        answer.push_back(uint8_t(2 * quantity));
        for (uint32_t i = 0; i < quantity; ++i)
            AppendWord(answer, Value(device, kind, uint16_t(address + i)));
        return answer;
    case kWriteSingleCoil:
        keep(address, Word(&pdu[3]) == 0xFF00);
        return pdu;
    case kWriteSingleRegister:
        keep(address, Word(&pdu[3]));
        return pdu;
    case kWriteMultipleCoils:
        for (uint32_t i = 0; i < quantity; ++i)
            keep(address + i, (pdu[6 + i / 8] >> (i % 8)) & 1);
        break;
    default: // write multiple registers
        for (uint32_t i = 0; i < quantity; ++i)
            keep(address + i, Word(&pdu[6 + 2 * i]));
        break;
    }
    return Bytes(pdu.begin(), pdu.begin() + 5);
}

RtuRequestScan ScanRtuRequest(const uint8_t* data, size_t size) {
    RtuRequestScan scan;
    if (size < 2)
        return scan;
    const uint8_t function = data[1];
    auto length = RequestPduLength(data + 1, size - 1);
    if (!length) {
        const bool countPending =
            ((function == kWriteMultipleCoils || function == kWriteMultipleRegisters) &&
             size < 7) ||
            (function == kReadWriteMultipleRegisters && size < 11);
        scan.status =
            countPending ? RtuRequestScan::Status::NeedMore : RtuRequestScan::Status::Unknown;
        return scan;
    }
    const size_t total = 1 + *length + 2;
    if (size < total)
        return scan;
    const uint16_t crc = Crc16(data, total - 2);
    if (data[total - 2] != uint8_t(crc) || data[total - 1] != uint8_t(crc >> 8)) {
        scan.status = RtuRequestScan::Status::Skip;
        return scan;
    }
    scan.status = RtuRequestScan::Status::Frame;
    scan.length = total;
    return scan;
}

} // namespace fabricor::gateway
