#pragma once

#include <string>

namespace fabricor {

// Escapes & < > " ' for HTML text and attribute values, and shows every control character
// (C0 with tab, line feed and carriage return, DEL, C1) by its code: ESC as "<U+001B>".
std::string HtmlEscape(const std::string& text);

// "192.168.1.7/24" for a contiguous mask, else "192.168.1.7 mask 255.0.255.0".
std::string AddressWithMask(const unsigned char address[4], const unsigned char mask[4]);

// One self-contained printable HTML page about a project: its general parameters as the device
// gets them (built in memory from the documents), the translate table's rows, every problem and
// warning that `fabricor-cli check` gives, the build time of bin/bank1.bin and the SHA-256 of
// bin/bank1.bin and New_SX30418.sx when they exist. Nothing is written.
std::string CommissioningReportHtml(const std::string& projectFolder);

} // namespace fabricor
