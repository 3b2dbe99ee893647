#pragma once

#include "documents/var.h"
#include "rules/translate_rules.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace fabricor {

// The translate table as CSV, for spreadsheets: a header line with the grid's column titles,
// then one line per row. Written as UTF-8 with CR LF line ends, a field quoted only when it holds
// the separator, a quote or a line break, and an apostrophe put in front of a cell that would
// otherwise begin like a formula (= + - @, a tab or a CR, after any apostrophes); import takes
// that apostrophe away again.

// A CSV file is read whole, up to this size; 2000 rows never come near it.
inline constexpr size_t kMaxTranslateCsvBytes = 16 * 1024 * 1024;

struct TranslateCsvOptions {
    char separator = ','; // ',', ';' or '\t'
    bool byteOrderMark = false;
};

std::string TranslateTableToCsv(const std::vector<TMyRec>& rows,
                                const TranslateCsvOptions& options);

// One reason a CSV file is refused: its line (counted from 1, the header is line 1; a row that
// spans lines is named by its first), the column when the problem is one cell's, and the text.
struct TranslateCsvProblem {
    size_t line = 0;
    std::string column; // a column title, or empty
    std::string message;
};

// "line 12 Address TCP: Error!! Address TCP must be between 0 and 65535. "
std::string DescribeCsvProblem(const TranslateCsvProblem& problem);

struct TranslateCsvImport {
    std::vector<TMyRec> rows;                  // the table, only when there is no problem
    std::vector<TranslateCsvProblem> problems; // in the order of the file
    bool ok() const { return problems.empty(); }
};

// Reads CSV text as a spreadsheet writes it: with or without a byte order mark; comma, semicolon
// or tab, whichever the header line uses; CR LF, LF or CR; quoted fields. Columns are found by
// their titles, in any order. Data Type is a kind name or its code 1 to 4; every row then goes
// through the translate table editor's checks. Lines without any text are skipped.
TranslateCsvImport TranslateTableFromCsv(std::string_view bytes);

// Reads the file (at most kMaxTranslateCsvBytes of it) and then as TranslateTableFromCsv.
TranslateCsvImport ReadTranslateTableCsv(const std::string& path);

} // namespace fabricor
