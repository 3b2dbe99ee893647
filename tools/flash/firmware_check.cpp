#include "flash/firmware_check.h"

#include <bitset>
#include <optional>

namespace fabricor::flash {

namespace {

std::optional<int> HexByte(std::string_view text, size_t at) {
    int value = 0;
    for (size_t i = at; i < at + 2; ++i) {
        char c = text[i];
        int digit = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                           : -1;
        if (digit < 0)
            return std::nullopt;
        value = value * 16 + digit;
    }
    return value;
}

// Address bytes of each record type; 0 where the type does not exist.
constexpr int kAddressBytes[10] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};

// Nothing of a refused file is kept, so nothing of it can be sent.
FirmwareCheck& Refuse(FirmwareCheck& check, size_t lineNumber, const std::string& what) {
    check.error = "line " + std::to_string(lineNumber) + ": " + what;
    check.records.clear();
    return check;
}

} // namespace

FirmwareCheck CheckFirmware(std::string_view text) {
    FirmwareCheck check;
    std::bitset<kConfigurationLast - kConfigurationFirst + 1> covered;
    size_t lineNumber = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        std::string_view line = text.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        start = end == std::string_view::npos ? text.size() : end + 1;
        ++lineNumber;
        if (line.ends_with('\r'))
            line.remove_suffix(1);

        if (line.size() < 4 || line[0] != 'S' || line[1] < '0' || line[1] > '9' ||
            kAddressBytes[line[1] - '0'] == 0) {
            return Refuse(check, lineNumber, "not an S-record");
        }
        int type = line[1] - '0';
        auto count = HexByte(line, 2);
        int addressBytes = kAddressBytes[type];
        if (!count || *count < addressBytes + 1 || line.size() != 4 + 2 * size_t(*count)) {
            return Refuse(check, lineNumber, "the byte count does not match the record's length");
        }
        unsigned sum = unsigned(*count);
        uint32_t address = 0;
        for (int i = 0; i < *count; ++i) {
            auto value = HexByte(line, 4 + 2 * size_t(i));
            if (!value) {
                return Refuse(check, lineNumber,
                              "holds a character that is not a hexadecimal digit");
            }
            if (i < *count - 1)
                sum += unsigned(*value);
            if (i < addressBytes)
                address = address << 8 | uint32_t(*value);
            if (i == *count - 1 && ((~sum) & 0xFF) != unsigned(*value)) {
                return Refuse(check, lineNumber, "wrong checksum");
            }
        }
        if (type >= 1 && type <= 3) {
            ++check.dataRecords;
            int dataBytes = *count - addressBytes - 1;
            for (int i = 0; i < dataBytes; ++i) {
                uint64_t at = uint64_t(address) + uint64_t(i);
                if (at >= kConfigurationFirst && at <= kConfigurationLast)
                    covered.set(at - kConfigurationFirst);
            }
        }
        check.records.emplace_back(line);
    }
    if (check.dataRecords == 0) {
        check.error = "the file holds no data record";
    } else if (covered.none()) {
        check.error = "the configuration (0x388000 to 0x38BFFF) is missing";
    } else if (!covered.all()) {
        check.error = "the configuration (0x388000 to 0x38BFFF) is incomplete: " +
                      std::to_string(covered.size() - covered.count()) + " bytes are missing";
    }
    if (!check.ok())
        check.records.clear();
    return check;
}

} // namespace fabricor::flash
