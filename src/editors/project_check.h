#pragma once

#include <string>
#include <vector>

namespace fabricor {

// Runs a project's two documents through the checks that confirming the editors applies, and
// lists every problem, one line each ("var.xml row 12 Data Type: ..."). Also listed: a document
// that is missing or not well-formed, and a var.xml whose reading stops at an absent attribute,
// because the editors would silently drop what follows. Empty when the project saves cleanly.
std::vector<std::string> CheckProjectDocuments(const std::string& projectFolder);

} // namespace fabricor
