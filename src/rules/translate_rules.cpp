#include "rules/translate_rules.h"

#include "documents/integer_text.h"
#include "documents/xml_characters.h"

namespace fabricor {

const std::array<const char*, kTranslateColumnCount> kTranslateColumnTitles = {
    "N°", "Data Type", "Address TCP", "Address Device RTU", "Address RTU", "N° Point", "Mnemonic"};

namespace {

struct NumericRule {
    TranslateColumn column;
    int32_t maximum;
    const char* message;
};

constexpr std::array<NumericRule, 4> kNumericRules{{
    {TranslateColumn::AddressTcp, 65535, "Error!! Address TCP must be between 0 and 65535. "},
    {TranslateColumn::AddressDeviceRtu, 255, "Error!! Address Device RTU must be between 0 and 255. "},
    {TranslateColumn::AddressRtu, 65535, "Error!! Address RTU must be between 0 and 65535. "},
    {TranslateColumn::NPoint, 127, "Error!! N° Point must be between 0 and 127. "},
}};

constexpr const char* kDataTypeMessage =
    "Error!! Data Type must be Holding Register or Input Register. ";

std::optional<int32_t> InRange(const std::string& text, int32_t maximum) {
    auto value = ParseIntegerText(text);
    if (!value || *value < 0 || *value > maximum)
        return std::nullopt;
    return value;
}

bool HasKindProblem(const TranslateRowCells& row) {
    const auto& kind = CellOf(row, TranslateColumn::DataType);
    return !kind.empty() && !KindIndexOfName(kind);
}

std::string KindMessage(size_t row) {
    return "Error!! Type Data must be Holding Register or Input Register (Line " +
           std::to_string(row) + "). ";
}

// A mnemonic var.xml cannot carry: one holding a character XML cannot hold (named by its code,
// so that a control character is seen, not obeyed, wherever the message is shown).
std::optional<TranslateCellProblem> MnemonicProblem(const TranslateRowCells& row,
                                                    size_t rowNumber) {
    auto character = FirstCharacterXmlCannotCarry(CellOf(row, TranslateColumn::Mnemonic));
    if (!character)
        return std::nullopt;
    return TranslateCellProblem{rowNumber, TranslateColumn::Mnemonic,
                                "Error!! Mnemonic holds " + CharacterCode(*character) +
                                    ", a character var.xml cannot carry (Line " +
                                    std::to_string(rowNumber) + "). "};
}

// The record of a row whose cells passed: its kind index and its four numbers in rule order.
TMyRec RecordOf(int kind, const std::array<int32_t, 4>& numbers, const TranslateRowCells& row) {
    TMyRec rec;
    rec.DataType = static_cast<uint8_t>(kind + 1);
    rec.TcpAddress = static_cast<uint16_t>(numbers[0]);
    rec.RtuAddDev = static_cast<uint8_t>(numbers[1]);
    rec.RtuAddress = static_cast<uint16_t>(numbers[2]);
    rec.NPoint = static_cast<uint8_t>(numbers[3]);
    rec.Mnemonic = CellOf(row, TranslateColumn::Mnemonic);
    return rec;
}

// The rows that belong to the table: those above the first empty Address TCP.
size_t TableLength(const std::vector<TranslateRowCells>& rows) {
    size_t length = 0;
    while (length < rows.size() && !CellOf(rows[length], TranslateColumn::AddressTcp).empty())
        ++length;
    return length;
}

} // namespace

std::optional<int> KindIndexOfName(const std::string& name) {
    for (size_t i = 0; i < kDataTypeNames.size(); ++i)
        if (name == kDataTypeNames[i])
            return static_cast<int>(i);
    return std::nullopt;
}

std::optional<TranslateCellProblem> FirstKindProblem(const std::vector<TranslateRowCells>& rows) {
    for (size_t i = 0; i < rows.size(); ++i)
        if (HasKindProblem(rows[i]))
            return TranslateCellProblem{i + 1, TranslateColumn::DataType, KindMessage(i + 1)};
    return std::nullopt;
}

CollectedRows CollectTranslateRows(const std::vector<TranslateRowCells>& rows) {
    CollectedRows result;
    const size_t length = TableLength(rows);
    result.rows.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        const auto& row = rows[i];
        auto fail = [&](TranslateColumn column, std::string message) {
            result.problem = TranslateCellProblem{i + 1, column, std::move(message)};
            return std::move(result);
        };
        auto kind = KindIndexOfName(CellOf(row, TranslateColumn::DataType));
        if (!kind)
            return fail(TranslateColumn::DataType, kDataTypeMessage);
        std::array<int32_t, 4> numbers{};
        for (size_t n = 0; n < kNumericRules.size(); ++n) {
            auto value = InRange(CellOf(row, kNumericRules[n].column), kNumericRules[n].maximum);
            if (!value)
                return fail(kNumericRules[n].column, kNumericRules[n].message);
            numbers[n] = *value;
        }
        if (auto problem = MnemonicProblem(row, i + 1)) {
            result.problem = std::move(problem);
            return result;
        }
        result.rows.push_back(RecordOf(*kind, numbers, row));
    }
    return result;
}

