#pragma once

#include "rules/translate_rules.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fabricor {

// A rectangular block of cell texts, row by row, as it travels through the clipboard.
using TextBlock = std::vector<std::vector<std::string>>;

// Tab-separated text as spreadsheets put it on the clipboard: cells separated by tabs, rows by
// CR LF, LF or CR; a cell that begins with a quote is quoted ("" inside stands for one quote)
// and may then hold tabs and line breaks. One trailing line break ends the last row, it does
// not start an empty one. Rows shorter than the longest are padded with empty cells.
TextBlock ParseTabText(std::string_view text);

// The opposite way: tabs between cells, CR LF after every row; a cell holding a tab, a line
// break or a quote is quoted.
std::string FormatTabText(const TextBlock& block);

// What a pasted text becomes in a translate table column: a kind name matched without regard to
// case and surrounding blanks becomes the kind name; numbers lose surrounding blanks (the
// editor's checks read them as typed); a mnemonic is kept as it is.
std::string PastedTranslateCell(TranslateColumn column, std::string_view text);

// The text filling down puts into `column` of the row below `above`: Address TCP and Address
// RTU count on by the row's N° Point when the whole row is filled and valid (consecutive blocks),
// every other cell is a copy.
std::string FilledDownTranslateCell(TranslateColumn column, const TranslateRowCells& above);

} // namespace fabricor

namespace fabricor {

// A cell of the table: data row from 1, column as the grid numbers them.
struct TranslateCellPlace {
    size_t row = 0;
    TranslateColumn column = TranslateColumn::DataType;
    bool operator==(const TranslateCellPlace&) const = default;
};

// The next cell after `after`, row by row and wrapping round, whose text holds `needle` without
// regard to case or, when the needle is a number, whose number is the same ("0x10" finds "16").
// `after` itself is looked at last.
std::optional<TranslateCellPlace> FindTranslateCell(const std::vector<TranslateRowCells>& rows,
                                                    std::string_view needle,
                                                    TranslateCellPlace after);

// "Go to": a row number, or a kind name and a TCP address ("holding register 105") for the first
// row of that kind whose TCP range (Address TCP to Address TCP + N° Point - 1) holds the address.
std::optional<size_t> GoToTranslateRow(const std::vector<TranslateRowCells>& rows,
                                       std::string_view target);

} // namespace fabricor
