// Integer text against a straightforward second reading of the same rules, on every input.

#include "documents/integer_text.h"
#include "fuzz_support.h"

#include <cstdint>
#include <optional>
#include <string>

namespace {

bool IsDecimal(char c) { return c >= '0' && c <= '9'; }
bool IsHex(char c) { return IsDecimal(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Written for clarity, not speed: strip what the rules allow, then judge the digits as a whole.
std::optional<int32_t> Reference(std::string text) {
    size_t blanks = text.find_first_not_of(' ');
    text.erase(0, blanks == std::string::npos ? text.size() : blanks);
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.erase(0, 1);
    }
    bool hexadecimal = false;
    for (const char* prefix : {"$", "x", "X", "0x", "0X"}) {
        if (text.rfind(prefix, 0) == 0) {
            hexadecimal = true;
            text.erase(0, std::string(prefix).size());
            break;
        }
    }
    if (text.empty())
        return std::nullopt;
    for (char c : text)
        if (!(hexadecimal ? IsHex(c) : IsDecimal(c)))
            return std::nullopt;
    size_t significant = text.find_first_not_of('0');
    std::string digits = significant == std::string::npos ? "0" : text.substr(significant);
    if (hexadecimal) {
        if (digits.size() > 8)
            return std::nullopt;
        uint32_t pattern = static_cast<uint32_t>(std::stoul(digits, nullptr, 16));
        return static_cast<int32_t>(negative ? 0u - pattern : pattern);
    }
    if (digits.size() > 10)
        return std::nullopt;
    long long magnitude = std::stoll(digits);
    long long value = negative ? -magnitude : magnitude;
    if (value < INT32_MIN || value > INT32_MAX)
        return std::nullopt;
    return static_cast<int32_t>(value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    auto parsed = fabricor::ParseIntegerText(text);
    FUZZ_CHECK(parsed == Reference(text));
    // Leading spaces never change the value.
    FUZZ_CHECK(fabricor::ParseIntegerText("  " + text) == parsed);
    if (parsed) {
        // The canonical form reads back as the same value and is what std::to_string gives.
        auto canonical = fabricor::CanonicalDecimal(*parsed);
        FUZZ_CHECK(canonical == std::to_string(*parsed));
        FUZZ_CHECK(fabricor::ParseIntegerText(canonical) == parsed);
        // A trailing blank is refused.
        FUZZ_CHECK(!fabricor::ParseIntegerText(text + " "));
    }
    return 0;
}
