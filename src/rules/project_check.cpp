#include "rules/project_check.h"

#include "base/project_files.h"
#include "documents/pargen.h"
#include "documents/var.h"
#include "platform/files.h"
#include "rules/general_parameter_rules.h"
#include "rules/translate_analysis.h"
#include "rules/translate_rules.h"

#include <filesystem>

namespace fabricor {

namespace {

bool ReportUnread(ReadOutcome outcome, const std::string& error, bool unreadable, const char* name,
                  std::vector<std::string>& lines) {
    if (outcome == ReadOutcome::NoFile) {
        lines.push_back(std::string(name) + ": missing");
        return true;
    }
    if (outcome == ReadOutcome::NotWellFormed) {
        lines.push_back(std::string(name) + (unreadable ? ": " : ": not well-formed: ") + error);
        return true;
    }
    return false;
}

void CheckGeneralParametersDocument(const GeneralParametersDocument& document,
                                    std::vector<std::string>& lines) {
    if (ReportUnread(document.outcome, document.error, document.unreadable,
                     ProjectFiles::kGeneralParametersName, lines))
        return;
    for (const auto& problem : AllGeneralParameterProblems(DecodeGeneralParameters(document)))
        lines.push_back(std::string(ProjectFiles::kGeneralParametersName) + " " +
                        ElementNameOf(problem.field) + ": " + problem.message);
}

void CheckTranslateTableDocument(const TranslateTableDocument& document,
                                 std::vector<std::string>& lines) {
    if (ReportUnread(document.outcome, document.error, document.unreadable,
                     ProjectFiles::kTranslateTableName, lines))
        return;
    if (document.stoppedAt)
        lines.push_back(std::string(ProjectFiles::kTranslateTableName) + " row " +
                        std::to_string(document.stoppedAt->row + 1) + ": attribute " +
                        kRowAttributeNames[static_cast<size_t>(document.stoppedAt->attribute)] +
                        " missing; the editor loads nothing from here on");
    std::vector<TranslateRowCells> rows;
    rows.reserve(document.rows.size());
    for (const auto& row : document.rows)
        rows.push_back(CellsOfDocumentRow(row));
    for (const auto& problem : AllTranslateTableProblems(rows))
        lines.push_back(std::string(ProjectFiles::kTranslateTableName) + " row " +
                        std::to_string(problem.row) + " " +
                        kTranslateColumnTitles[static_cast<size_t>(problem.column)] + ": " +
                        problem.message);
}

// What the table analysis finds in the table the editor would load.
std::vector<std::string> TranslateTableWarnings(const TranslateTableDocument& document) {
    std::vector<std::string> lines;
    if (document.outcome != ReadOutcome::Read)
        return lines;
    // The table the editor would load: it ends at the first row without an Address TCP.
    std::vector<std::optional<TMyRec>> rows;
    rows.reserve(document.rows.size());
    for (const auto& read : document.rows) {
        TranslateRowCells cells = CellsOfDocumentRow(read);
        if (CellOf(cells, TranslateColumn::AddressTcp).empty())
            break;
        rows.push_back(RecordOfCells(cells));
    }
    auto analysis = AnalyseTranslateTable(rows);
    for (const auto& warning : analysis.warnings)
        lines.push_back(std::string(ProjectFiles::kTranslateTableName) +
                        (warning.row ? " " : ": ") + warning.text);
    if (analysis.unlisted)
        lines.push_back(std::string(ProjectFiles::kTranslateTableName) + ": " +
                        std::to_string(analysis.unlisted) + " more warnings not listed");
    return lines;
}

} // namespace

SavedProject ReadSavedProject(const std::string& projectFolder) {
    const std::filesystem::path folder = platform::PathOfUtf8(projectFolder);
    return {ReadGeneralParameters(platform::Utf8Name(ProjectFiles::GeneralParametersIn(folder))),
            ReadTranslateTable(platform::Utf8Name(ProjectFiles::TranslateTableIn(folder)))};
}

std::vector<std::string> CheckProjectDocuments(const SavedProject& project) {
    std::vector<std::string> lines;
    CheckGeneralParametersDocument(project.general, lines);
    CheckTranslateTableDocument(project.table, lines);
    return lines;
}

std::vector<std::string> CheckProjectDocuments(const std::string& projectFolder) {
    return CheckProjectDocuments(ReadSavedProject(projectFolder));
}

ProjectCheck CheckProject(const SavedProject& project) {
    ProjectCheck check;
    check.problems = CheckProjectDocuments(project);
    check.warnings = TranslateTableWarnings(project.table);
    return check;
}

ProjectCheck CheckProject(const std::string& projectFolder) {
    return CheckProject(ReadSavedProject(projectFolder));
}

} // namespace fabricor
