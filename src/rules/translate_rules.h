#pragma once

#include "documents/var.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace fabricor {

// The translate table's columns as the grid numbers them; column 0 holds the row numbers.
enum class TranslateColumn {
    DataType = 1,
    AddressTcp,
    AddressDeviceRtu,
    AddressRtu,
    NPoint,
    Mnemonic,
};
inline constexpr int kTranslateColumnCount = 7; // with the row-number column

// Column titles, by grid column.
extern const std::array<const char*, kTranslateColumnCount> kTranslateColumnTitles;

// The texts of one data row: Data Type (a kind name), Address TCP, Address Device RTU,
// Address RTU, N° Point, Mnemonic.
using TranslateRowCells = std::array<std::string, 6>;

inline std::string& CellOf(TranslateRowCells& row, TranslateColumn column) {
    return row[static_cast<size_t>(column) - 1];
}
inline const std::string& CellOf(const TranslateRowCells& row, TranslateColumn column) {
    return row[static_cast<size_t>(column) - 1];
}

struct TranslateCellProblem {
    size_t row; // data row, counted from 1 as the grid's row numbers
    TranslateColumn column;
    std::string message;
};

// Kind name for a kind index 0..3, and back; names are compared exactly, case included.
std::optional<int> KindIndexOfName(const std::string& name);

// The first data row whose Data Type is neither empty nor one of the four kind names.
std::optional<TranslateCellProblem> FirstKindProblem(const std::vector<TranslateRowCells>& rows);

struct CollectedRows {
    std::vector<TMyRec> rows;
    std::optional<TranslateCellProblem> problem; // the first failing cell, if any
};

// Walks the rows until the first empty Address TCP and turns each into a TMyRec, stopping at the
// first cell that fails. A Mnemonic fails when it holds a character var.xml cannot carry (a
// control character other than tab, line feed and carriage return, U+FFFE, U+FFFF); the
// message names the character by its code and the row.
CollectedRows CollectTranslateRows(const std::vector<TranslateRowCells>& rows);

// What confirming does before writing: the kind check over every row, then collecting.
CollectedRows ConfirmTranslateRows(const std::vector<TranslateRowCells>& rows);

// Every cell that confirming would refuse, in the order it would meet them; a cell refused by
// the kind check is listed once, with the kind message.
std::vector<TranslateCellProblem> AllTranslateTableProblems(
    const std::vector<TranslateRowCells>& rows);

// Every cell of one table row that collecting would refuse, in column order, with the collect
// messages; `rowNumber` is put into each problem. An empty Address TCP is refused here too, as
// the row is taken to be part of the table.
std::vector<TranslateCellProblem> TranslateRowProblems(const TranslateRowCells& row,
                                                       size_t rowNumber);

// The row as collecting would save it; nothing when any of its cells would be refused.
std::optional<TMyRec> RecordOfCells(const TranslateRowCells& row);

// The cells the dialog shows for a row read from var.xml: a kind name for DATA_TYPE 1 to 4 and
// an empty cell for any other value; the other texts unchanged. A row whose reading stopped
// early keeps empty cells after the last attribute read.
TranslateRowCells CellsOfDocumentRow(const TranslateRowText& row);

} // namespace fabricor
