#pragma once

#include "editors/translate_rules.h"

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
