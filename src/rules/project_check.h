#pragma once

#include "documents/pargen.h"
#include "documents/var.h"

#include <string>
#include <vector>

namespace fabricor {

// A project's two documents as the editors would load them, each read once. The check, the
// gateway and the other readers of a saved project take this one reading.
struct SavedProject {
    GeneralParametersDocument general;
    TranslateTableDocument table;
};
SavedProject ReadSavedProject(const std::string& projectFolder);

// Runs a project's two documents through the checks that confirming the editors applies, and
// lists every problem, one line each ("var.xml row 12 Data Type: ..."). Also listed: a document
// that is missing or not well-formed, and a var.xml whose reading stops at an absent attribute,
// because the editors would silently drop what follows. Empty when the project saves cleanly.
std::vector<std::string> CheckProjectDocuments(const std::string& projectFolder);
std::vector<std::string> CheckProjectDocuments(const SavedProject& project);

// CheckProjectDocuments' problems, and what the table analysis finds in the project's var.xml,
// one line each ("var.xml rows 3 and 7: Holding Register TCP addresses 10 to 12 overlap"):
// things the editors accept that may be mistakes. Rows the editor's checks refuse are left out of
// the analysis; no warnings when var.xml cannot be read. Each document is read once.
struct ProjectCheck {
    std::vector<std::string> problems;
    std::vector<std::string> warnings;
};
ProjectCheck CheckProject(const std::string& projectFolder);
ProjectCheck CheckProject(const SavedProject& project);

} // namespace fabricor
