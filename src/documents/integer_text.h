#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace fabricor {

// The one conversion from text to a 32-bit integer, used by every document reader, every editor
// check and the image builder:
//   leading spaces, one optional sign, then decimal digits or a hexadecimal number after
//   "$", "x", "X", "0x" or "0X"; nothing may follow the digits.
// Decimal values must fit a signed 32-bit integer; a hexadecimal number is a 32-bit
// two's-complement pattern ("$FFFFFFFF" is -1) and may not need more than 32 bits.
// Empty text is never an integer.
std::optional<int32_t> ParseIntegerText(std::string_view text);

// Value of one hexadecimal digit (0-9, A-F, a-f), or -1 for any other character. Inline and by
// table: the merge reads the address of every line of a firmware with it.
namespace integer_text_detail {
inline constexpr auto kHexValues = [] {
    std::array<signed char, 256> values{};
    for (int c = 0; c < 256; ++c)
        values[static_cast<size_t>(c)] = c >= '0' && c <= '9'   ? static_cast<signed char>(c - '0')
                                         : c >= 'a' && c <= 'f' ? static_cast<signed char>(c - 'a' + 10)
                                         : c >= 'A' && c <= 'F' ? static_cast<signed char>(c - 'A' + 10)
                                                                : static_cast<signed char>(-1);
    return values;
}();
} // namespace integer_text_detail
inline int HexDigitValue(char c) {
    return integer_text_detail::kHexValues[static_cast<unsigned char>(c)];
}

// Canonical decimal form: a minus sign only for negative values, no leading zeros.
std::string CanonicalDecimal(long long value);

} // namespace fabricor
