#include "rules/translate_block.h"

#include "documents/integer_text.h"

#include <algorithm>

namespace fabricor {

namespace {

std::string_view Trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) {
                   return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
               };
               return lower(x) == lower(y);
           });
}

} // namespace

TextBlock ParseTabText(std::string_view text) {
    TextBlock block;
    std::vector<std::string> row;
    std::string cell;
    size_t i = 0;
    bool rowOpen = false;
    const auto endCell = [&] {
        row.push_back(std::move(cell));
        cell.clear();
    };
    const auto endRow = [&] {
        endCell();
        block.push_back(std::move(row));
        row.clear();
        rowOpen = false;
    };
    while (i < text.size()) {
        rowOpen = true;
        if (cell.empty() && text[i] == '"') {
            // A quoted cell: up to the lone closing quote.
            size_t j = i + 1;
            std::string quoted;
            bool closed = false;
            while (j < text.size()) {
                if (text[j] == '"') {
                    if (j + 1 < text.size() && text[j + 1] == '"') {
                        quoted += '"';
                        j += 2;
                        continue;
                    }
                    closed = true;
                    ++j;
                    break;
                }
                quoted += text[j++];
            }
            if (closed) {
                cell = std::move(quoted);
                i = j;
                // Whatever follows the closing quote up to the separator belongs to the cell.
                while (i < text.size() && text[i] != '\t' && text[i] != '\r' && text[i] != '\n')
                    cell += text[i++];
                if (i >= text.size())
                    break;
            }
            // An unclosed quote is an ordinary character.
        }
        const char c = text[i];
        if (c == '\t') {
            endCell();
            ++i;
        } else if (c == '\r' || c == '\n') {
            endRow();
            i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
        } else {
            cell += c;
            ++i;
        }
    }
    if (rowOpen)
        endRow();
    size_t width = 0;
    for (const auto& r : block)
        width = std::max(width, r.size());
    for (auto& r : block)
        r.resize(width);
    return block;
}

std::string FormatTabText(const TextBlock& block) {
    std::string text;
    for (const auto& row : block) {
        for (size_t c = 0; c < row.size(); ++c) {
            if (c > 0)
                text += '\t';
            const std::string& cell = row[c];
            if (cell.find_first_of("\t\r\n\"") == std::string::npos) {
                text += cell;
                continue;
            }
            text += '"';
            for (char ch : cell)
                text += ch == '"' ? std::string("\"\"") : std::string(1, ch);
            text += '"';
        }
        text += "\r\n";
    }
    return text;
}

std::string PastedTranslateCell(TranslateColumn column, std::string_view text) {
    switch (column) {
    case TranslateColumn::DataType:
        for (const char* name : kDataTypeNames)
            if (SameIgnoringCase(Trimmed(text), name))
                return name;
        return std::string(Trimmed(text));
    case TranslateColumn::Mnemonic:
        return std::string(text);
    default:
        return std::string(Trimmed(text));
    }
}

std::string FilledDownTranslateCell(TranslateColumn column, const TranslateRowCells& above) {
    const std::string& copy = CellOf(above, column);
    if (column != TranslateColumn::AddressTcp && column != TranslateColumn::AddressRtu)
        return copy;
    auto record = RecordOfCells(above);
    if (!record)
        return copy;
    const long long start =
        column == TranslateColumn::AddressTcp ? record->TcpAddress : record->RtuAddress;
    // Past 65535 the result is still written: the checks then show the row.
    return CanonicalDecimal(start + record->NPoint);
}

} // namespace fabricor

namespace fabricor {

namespace {

bool HoldsIgnoringCase(std::string_view text, std::string_view needle) {
    if (needle.size() > text.size())
        return false;
    for (size_t i = 0; i + needle.size() <= text.size(); ++i)
        if (SameIgnoringCase(text.substr(i, needle.size()), needle))
            return true;
    return false;
}

} // namespace

std::optional<TranslateCellPlace> FindTranslateCell(const std::vector<TranslateRowCells>& rows,
                                                    std::string_view needle,
                                                    TranslateCellPlace after) {
    const std::string_view trimmed = Trimmed(needle);
    if (trimmed.empty() || rows.empty())
        return std::nullopt;
    const auto number = ParseIntegerText(trimmed);
    const size_t columns = std::tuple_size_v<TranslateRowCells>;
    const size_t cells = rows.size() * columns;
    const size_t start =
        std::min(after.row - 1, rows.size() - 1) * columns + static_cast<size_t>(after.column) - 1;
    for (size_t step = 1; step <= cells; ++step) {
        const size_t at = (start + step) % cells;
        const std::string& text = rows[at / columns][at % columns];
        if (text.empty())
            continue;
        const auto value = number ? ParseIntegerText(text) : std::nullopt;
        if (HoldsIgnoringCase(text, trimmed) || (value && *value == *number))
            return TranslateCellPlace{at / columns + 1,
                                      static_cast<TranslateColumn>(at % columns + 1)};
    }
    return std::nullopt;
}

std::optional<size_t> GoToTranslateRow(const std::vector<TranslateRowCells>& rows,
                                       std::string_view target) {
    target = Trimmed(target);
    if (auto row = ParseIntegerText(target)) {
        if (*row >= 1 && static_cast<size_t>(*row) <= rows.size())
            return static_cast<size_t>(*row);
        return std::nullopt;
    }
    const size_t split = target.find_last_of(" \t");
    if (split == std::string_view::npos)
        return std::nullopt;
    const std::string kind =
        PastedTranslateCell(TranslateColumn::DataType, target.substr(0, split));
    const auto address = ParseIntegerText(target.substr(split + 1));
    if (!address || !KindIndexOfName(kind))
        return std::nullopt;
    for (size_t r = 0; r < rows.size(); ++r) {
        auto record = RecordOfCells(rows[r]);
        if (record && CellOf(rows[r], TranslateColumn::DataType) == kind &&
            *address >= record->TcpAddress && *address < record->TcpAddress + record->NPoint)
            return r + 1;
    }
    return std::nullopt;
}

} // namespace fabricor
