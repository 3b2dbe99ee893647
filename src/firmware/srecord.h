#pragma once

// Motorola S-records, the text form of a firmware: one record a line,
//   "S" type count address data checksum
// in hexadecimal digit pairs, where count is the number of bytes after it and the checksum is
// the ones' complement of the low byte of the sum of count, address and data bytes.
// The merge, the flash tool's check and the read-back all read and write records here.

#include "documents/integer_text.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace fabricor {

// Address bytes of record type 0 to 9 (for S5 and S6 the field holds a record count); 0 for
// a type that does not exist (S4) or a type out of that range.
inline int SRecordAddressBytes(int type) {
    constexpr int kAddressBytes[10] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};
    return type >= 0 && type <= 9 ? kAddressBytes[type] : 0;
}

struct SRecord {
    int type = 0;
    uint32_t address = 0;
    std::vector<uint8_t> data;
    uint8_t checksum = 0;
};

// Why a line is not a record, in the order the reading finds it.
enum class SRecordError {
    None,
    NotARecord,     // no "S" and an existing type digit, or shorter than four characters
    BadByteCount,   // the count is no digit pair, too small for the address, or not the length
    NotHexadecimal, // a character of the address, data or checksum is no hexadecimal digit
    BadChecksum,
};

// The words for each error, as messages give them after "line N: ".
const char* SRecordErrorText(SRecordError error);

// Whether a line's first two characters could start a record: "S" and a digit.
bool StartsLikeSRecord(std::string_view head);

// S2: data at a 24-bit address, the type the configuration window is written in.
inline constexpr int kS2RecordType = 2;

// Whether a record of this type carries data (S1, S2 and S3).
inline constexpr bool IsDataRecordType(int type) {
    return type >= 1 && type <= 3;
}

struct SRecordRead {
    SRecordError error = SRecordError::None;
    SRecord record; // filled when error is None
    bool ok() const { return error == SRecordError::None; }
};

// Reads one line, without its line end. Digits may be upper or lower case.
SRecordRead ReadSRecord(std::string_view line);

// The record as text, without line end: upper-case digits, the count and checksum computed.
std::string FormatSRecord(int type, uint32_t address, std::span<const uint8_t> data);

// Where an S1 or S2 record starts, read from its first characters only ("S", type, two count
// characters, then 4 or 6 address digits): the rest of the line is never looked at, so a line
// of any length is decided by its head. The count gives the data bytes the record claims (0
// when it is no digit pair or too small for the address).
struct DataRecordHead {
    enum class Kind { Other, TooShort, NotHexadecimal, Address };
    Kind kind = Kind::Other; // Other: the line does not start with "S1" or "S2"
    int type = 0;
    uint32_t address = 0;
    size_t dataBytes = 0;
};
inline DataRecordHead ReadDataRecordHead(std::string_view line);

// The same for an S3 record ("S3", two count characters, 8 address digits); Other when the line
// does not start with "S3".
inline constexpr size_t kS3RecordHeadLength = 12;
inline DataRecordHead ReadS3RecordHead(std::string_view line);

// The head of an S1, S2 or S3 record, whichever the line starts with; Other for any other line.
// Inline, as the merge reads the head of every line of a base firmware with it.
inline DataRecordHead ReadAddressRecordHead(std::string_view line);

// The words for a head that cannot be read (TooShort, NotHexadecimal), as messages give them
// after "line N: "; empty for the other kinds.
const char* DataRecordHeadErrorText(DataRecordHead::Kind kind);

// Two upper-case hexadecimal digits: ones' complement of the low byte of the sum of the digit
// pairs from the third character up to the "00" placeholder that ends the text. A pair that is
// not hexadecimal counts nothing.
std::string SxChecksum(const std::string& recordWithPlaceholder);

// Appends the byte as two upper-case hexadecimal digits.
void AppendHexByte(std::string& text, uint8_t byte);

// An address as messages write it: "0x" and upper-case digits, at least six ("0x388000").
std::string HexAddress(uint32_t address);

namespace srecord_detail {
// The address of a record whose head ("S", type, two count characters) is followed by the
// address digits of its type; nothing after them is looked at.
inline DataRecordHead ReadHeadAddress(std::string_view line) {
    DataRecordHead head;
    head.type = line[1] - '0';
    const size_t digits = 2 * size_t(SRecordAddressBytes(head.type));
    if (line.size() < 4 + digits) {
        head.kind = DataRecordHead::Kind::TooShort;
        return head;
    }
    for (char c : line.substr(4, digits)) {
        int digit = HexDigitValue(c);
        if (digit < 0) {
            head.kind = DataRecordHead::Kind::NotHexadecimal;
            return head;
        }
        head.address = head.address * 16 + static_cast<uint32_t>(digit);
    }
    head.kind = DataRecordHead::Kind::Address;
    const int high = HexDigitValue(line[2]);
    const int low = HexDigitValue(line[3]);
    const size_t count = high < 0 || low < 0 ? 0 : size_t(high * 16 + low);
    if (count > digits / 2 + 1)
        head.dataBytes = count - digits / 2 - 1;
    return head;
}
} // namespace srecord_detail

inline DataRecordHead ReadDataRecordHead(std::string_view line) {
    if (!line.starts_with("S1") && !line.starts_with("S2"))
        return {};
    return srecord_detail::ReadHeadAddress(line);
}

inline DataRecordHead ReadS3RecordHead(std::string_view line) {
    if (!line.starts_with("S3"))
        return {};
    return srecord_detail::ReadHeadAddress(line);
}

inline DataRecordHead ReadAddressRecordHead(std::string_view line) {
    return line.starts_with("S3") ? ReadS3RecordHead(line) : ReadDataRecordHead(line);
}

} // namespace fabricor
