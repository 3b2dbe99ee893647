#pragma once

#include "base/atomic_file.h"
#include "base/status.h"
#include "documents/document_read.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fabricor {

inline constexpr size_t kMaxTranslateRows = 2000;
inline constexpr const char* kTranslateTableRoot = "TCP_TO_RTU";
inline constexpr const char* kTranslateRowName = "row";

// The six attributes of a row, in the order they are written and read.
enum class RowAttribute { DATA_TYPE, TCP_ADDRESS, RTU_ADD_DEV, RTU_ADDRESS, N_POINT, MNEMONIC };
inline constexpr size_t kRowAttributeCount = 6;
extern const std::array<const char*, kRowAttributeCount> kRowAttributeNames;

// Display names of the four data types; the document stores codes 1 to 4.
extern const std::array<const char*, 4> kDataTypeNames; // "Coil Status", ...

// One translate-table row in memory.
struct TMyRec {
    uint8_t DataType = 0;
    uint16_t TcpAddress = 0;
    uint8_t RtuAddDev = 0;
    uint16_t RtuAddress = 0;
    uint8_t NPoint = 0;
    std::string Mnemonic;

    bool operator==(const TMyRec&) const = default;
};

// A row as read: the texts of the attributes found, in attribute order. Only the last row of a
// reading that stopped early can hold fewer than six.
struct TranslateRowText {
    std::vector<std::string> cells;
    bool complete() const { return cells.size() == kRowAttributeCount; }
};

struct TranslateTableDocument {
    ReadOutcome outcome = ReadOutcome::NoFile;
    std::string error;
    bool unreadable = false; // see XmlLoad
    std::vector<TranslateRowText> rows;
    // Where reading stopped at an absent attribute; nothing when every row was read whole.
    struct Stop {
        size_t row; // 0-based
        RowAttribute attribute;
    };
    std::optional<Stop> stoppedAt;
};

// The first node of the document is the table whatever its name; each of its child nodes is a
// row whatever its name; at most the first 2000 rows are read. An absent attribute ends the
// reading there, keeping everything read before it.
TranslateTableDocument ReadTranslateTable(const std::string& path);
TranslateTableDocument ReadTranslateTable(const DocumentFile& file);
// The same reading of the document's bytes held in memory; `name` stands for the path.
TranslateTableDocument ReadTranslateTableText(std::string_view bytes, const std::string& name);

// Replaces the file with a fresh one-line document: the root and one row per entry. A mnemonic
// holding a character XML cannot carry is refused, naming its row and the character, and
// nothing is written.
Status WriteTranslateTable(const std::string& path, const std::vector<TMyRec>& rows,
                           FileOutput& output = SystemFileOutput());

// DATA_TYPE text as a kind index 0..3 (codes 1..4); nothing for any other text.
std::optional<int> DecodeDataType(const std::string& text);

} // namespace fabricor
