#include "documents/xml_characters.h"

#include <cstdio>

namespace fabricor {

std::optional<char32_t> FirstCharacterXmlCannotCarry(std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r')
            return byte;
        // U+FFFE and U+FFFF are EF BF BE and EF BF BF; EF is never a continuation byte.
        if (byte == 0xEF && i + 2 < text.size() &&
            static_cast<unsigned char>(text[i + 1]) == 0xBF &&
            (static_cast<unsigned char>(text[i + 2]) & 0xFE) == 0xBE)
            return 0xFFFE + (static_cast<unsigned char>(text[i + 2]) & 1);
    }
    return std::nullopt;
}

std::string CharacterCode(char32_t character) {
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(character));
    return code;
}

} // namespace fabricor
