#pragma once

#include "documents/var.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace fabricor {

// What the translate table editor accepts but may well be a mistake. These never stop a save:
// they inform.
enum class TableWarningKind {
    Overlap,    // two rows of one data type whose TCP ranges share addresses
    TcpPastEnd, // TCP_ADDRESS + N_POINT - 1 beyond 65535
    RtuPastEnd, // RTU_ADDRESS + N_POINT - 1 beyond 65535
    NoPoints,   // N_POINT 0: the row maps nothing
    SameRead,   // two rows that read the same RTU device, data type and addresses
    Full,       // every one of the 2000 rows used
};

struct TableWarning {
    TableWarningKind kind;
    size_t row = 0;      // counted from 1; 0 for the table as a whole
    size_t otherRow = 0; // the second row of a pair, else 0
    std::string text;    // "rows 3 and 7: Holding Register TCP addresses 10 to 12 overlap"
};

inline constexpr size_t kMaxListedTableWarnings = 1000;

struct TranslateTableAnalysis {
    size_t rowsUsed = 0;
    size_t overlaps = 0;
    size_t pastEnd = 0;
    size_t noPoints = 0;
    size_t sameReads = 0;
    bool full = false;
    // Every warning in row order, the first kMaxListedTableWarnings of them; `unlisted` counts
    // the rest (thousands of rows on one address make millions of overlapping pairs).
    std::vector<TableWarning> warnings;
    size_t unlisted = 0;
    // By row (index row - 1): the warnings that name the row, one a line; empty for none.
    std::vector<std::string> rowNotes;
};

// Rows counted from 1 by their place in the vector; a row without a value (one that the
// editor's checks would refuse) takes its place in the table but nothing else.
TranslateTableAnalysis AnalyseTranslateTable(const std::vector<std::optional<TMyRec>>& rows);
TranslateTableAnalysis AnalyseTranslateTable(const std::vector<TMyRec>& rows);

// What of the table no request can reach when each request is served by the first row of its
// data type whose TCP range holds all of it (the gateway's rule): a row with N° Point 0; the
// addresses of a row that run past 65535, on the TCP side (never requested) or the RTU side
// (mapping to nothing); a row whose whole range lies within an earlier row's of its data type
// (always served by that one). One line each, in row order, beginning "row N: ".
std::vector<std::string> UnreachableRows(const std::vector<TMyRec>& rows);

// One line: "1,234 of 2000 rows · 3 overlaps".
std::string TableAnalysisSummary(const TranslateTableAnalysis& analysis);

} // namespace fabricor
