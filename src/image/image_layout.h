#pragma once

// Where every document field stands in the configuration image. The builder, the decoder, the
// report and verify/diff all read their offsets and widths here.

#include "documents/pargen.h"
#include "documents/var.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace fabricor {

// The configuration image is the device firmware's interface: every offset below is fixed.
inline constexpr size_t kImageSize = 16384;
using ConfigurationImage = std::array<uint8_t, kImageSize>;

inline constexpr size_t kTranslateRecordSize = 7;
inline constexpr size_t kImageRows = 2000;
inline constexpr size_t kCommunityNameSize = 14;

// Offsets of the parameter block.
namespace image_offset {
inline constexpr size_t IpAddress = 15000;   // 4 bytes
inline constexpr size_t SubnetMask = 15004;  // 4 bytes
inline constexpr size_t Gateway = 15008;     // 4 bytes
inline constexpr size_t TcpPort = 15012;     // 16-bit
inline constexpr size_t SnmpPublic = 15014;  // community-name field
inline constexpr size_t SnmpPrivate = 15028; // community-name field
inline constexpr size_t Baud = 15042;
inline constexpr size_t Parity = 15043;
inline constexpr size_t TimeOut = 15044; // 16-bit
inline constexpr size_t Offset = 15046;  // 16-bit
inline constexpr size_t Mode = 15048;
inline constexpr size_t BuildTime = 15049; // 16-bit
inline constexpr size_t BuildDate = 15051; // 16-bit
inline constexpr size_t StopBits = 15055;
inline constexpr size_t EnableGateway = 15056;
} // namespace image_offset

// How a field holds its value: a byte, a 16-bit word (least significant byte first), a
// community name (kCommunityNameSize bytes, zero filled), or a flag byte (1 or 0).
enum class FieldKind { Byte, Word, Name, Flag };

inline constexpr size_t FieldWidth(FieldKind kind) {
    return kind == FieldKind::Word ? 2 : kind == FieldKind::Name ? kCommunityNameSize : 1;
}

// The largest number a numeric field holds.
inline constexpr int64_t FieldLimit(FieldKind kind) {
    return kind == FieldKind::Word ? 0xFFFF : 0xFF;
}

struct ParameterField {
    GeneralParameter parameter;
    size_t offset;
    FieldKind kind;
};

// Every pargen.xml setting, in the document's order.
inline constexpr std::array<ParameterField, kGeneralParameterCount> kParameterLayout = {{
    {GeneralParameter::TCP_IP1, image_offset::IpAddress + 0, FieldKind::Byte},
    {GeneralParameter::TCP_IP2, image_offset::IpAddress + 1, FieldKind::Byte},
    {GeneralParameter::TCP_IP3, image_offset::IpAddress + 2, FieldKind::Byte},
    {GeneralParameter::TCP_IP4, image_offset::IpAddress + 3, FieldKind::Byte},
    {GeneralParameter::TCP_SUB1, image_offset::SubnetMask + 0, FieldKind::Byte},
    {GeneralParameter::TCP_SUB2, image_offset::SubnetMask + 1, FieldKind::Byte},
    {GeneralParameter::TCP_SUB3, image_offset::SubnetMask + 2, FieldKind::Byte},
    {GeneralParameter::TCP_SUB4, image_offset::SubnetMask + 3, FieldKind::Byte},
    {GeneralParameter::TCP_EN_GATE, image_offset::EnableGateway, FieldKind::Byte},
    {GeneralParameter::TCP_GAT1, image_offset::Gateway + 0, FieldKind::Byte},
    {GeneralParameter::TCP_GAT2, image_offset::Gateway + 1, FieldKind::Byte},
    {GeneralParameter::TCP_GAT3, image_offset::Gateway + 2, FieldKind::Byte},
    {GeneralParameter::TCP_GAT4, image_offset::Gateway + 3, FieldKind::Byte},
    {GeneralParameter::TCP_PORT, image_offset::TcpPort, FieldKind::Word},
    {GeneralParameter::SNMP_PUBLIC, image_offset::SnmpPublic, FieldKind::Name},
    {GeneralParameter::SNMP_PRIVATE, image_offset::SnmpPrivate, FieldKind::Name},
    {GeneralParameter::BAUD, image_offset::Baud, FieldKind::Byte},
    {GeneralParameter::PARITY, image_offset::Parity, FieldKind::Byte},
    {GeneralParameter::TIME_OUT, image_offset::TimeOut, FieldKind::Word},
    {GeneralParameter::OFFSET, image_offset::Offset, FieldKind::Word},
    {GeneralParameter::MODE, image_offset::Mode, FieldKind::Byte},
    {GeneralParameter::STOP_BIT, image_offset::StopBits, FieldKind::Flag},
}};

inline constexpr const ParameterField& LayoutOf(GeneralParameter parameter) {
    return kParameterLayout[Index(parameter)];
}

struct RecordField {
    RowAttribute attribute;
    size_t offset; // within the row's record
    FieldKind kind;
};

// The five numbers of a row's record; the mnemonic stays out of the image.
inline constexpr std::array<RecordField, 5> kRecordLayout = {{
    {RowAttribute::DATA_TYPE, 0, FieldKind::Byte},
    {RowAttribute::TCP_ADDRESS, 1, FieldKind::Word},
    {RowAttribute::RTU_ADD_DEV, 3, FieldKind::Byte},
    {RowAttribute::RTU_ADDRESS, 4, FieldKind::Word},
    {RowAttribute::N_POINT, 6, FieldKind::Byte},
}};

inline constexpr size_t RecordOffset(size_t row, const RecordField& field) {
    return row * kTranslateRecordSize + field.offset;
}

inline const char* NameOf(const RecordField& field) {
    return kRowAttributeNames[static_cast<size_t>(field.attribute)];
}

// A byte or word field's value as stored.
inline constexpr unsigned FieldValue(const ConfigurationImage& image, size_t offset,
                                     FieldKind kind) {
    return kind == FieldKind::Word ? unsigned{image[offset]} | unsigned{image[offset + 1]} << 8
                                   : unsigned{image[offset]};
}

// Stores the low byte (or the low 16 bits of a word field) of a document's value.
inline constexpr void StoreField(ConfigurationImage& image, size_t offset, FieldKind kind,
                                 int64_t value) {
    const auto bits = static_cast<uint32_t>(value);
    image[offset] = static_cast<uint8_t>(bits & 0xFF);
    if (kind == FieldKind::Word)
        image[offset + 1] = static_cast<uint8_t>((bits >> 8) & 0xFF);
}

} // namespace fabricor
