// var.xml reader on any bytes: one of its outcomes, never more than 2000 rows, only the last row
// of a reading that stopped can be short, and rows that the editor would accept survive a save.

#include "documents/integer_text.h"
#include "documents/var.h"
#include "documents/xml_characters.h"
#include "fuzz_support.h"

#include <cstdint>
#include <string>

using namespace fabricor;

namespace {

// A cell the editor's save accepts as a number in [0, limit], or nothing.
std::optional<uint32_t> InRange(const std::string& text, int32_t limit) {
    auto value = ParseIntegerText(text);
    if (!value || *value < 0 || *value > limit)
        return std::nullopt;
    return static_cast<uint32_t>(*value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto input = fuzz::ScratchFolder() / "var.xml";
    fuzz::WriteBytes(input, std::string_view(reinterpret_cast<const char*>(data), size));

    auto table = ReadTranslateTable(input.string());
    FUZZ_CHECK(table.outcome != ReadOutcome::NoFile);
    if (table.outcome == ReadOutcome::NotWellFormed) {
        FUZZ_CHECK(!table.error.empty());
        FUZZ_CHECK(table.rows.empty());
        return 0;
    }
    FUZZ_CHECK(table.rows.size() <= kMaxTranslateRows);
    for (size_t i = 0; i < table.rows.size(); ++i) {
        const auto& row = table.rows[i];
        FUZZ_CHECK(!row.cells.empty() && row.cells.size() <= kRowAttributeCount);
        if (i + 1 < table.rows.size())
            FUZZ_CHECK(row.complete());
    }
    if (!table.rows.empty() && !table.rows.back().complete())
        FUZZ_CHECK(table.stoppedAt && table.stoppedAt->row == table.rows.size() - 1 &&
                   static_cast<size_t>(table.stoppedAt->attribute) == table.rows.back().cells.size());
    if (table.stoppedAt && (table.rows.empty() || table.rows.back().complete()))
        FUZZ_CHECK(table.stoppedAt->row == table.rows.size() &&
                   table.stoppedAt->attribute == RowAttribute::DATA_TYPE);

    // Rows the editor's save would take, in the form it writes them.
    std::vector<TMyRec> accepted;
    for (const auto& row : table.rows) {
        if (!row.complete())
            break;
        auto kind = DecodeDataType(row.cells[0]);
        auto tcp = InRange(row.cells[1], 65535);
        auto device = InRange(row.cells[2], 255);
        auto rtu = InRange(row.cells[3], 65535);
        auto points = InRange(row.cells[4], 127);
        if (!kind || !tcp || !device || !rtu || !points)
            break;
        if (FirstCharacterXmlCannotCarry(row.cells[5]))
            break; // the editor refuses a mnemonic no XML document can carry

        accepted.push_back(TMyRec{static_cast<uint8_t>(*kind + 1), static_cast<uint16_t>(*tcp),
                                  static_cast<uint8_t>(*device), static_cast<uint16_t>(*rtu),
                                  static_cast<uint8_t>(*points), row.cells[5]});
    }
    auto saved = fuzz::ScratchFolder() / "saved.xml";
    FUZZ_CHECK(WriteTranslateTable(saved.string(), accepted).ok());
    auto again = ReadTranslateTable(saved.string());
    FUZZ_CHECK(again.outcome == ReadOutcome::Read && !again.stoppedAt);
    FUZZ_CHECK(again.rows.size() == accepted.size());
    for (size_t i = 0; i < accepted.size(); ++i) {
        const auto& cells = again.rows[i].cells;
        const auto& rec = accepted[i];
        FUZZ_CHECK(cells[0] == CanonicalDecimal(rec.DataType));
        FUZZ_CHECK(cells[1] == CanonicalDecimal(rec.TcpAddress));
        FUZZ_CHECK(cells[2] == CanonicalDecimal(rec.RtuAddDev));
        FUZZ_CHECK(cells[3] == CanonicalDecimal(rec.RtuAddress));
        FUZZ_CHECK(cells[4] == CanonicalDecimal(rec.NPoint));
        FUZZ_CHECK(cells[5] == rec.Mnemonic);
    }
    return 0;
}
