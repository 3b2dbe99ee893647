#include "documents/integer_text.h"

#include <string>

namespace fabricor {

std::optional<int32_t> ParseIntegerText(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }

    bool hexadecimal = false;
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        hexadecimal = true;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hexadecimal = true;
        i += 2;
    }
    if (i == text.size())
        return std::nullopt;

    if (hexadecimal) {
        uint64_t pattern = 0;
        for (; i < text.size(); ++i) {
            int digit = HexDigitValue(text[i]);
            if (digit < 0)
                return std::nullopt;
            pattern = pattern * 16 + static_cast<uint64_t>(digit);
            if (pattern > 0xFFFFFFFFull)
                return std::nullopt;
        }
        auto bits = static_cast<uint32_t>(pattern);
        if (negative)
            bits = 0u - bits;
        return static_cast<int32_t>(bits);
    }

    uint64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c < '0' || c > '9')
            return std::nullopt;
        magnitude = magnitude * 10 + static_cast<uint64_t>(c - '0');
        if (magnitude > 2147483648ull)
            return std::nullopt;
    }
    if (!negative && magnitude > 2147483647ull)
        return std::nullopt;
    long long value = negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
    return static_cast<int32_t>(value);
}

std::string CanonicalDecimal(long long value) { return std::to_string(value); }

} // namespace fabricor
