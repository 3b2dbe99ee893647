#include "documents/var.h"

#include "documents/integer_text.h"
#include "documents/xml_characters.h"
#include "documents/xml_document.h"

namespace fabricor {

const std::array<const char*, kRowAttributeCount> kRowAttributeNames = {
    "DATA_TYPE", "TCP_ADDRESS", "RTU_ADD_DEV", "RTU_ADDRESS", "N_POINT", "MNEMONIC"};

const std::array<const char*, 4> kDataTypeNames = {"Coil Status", "Input Status",
                                                   "Holding Register", "Input Register"};

namespace {

TranslateTableDocument ReadTable(const pugi::xml_document& document, const XmlLoad& loaded) {
    TranslateTableDocument result;
    result.outcome = loaded.outcome;
    result.error = loaded.error;
    result.unreadable = loaded.unreadable;
    if (loaded.outcome != ReadOutcome::Read)
        return result;

    auto table = FirstDocumentNode(document);
    size_t index = 0;
    for (auto row = table.first_child(); row && index < kMaxTranslateRows;
         row = row.next_sibling(), ++index) {
        TranslateRowText text;
        for (size_t a = 0; a < kRowAttributeCount; ++a) {
            auto attribute = row.attribute(kRowAttributeNames[a]);
            if (!attribute) {
                if (!text.cells.empty())
                    result.rows.push_back(std::move(text));
                result.stoppedAt = TranslateTableDocument::Stop{index, static_cast<RowAttribute>(a)};
                return result;
            }
            text.cells.emplace_back(attribute.value());
        }
        result.rows.push_back(std::move(text));
    }
    return result;
}

} // namespace

TranslateTableDocument ReadTranslateTable(const std::string& path) {
    return ReadTranslateTable(ReadDocumentFile(path));
}

TranslateTableDocument ReadTranslateTable(const DocumentFile& file) {
    pugi::xml_document document;
    auto loaded = LoadXmlFile(file, document);
    return ReadTable(document, loaded);
}

TranslateTableDocument ReadTranslateTableText(std::string_view bytes, const std::string& name) {
    pugi::xml_document document;
    auto loaded = LoadXmlText(bytes, name, document);
    return ReadTable(document, loaded);
}

Status WriteTranslateTable(const std::string& path, const std::vector<TMyRec>& rows,
                           FileOutput& output) {
    for (size_t i = 0; i < rows.size(); ++i)
        if (auto character = FirstCharacterXmlCannotCarry(rows[i].Mnemonic))
            return Status::Error(StatusCode::InvalidArgument, path,
                                 "row " + std::to_string(i + 1) + " MNEMONIC holds " +
                                     CharacterCode(*character) +
                                     ", a character XML cannot carry; nothing written");
    pugi::xml_document document;
    auto root = document.append_child(kTranslateTableRoot);
    for (const auto& rec : rows) {
        auto row = root.append_child(kTranslateRowName);
        const std::string values[] = {CanonicalDecimal(rec.DataType), CanonicalDecimal(rec.TcpAddress),
                                      CanonicalDecimal(rec.RtuAddDev),
                                      CanonicalDecimal(rec.RtuAddress), CanonicalDecimal(rec.NPoint),
                                      rec.Mnemonic};
        static_assert(std::size(values) == kRowAttributeCount);
        for (size_t a = 0; a < kRowAttributeCount; ++a)
            row.append_attribute(kRowAttributeNames[a]).set_value(values[a].c_str());
    }
    return SaveXmlDocument(path, document, output);
}

std::optional<int> DecodeDataType(const std::string& text) {
    auto value = ParseIntegerText(text);
    if (!value || *value < 1 || *value > 4)
        return std::nullopt;
    return *value - 1;
}

} // namespace fabricor
