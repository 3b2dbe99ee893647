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

void CheckTranslateTableDocument(const TranslateTableDocument& document, const SavedTable& rows,
                                 std::vector<std::string>& lines) {
    if (ReportUnread(document.outcome, document.error, document.unreadable,
                     ProjectFiles::kTranslateTableName, lines))
        return;
    if (document.stoppedAt)
        lines.push_back(std::string(ProjectFiles::kTranslateTableName) + " row " +
                        std::to_string(document.stoppedAt->row + 1) + ": attribute " +
                        kRowAttributeNames[static_cast<size_t>(document.stoppedAt->attribute)] +
                        " missing; the editor loads nothing from here on");
    for (const auto& problem : rows.problems)
        lines.push_back(std::string(ProjectFiles::kTranslateTableName) + " row " +
                        std::to_string(problem.row) + " " +
                        kTranslateColumnTitles[static_cast<size_t>(problem.column)] + ": " +
                        problem.message);
}

// What the table analysis finds in the table the editor would load.
std::vector<std::string> TranslateTableWarnings(const TranslateTableDocument& document,
                                                const SavedTable& rows) {
    std::vector<std::string> lines;
    if (document.outcome != ReadOutcome::Read)
        return lines;
    auto analysis = AnalyseTranslateTable(rows.records);
    for (const auto& warning : analysis.warnings)
        lines.push_back(std::string(ProjectFiles::kTranslateTableName) +
                        (warning.row ? " " : ": ") + warning.text);
    if (analysis.unlisted)
        lines.push_back(std::string(ProjectFiles::kTranslateTableName) + ": " +
                        std::to_string(analysis.unlisted) + " more warnings not listed");
    return lines;
}

} // namespace

std::optional<std::vector<TMyRec>> SavedTable::Confirmed() const {
    if (!problems.empty())
        return std::nullopt;
    std::vector<TMyRec> rows;
    rows.reserve(records.size());
    for (const auto& record : records) {
        if (!record)
            return std::nullopt;
        rows.push_back(*record);
    }
    return rows;
}

SavedTable TableOfDocument(const TranslateTableDocument& document) {
    SavedTable table;
    std::vector<TranslateRowCells> cells;
    cells.reserve(document.rows.size());
    for (const auto& row : document.rows)
        cells.push_back(CellsOfDocumentRow(row));
    table.problems = AllTranslateTableProblems(cells);
    table.records.reserve(cells.size());
    for (const auto& row : cells) {
        if (CellOf(row, TranslateColumn::AddressTcp).empty())
            break;
        table.records.push_back(RecordOfCells(row));
    }
    table.rowsCut = cells.size() - table.records.size();
    return table;
}

SavedProject ReadSavedProject(const std::string& projectFolder) {
    const std::filesystem::path folder = platform::PathOfUtf8(projectFolder);
    SavedProject project;
    project.generalFile =
        ReadDocumentFile(platform::Utf8Name(ProjectFiles::GeneralParametersIn(folder)));
    project.tableFile = ReadDocumentFile(platform::Utf8Name(ProjectFiles::TranslateTableIn(folder)));
    project.general = ReadGeneralParameters(project.generalFile);
    project.table = ReadTranslateTable(project.tableFile);
    project.rows = TableOfDocument(project.table);
    return project;
}

std::vector<std::string> CheckProjectDocuments(const SavedProject& project) {
    std::vector<std::string> lines;
    CheckGeneralParametersDocument(project.general, lines);
    CheckTranslateTableDocument(project.table, project.rows, lines);
    return lines;
}

std::vector<std::string> CheckProjectDocuments(const std::string& projectFolder) {
    return CheckProjectDocuments(ReadSavedProject(projectFolder));
}

ProjectCheck CheckProject(const SavedProject& project) {
    ProjectCheck check;
    check.problems = CheckProjectDocuments(project);
    check.warnings = TranslateTableWarnings(project.table, project.rows);
    return check;
}

ProjectCheck CheckProject(const std::string& projectFolder) {
    return CheckProject(ReadSavedProject(projectFolder));
}

} // namespace fabricor
