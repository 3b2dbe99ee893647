#pragma once

#include <string>
#include <string_view>

namespace fabricor {

// Inside the program text is UTF-8. Where bytes must be Windows-1252 (the flash tool's parameter
// string, single-byte community names) they are converted here and nowhere else.
// Characters that Windows-1252 cannot hold become `replacement`; invalid UTF-8 bytes too.
std::string Utf8ToWindows1252(std::string_view utf8, char replacement = '?');
std::string Windows1252ToUtf8(std::string_view bytes);

// True when every character of the UTF-8 text has a Windows-1252 byte, so the conversion above
// loses nothing.
bool FitsWindows1252(std::string_view utf8);

} // namespace fabricor
