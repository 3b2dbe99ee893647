#include "cli/cli.h"

#include "base/atomic_file.h"
#include "base/folders.h"
#include "base/project_files.h"
#include "cli/options.h"
#include "platform/files.h"
#include "rules/project_check.h"
#include "rules/translate_csv.h"

#include <filesystem>
#include <ostream>

namespace fabricor::cli {

namespace {

void TableHelp(std::ostream& out) {
    out << "export writes PROJECT/var.xml as CSV: a header line with the grid's column titles\n"
           "(Data Type,Address TCP,Address Device RTU,Address RTU,N° Point,Mnemonic), then one\n"
           "line per row; UTF-8, CR LF line ends, a field quoted when it holds the separator,\n"
           "a quote or a line break. A cell that begins with = + - @, a tab or a CR (after any\n"
           "apostrophes) gets one more apostrophe in front, so that no spreadsheet takes it for\n"
           "a formula. The table must pass the Set Translate Table checks.\n"
           "  --output FILE      write FILE (replaced whole; only a regular file, never the\n"
           "                     project's pargen.xml or var.xml) instead of standard output\n"
           "  --separator SEP    ',' (the default), ';' or 'tab'\n"
           "  --bom              begin with a UTF-8 byte order mark, for spreadsheets that need "
           "one\n"
           "\n"
           "import reads FILE and replaces PROJECT/var.xml (PROJECT must hold a pargen.xml)\n"
           "with its rows, only when every row passes the Set Translate Table checks. It takes\n"
           "what spreadsheets write: with or without a byte order mark; comma, semicolon or tab\n"
           "(as the header line uses); CR LF, LF or CR; quoted fields. Columns are found by\n"
           "their titles, in any order. Data Type is a kind name (Holding Register) or its code\n"
           "1 to 4. An apostrophe export put in front of a cell is taken away again. Every\n"
           "problem is listed on stderr with its line in FILE; nothing is written when there is\n"
           "any. At most 2000 rows.\n"
           "\n"
           "Exit status: 0 written; 1 refused (nothing written); 2 on a usage error.\n";
}

int TableUsageError(std::ostream& err, const std::string& problem) {
    return UsageError(kTableCommand, err, problem);
}

std::string VarPathOf(const std::string& project) {
    return platform::Utf8Name(ProjectFiles::TranslateTableIn(platform::PathOfUtf8(project)));
}

std::optional<char> SeparatorNamed(const std::string& name) {
    if (name == "," || name == "comma")
        return ',';
    if (name == ";" || name == "semicolon")
        return ';';
    if (name == "tab" || name == "\t")
        return '\t';
    return std::nullopt;
}

int Export(const ParsedArguments& parsed, std::ostream& out, std::ostream& err) {
    if (parsed.positional.size() != 2)
        return TableUsageError(err, parsed.positional.size() < 2
                                        ? "PROJECT is missing"
                                        : "unexpected argument '" + parsed.positional[2] + "'");
    TranslateCsvOptions options;
    options.byteOrderMark = parsed.flags.count("bom") > 0;
    if (auto sep = parsed.values.find("separator"); sep != parsed.values.end()) {
        auto separator = SeparatorNamed(sep->second);
        if (!separator)
            return TableUsageError(err,
                                   "'" + sep->second + "' is not a separator: ',', ';' or 'tab'");
        options.separator = *separator;
    }
    const std::string& project = parsed.positional[1];
    if (!FolderExists(project)) {
        err << "fabricor-cli table export: " << project << " is not a folder\n";
        return kExitFailure;
    }
    const std::string varPath = VarPathOf(project);
    auto document = ReadTranslateTable(varPath);
    if (document.outcome == ReadOutcome::NoFile) {
        err << "fabricor-cli table export: " << varPath << " is missing\n";
        return kExitFailure;
    }
    if (document.outcome == ReadOutcome::NotWellFormed) {
        err << "fabricor-cli table export: " << varPath << " is not well-formed: " << document.error
            << "\n";
        return kExitFailure;
    }
    const SavedTable table = TableOfDocument(document);
    const auto& problems = table.problems;
    if (document.stoppedAt || !problems.empty()) {
        if (document.stoppedAt)
            err << "var.xml row " << document.stoppedAt->row + 1 << ": attribute "
                << kRowAttributeNames[static_cast<size_t>(document.stoppedAt->attribute)]
                << " missing\n";
        for (const auto& problem : problems)
            err << "var.xml row " << problem.row << " "
                << kTranslateColumnTitles[static_cast<size_t>(problem.column)] << ": "
                << problem.message << "\n";
        err << "fabricor-cli table export: the table does not pass the Set Translate Table checks; "
               "nothing exported\n";
        return kExitFailure;
    }
    if (table.rowsCut > 0) {
        // The editor ends the table at the first empty Address TCP; exporting only the rows above
        // it would drop the rest without a word.
        err << "var.xml row " << table.records.size() + 1
            << " Address TCP: empty, so the table ends there and the " << table.rowsCut - 1
            << " rows below it would be lost\n"
               "fabricor-cli table export: nothing exported\n";
        return kExitFailure;
    }
    const std::string csv = TranslateTableToCsv(*table.Confirmed(), options);
    auto output = parsed.values.find("output");
    if (output == parsed.values.end()) {
        out << csv << std::flush;
        return out ? kExitOk : kExitFailure;
    }
    if (auto document = ProjectDocumentAt(project, output->second)) {
        err << "fabricor-cli table export: " << output->second << " is the project's own "
            << *document << "; nothing exported\n";
        return kExitFailure;
    }
    if (auto written = WriteFileAtomically(output->second, csv); !written.ok()) {
        err << "fabricor-cli table export: " << written.message() << "\n";
        return kExitFailure;
    }
    return kExitOk;
}

int Import(const ParsedArguments& parsed, std::ostream& out, std::ostream& err) {
    if (!parsed.values.empty() || !parsed.flags.empty())
        return TableUsageError(err, "import takes no options");
    if (parsed.positional.size() != 3)
        return TableUsageError(err, parsed.positional.size() < 2 ? "PROJECT is missing"
                                    : parsed.positional.size() < 3
                                        ? "FILE is missing"
                                        : "unexpected argument '" + parsed.positional[3] + "'");
    const std::string& project = parsed.positional[1];
    const std::string& file = parsed.positional[2];
    if (!FolderExists(project)) {
        err << "fabricor-cli table import: " << project << " is not a folder\n";
        return kExitFailure;
    }
    // A table belongs in a project: never a var.xml dropped into some other folder.
    platform::FileStatus pargen;
    const std::string pargenPath = ProjectFiles(project).GeneralParameters();
    if (platform::StatusOfName(pargenPath, pargen) != 0) {
        err << "fabricor-cli table import: " << project << " is not a project (no "
            << ProjectFiles::kGeneralParametersName << "); nothing written\n";
        return kExitFailure;
    }
    auto imported = ReadTranslateTableCsv(file);
    const std::string varPath = VarPathOf(project);
    if (!imported.ok()) {
        for (const auto& problem : imported.problems)
            err << (problem.line ? file + " " : "fabricor-cli table import: ")
                << DescribeCsvProblem(problem) << "\n";
        err << "fabricor-cli table import: " << varPath << " left unchanged\n";
        return kExitFailure;
    }
    if (auto written = WriteTranslateTable(varPath, imported.rows); !written.ok()) {
        err << "fabricor-cli table import: " << written.message() << "\n";
        return kExitFailure;
    }
    out << "Wrote " << varPath << " (" << imported.rows.size()
        << (imported.rows.size() == 1 ? " row" : " rows") << ")\n";
    return kExitOk;
}

int RunTable(const ParsedArguments& parsed, std::ostream& out, std::ostream& err,
             TerminalProgress&) {
    const std::string& action = parsed.positional.front();
    if (action == "export")
        return Export(parsed, out, err);
    if (action == "import")
        return Import(parsed, out, err);
    return TableUsageError(err, "unknown action '" + action + "'");
}

} // namespace

const Command kTableCommand = {
    .name = "table",
    .summary = "export PROJECT's translate table as CSV, or import a CSV file into it",
    .usage = "table export PROJECT [--output FILE] [--separator ,|;|tab] [--bom]\n"
             "table import PROJECT FILE",
    .help = TableHelp,
    .valueOptions = {"output", "separator"},
    .flagOptions = {"bom"},
    .positionals = {1, kAnyNumber, "export or import is missing"},
    .run = RunTable,
};

} // namespace fabricor::cli
