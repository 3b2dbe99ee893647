#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace fabricor {

// The characters an XML 1.0 document cannot carry, not even as a character reference: the C0
// controls other than tab, line feed and carriage return (NUL among them), and U+FFFE and
// U+FFFF. A document holding one is refused by every XML reader but the most lenient, so no
// document of the program is ever written with one: the first one in UTF-8 `text`, if any.
std::optional<char32_t> FirstCharacterXmlCannotCarry(std::string_view text);

// "U+001B": a character by its code, as the messages and the report name it.
std::string CharacterCode(char32_t character);

} // namespace fabricor