CollectedRows ConfirmTranslateRows(const std::vector<TranslateRowCells>& rows) {
    if (auto problem = FirstKindProblem(rows)) {
        CollectedRows refused;
        refused.problem = std::move(problem);
        return refused;
    }
    return CollectTranslateRows(rows);
}

std::vector<TranslateCellProblem> AllTranslateTableProblems(
    const std::vector<TranslateRowCells>& rows) {
    std::vector<TranslateCellProblem> all;
    const size_t length = TableLength(rows);
    for (size_t i = 0; i < rows.size(); ++i) {
        const auto& row = rows[i];
        if (HasKindProblem(row))
            all.push_back({i + 1, TranslateColumn::DataType, KindMessage(i + 1)});
        if (i >= length)
            continue;
        if (CellOf(row, TranslateColumn::DataType).empty())
            all.push_back({i + 1, TranslateColumn::DataType, kDataTypeMessage});
        for (const auto& rule : kNumericRules)
            if (!InRange(CellOf(row, rule.column), rule.maximum))
                all.push_back({i + 1, rule.column, rule.message});
        if (auto problem = MnemonicProblem(row, i + 1))
            all.push_back(std::move(*problem));
    }
    return all;
}

std::vector<TranslateCellProblem> TranslateRowProblems(const TranslateRowCells& row,
                                                       size_t rowNumber) {
    std::vector<TranslateCellProblem> problems;
    if (!KindIndexOfName(CellOf(row, TranslateColumn::DataType)))
        problems.push_back({rowNumber, TranslateColumn::DataType, kDataTypeMessage});
    for (const auto& rule : kNumericRules)
        if (!InRange(CellOf(row, rule.column), rule.maximum))
            problems.push_back({rowNumber, rule.column, rule.message});
    if (auto problem = MnemonicProblem(row, rowNumber))
        problems.push_back(std::move(*problem));
    return problems;
}

std::optional<TMyRec> RecordOfCells(const TranslateRowCells& row) {
    auto kind = KindIndexOfName(CellOf(row, TranslateColumn::DataType));
    if (!kind)
        return std::nullopt;
    std::array<int32_t, 4> numbers{};
    for (size_t n = 0; n < kNumericRules.size(); ++n) {
        auto value = InRange(CellOf(row, kNumericRules[n].column), kNumericRules[n].maximum);
        if (!value)
            return std::nullopt;
        numbers[n] = *value;
    }
    if (MnemonicProblem(row, 0))
        return std::nullopt;
    return RecordOf(*kind, numbers, row);
}

TranslateRowCells CellsOfDocumentRow(const TranslateRowText& row) {
    TranslateRowCells cells;
    for (size_t a = 0; a < row.cells.size() && a < cells.size(); ++a) {
        if (a == 0) {
            auto kind = DecodeDataType(row.cells[0]);
            if (kind)
                cells[0] = kDataTypeNames[static_cast<size_t>(*kind)];
        } else {
            cells[a] = row.cells[a];
        }
    }
    return cells;
}

} // namespace fabricor
