// Translate table CSV reader on any bytes: a table (at most 2000 rows, every one as the editor
// would collect it) or at least one problem, never both; and a table read survives an export and
// a second import unchanged, whatever the separator.

#include "fuzz_support.h"
#include "rules/translate_csv.h"

#include <cstdint>
#include <string>

using namespace fabricor;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    auto imported = TranslateTableFromCsv(bytes);
    if (!imported.ok()) {
        FUZZ_CHECK(imported.rows.empty());
        for (const auto& problem : imported.problems)
            FUZZ_CHECK(!problem.message.empty() && problem.line >= 1);
        return 0;
    }
    FUZZ_CHECK(imported.rows.size() <= kMaxTranslateRows);
    for (const auto& rec : imported.rows)
        FUZZ_CHECK(rec.DataType >= 1 && rec.DataType <= 4 && rec.NPoint <= 127);
    for (char separator : {',', ';', '\t'}) {
        const std::string csv = TranslateTableToCsv(imported.rows, {separator, separator == ';'});
        auto again = TranslateTableFromCsv(csv);
        FUZZ_CHECK(again.ok() && again.rows == imported.rows);
        FUZZ_CHECK(TranslateTableToCsv(again.rows, {separator, separator == ';'}) == csv);
    }
    return 0;
}
