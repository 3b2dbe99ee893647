#include "firmware/srecord.h"

#include "documents/integer_text.h"

#include <cstdio>

namespace fabricor {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

std::optional<uint8_t> HexByte(std::string_view text, size_t at) {
    int high = HexDigitValue(text[at]);
    int low = HexDigitValue(text[at + 1]);
    if (high < 0 || low < 0)
        return std::nullopt;
    return static_cast<uint8_t>(high * 16 + low);
}

} // namespace

void AppendHexByte(std::string& text, uint8_t byte) {
    text += kHexDigits[byte >> 4];
    text += kHexDigits[byte & 0x0F];
}

std::string HexAddress(uint32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%06X", static_cast<unsigned>(address));
    return text;
}

SRecordRead ReadSRecord(std::string_view line) {
    SRecordRead read;
    if (line.size() < 4 || !StartsLikeSRecord(line) || SRecordAddressBytes(line[1] - '0') == 0) {
        read.error = SRecordError::NotARecord;
        return read;
    }
    const int type = line[1] - '0';
    const int addressBytes = SRecordAddressBytes(type);
    auto count = HexByte(line, 2);
    if (!count || *count < addressBytes + 1 || line.size() != 4 + 2 * size_t(*count)) {
        read.error = SRecordError::BadByteCount;
        return read;
    }
    SRecord& record = read.record;
    record.type = type;
    record.data.reserve(size_t(*count) - size_t(addressBytes) - 1);
    unsigned sum = *count;
    for (int i = 0; i < *count; ++i) {
        auto value = HexByte(line, 4 + 2 * size_t(i));
        if (!value) {
            read.error = SRecordError::NotHexadecimal;
            return read;
        }
        if (i < addressBytes)
            record.address = record.address << 8 | *value;
        else if (i < *count - 1)
            record.data.push_back(*value);
        else
            record.checksum = *value;
        if (i < *count - 1)
            sum += *value;
    }
    if (((~sum) & 0xFF) != record.checksum)
        read.error = SRecordError::BadChecksum;
    return read;
}

std::string FormatSRecord(int type, uint32_t address, std::span<const uint8_t> data) {
    const int addressBytes = SRecordAddressBytes(type);
    const auto count = static_cast<uint8_t>(addressBytes + data.size() + 1);
    std::string text = "S";
    text += static_cast<char>('0' + type);
    text.reserve(4 + 2 * size_t(count));
    AppendHexByte(text, count);
    unsigned sum = count;
    for (int i = addressBytes - 1; i >= 0; --i) {
        auto byte = static_cast<uint8_t>(address >> (8 * i));
        AppendHexByte(text, byte);
        sum += byte;
    }
    for (uint8_t byte : data) {
        AppendHexByte(text, byte);
        sum += byte;
    }
    AppendHexByte(text, static_cast<uint8_t>(~sum & 0xFF));
    return text;
}

const char* DataRecordHeadErrorText(DataRecordHead::Kind kind) {
    switch (kind) {
    case DataRecordHead::Kind::TooShort:
        return "record too short for its address";
    case DataRecordHead::Kind::NotHexadecimal:
        return "address is not hexadecimal";
    case DataRecordHead::Kind::Other:
    case DataRecordHead::Kind::Address:
        break;
    }
    return "";
}

const char* SRecordErrorText(SRecordError error) {
    switch (error) {
    case SRecordError::None:
        return "";
    case SRecordError::NotARecord:
        return "not an S-record";
    case SRecordError::BadByteCount:
        return "the byte count does not match the record's length";
    case SRecordError::NotHexadecimal:
        return "holds a character that is not a hexadecimal digit";
    case SRecordError::BadChecksum:
        break;
    }
    return "wrong checksum";
}

bool StartsLikeSRecord(std::string_view head) {
    return head.size() >= 2 && head[0] == 'S' && head[1] >= '0' && head[1] <= '9';
}

std::string SxChecksum(const std::string& recordWithPlaceholder) {
    unsigned sum = 0;
    // Pairs from the third character up to the placeholder.
    for (size_t i = 2; i + 3 < recordWithPlaceholder.size(); i += 2)
        if (auto byte = HexByte(recordWithPlaceholder, i))
            sum += *byte;
    std::string digits;
    AppendHexByte(digits, static_cast<uint8_t>(~sum & 0xFF));
    return digits;
}

} // namespace fabricor
