#pragma once

#include "documents/pargen.h"
#include "documents/var.h"
#include "rules/translate_rules.h"

#include <optional>

#include <string>
#include <vector>

namespace fabricor {

// The translate table as the editor would load it and confirming would save it. The editor's
// rules judge the cells the grid shows (a kind name where var.xml has its code), so each row is
// turned into cells and judged here, once, for every reader of a saved table.
struct SavedTable {
    // Every cell confirming would refuse, in the order it would meet them.
    std::vector<TranslateCellProblem> problems;
    // The rows up to the first empty Address TCP, where the editor ends the table; nothing for a
    // row with a refused cell.
    std::vector<std::optional<TMyRec>> records;
    // Rows var.xml holds beyond those records: the empty Address TCP and what follows it, which
    // would never reach the device.
    size_t rowsCut = 0;

    // The rows confirming would save, when it refuses nothing.
    std::optional<std::vector<TMyRec>> Confirmed() const;
};
SavedTable TableOfDocument(const TranslateTableDocument& document);

// A project's two documents as the editors would load them, each file read once: the check,
// the gateway, the report and the table export take this one reading, and the image is built
// from the same bytes.
struct SavedProject {
    DocumentFile generalFile;
    DocumentFile tableFile;
    GeneralParametersDocument general;
    TranslateTableDocument table;
    SavedTable rows;
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
