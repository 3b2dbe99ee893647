#include "image/image_decode.h"

#include "base/atomic_file.h"
#include "base/folders.h"
#include "base/project_files.h"
#include "base/text_encoding.h"
#include "documents/integer_text.h"
#include "documents/xml_characters.h"
#include "platform/files.h"
#include "platform/process_info.h"
#include "platform/system_error.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>

namespace fabricor {
namespace {

uint16_t Load16(const ConfigurationImage& image, size_t offset) {
    return static_cast<uint16_t>(FieldValue(image, offset, FieldKind::Word));
}

// The community name up to its first zero byte, as UTF-8.
std::string CommunityName(const ConfigurationImage& image, size_t offset) {
    std::string bytes;
    for (size_t i = 0; i < kCommunityNameSize && image[offset + i] != 0; ++i)
        bytes += static_cast<char>(image[offset + i]);
    return Windows1252ToUtf8(bytes);
}

// How a field's value is shown in a comparison.
std::string ShowField(const ConfigurationImage& image, const ParameterField& field) {
    switch (field.kind) {
    case FieldKind::Byte:
    case FieldKind::Flag:
        return std::to_string(image[field.offset]);
    case FieldKind::Word:
        return std::to_string(Load16(image, field.offset));
    case FieldKind::Name: {
        std::string shown = "\"" + CommunityName(image, field.offset) + "\"";
        // Bytes after the terminating zero are not part of the name but still differ.
        bool trailing = false;
        bool ended = false;
        for (size_t i = 0; i < kCommunityNameSize; ++i) {
            if (image[field.offset + i] == 0)
                ended = true;
            else if (ended || i == kCommunityNameSize - 1)
                trailing = true;
        }
        if (trailing) {
            shown += " (bytes";
            for (size_t i = 0; i < kCommunityNameSize; ++i) {
                char hex[4];
                std::snprintf(hex, sizeof hex, " %02X", image[field.offset + i]);
                shown += hex;
            }
            shown += ")";
        }
        return shown;
    }
    }
    return {};
}

bool SlotEmpty(const ConfigurationImage& image, size_t row) {
    for (size_t i = 0; i < kTranslateRecordSize; ++i)
        if (image[row * kTranslateRecordSize + i] != 0)
            return false;
    return true;
}

unsigned RecordValue(const ConfigurationImage& image, size_t row, const RecordField& field) {
    return FieldValue(image, RecordOffset(row, field), field.kind);
}

unsigned RecordValueOf(const ConfigurationImage& image, size_t row, RowAttribute attribute) {
    for (const auto& field : kRecordLayout)
        if (field.attribute == attribute)
            return RecordValue(image, row, field);
    return 0; // the mnemonic: not in the image
}

std::string ShowRecord(const ConfigurationImage& image, size_t row) {
    if (SlotEmpty(image, row))
        return "no row";
    std::string shown;
    for (const auto& field : kRecordLayout) {
        if (!shown.empty())
            shown += ' ';
        shown += std::string(NameOf(field)) + ' ' + std::to_string(RecordValue(image, row, field));
    }
    return shown;
}

// Bytes no document sets: between the table and the parameter block, and after it.
bool ReservedByte(size_t offset) {
    return (offset >= kImageRows * kTranslateRecordSize && offset < image_offset::IpAddress) ||
           offset == image_offset::BuildDate + 2 || offset == image_offset::BuildDate + 3 ||
           offset > image_offset::EnableGateway;
}

} // namespace

DecodedProject DecodeImage(const ConfigurationImage& image) {
    DecodedProject decoded;
    for (const auto& field : kParameterLayout) {
        std::string& text = decoded.pargen[Index(field.parameter)];
        switch (field.kind) {
        case FieldKind::Byte:
            text = std::to_string(image[field.offset]);
            break;
        case FieldKind::Word:
            text = std::to_string(Load16(image, field.offset));
            break;
        case FieldKind::Name:
            text = CommunityName(image, field.offset);
            break;
        case FieldKind::Flag:
            text = image[field.offset] == 1 ? "1" : "0";
            break;
        }
    }
    // No rate selected is written "-1" by the editor, which the builder stores as 255.
    if (image[image_offset::Baud] == kNoBaudRateByte)
        decoded.pargen[Index(GeneralParameter::BAUD)] = std::to_string(kNoBaudRateIndex);
    for (size_t row = 0; row < kImageRows && !SlotEmpty(image, row); ++row) {
        auto value = [&](RowAttribute attribute) { return RecordValueOf(image, row, attribute); };
        TMyRec rec;
        rec.DataType = static_cast<uint8_t>(value(RowAttribute::DATA_TYPE));
        rec.TcpAddress = static_cast<uint16_t>(value(RowAttribute::TCP_ADDRESS));
        rec.RtuAddDev = static_cast<uint8_t>(value(RowAttribute::RTU_ADD_DEV));
        rec.RtuAddress = static_cast<uint16_t>(value(RowAttribute::RTU_ADDRESS));
        rec.NPoint = static_cast<uint8_t>(value(RowAttribute::N_POINT));
        decoded.rows.push_back(rec);
    }
    decoded.timeWord = Load16(image, image_offset::BuildTime);
    decoded.dateWord = Load16(image, image_offset::BuildDate);
    return decoded;
}

std::string DescribeBuildWords(uint16_t timeWord, uint16_t dateWord) {
    int hour = timeWord & 0x1F;
    int minute = (timeWord >> 5) & 0x3F;
    int second = (timeWord >> 11) * 2;
    int year = dateWord & 0x7F;
    int month = (dateWord >> 7) & 0x0F;
    int day = dateWord >> 11;
    char text[96];
    if (hour > 23 || minute > 59 || second > 59 || year > 99 || month < 1 || month > 12 ||
        day < 1) {
        std::snprintf(text, sizeof text, "not a valid time (time word %u, date word %u)",
                      unsigned{timeWord}, unsigned{dateWord});
    } else {
        std::snprintf(text, sizeof text, "%02d:%02d:%02d on 20%02d-%02d-%02d", hour, minute, second,
                      year, month, day);
    }
    return text;
}

namespace {

using Said = std::map<size_t, std::string>;

Said SaidAt(const std::vector<UnheldValue>& unheld) {
    Said said;
    for (const auto& value : unheld)
        said.emplace(value.offset, value.said);
    return said;
}

const std::string* SaidFor(const Said& said, size_t offset) {
    auto found = said.find(offset);
    return found == said.end() ? nullptr : &found->second;
}

bool SaysAnythingIn(const Said& said, size_t first, size_t end) {
    auto found = said.lower_bound(first);
    return found != said.end() && found->first < end;
}

// The line for one field, `field` naming it ("var.xml row 2 RTU_ADD_DEV"), or nothing when the
// two sides say the same. `shown` is what each image holds there; `said` what a project says
// where its image cannot hold it.
std::optional<std::string> FieldLine(const std::string& field, const std::string& nameA,
                                     const std::string& nameB, const std::string& shownA,
                                     const std::string& shownB, bool storedEqual,
                                     const std::string* saidA, const std::string* saidB) {
    if (!saidA && !saidB) {
        if (storedEqual)
            return std::nullopt;
        return field + ": " + nameA + " " + shownA + ", " + nameB + " " + shownB;
    }
    if (saidA && saidB && *saidA == *saidB)
        return std::nullopt;
    if (storedEqual && !saidB)
        return field + ": " + nameA + " " + *saidA + ", stored as " + shownA;
    if (storedEqual && !saidA)
        return field + ": " + nameB + " " + *saidB + ", stored as " + shownB;
    auto side = [](const std::string& name, const std::string* said, const std::string& shown) {
        return name + " " + (said ? *said + " (stored as " + shown + ")" : shown);
    };
    return field + ": " + side(nameA, saidA, shownA) + ", " + side(nameB, saidB, shownB);
}

} // namespace

std::vector<UnheldValue> ValuesTheImageCannotHold(const std::string& varPath,
                                                  const std::string& pargenPath) {
    std::vector<UnheldValue> unheld;
    const auto table = ReadTranslateTable(varPath);
    for (size_t row = 0; row < table.rows.size() && row < kImageRows; ++row) {
        const auto& cells = table.rows[row].cells;
        for (const auto& field : kRecordLayout) {
            const auto cell = static_cast<size_t>(field.attribute);
            if (cell >= cells.size())
                break;
            const auto value = ParseIntegerText(cells[cell]);
            if (value && (*value < 0 || *value > FieldLimit(field.kind)))
                unheld.push_back({RecordOffset(row, field), CanonicalDecimal(*value)});
        }
    }
    const auto parameters = ReadGeneralParameters(pargenPath);
    for (const auto& field : kParameterLayout) {
        const ElementText& text = parameters[field.parameter];
        if (!text)
            continue;
        if (field.kind == FieldKind::Name) {
            ConfigurationImage stored{};
            const auto bytes = CopyCommunityName(*text);
            std::copy(bytes.begin(), bytes.end(), stored.begin() + static_cast<long>(field.offset));
            if (CommunityName(stored, field.offset) != *text)
                unheld.push_back({field.offset, "\"" + *text + "\""});
            continue;
        }
        if (field.kind == FieldKind::Flag)
            continue; // any text is a stop-bit setting: "1" or not
        const auto value = ParseIntegerText(*text);
        if (!value)
            continue;
        const int64_t limit = FieldLimit(field.kind);
        // No rate selected is written -1 and stored as 255, which decodes to -1 again.
        const bool noRate = field.parameter == GeneralParameter::BAUD && *value == kNoBaudRateIndex;
        if ((*value < 0 || *value > limit) && !noRate)
            unheld.push_back({field.offset, CanonicalDecimal(*value)});
    }
    std::sort(unheld.begin(), unheld.end(),
              [](const UnheldValue& x, const UnheldValue& y) { return x.offset < y.offset; });
    return unheld;
}

std::vector<std::string> CompareImages(const ConfigurationImage& a, const ConfigurationImage& b,
                                       std::string_view nameA, std::string_view nameB) {
    return CompareSides({a, nameA, {}}, {b, nameB, {}});
}

std::vector<std::string> CompareSides(const ComparedImage& sideA, const ComparedImage& sideB) {
    const ConfigurationImage& a = sideA.image;
    const ConfigurationImage& b = sideB.image;
    const Said saidA = SaidAt(sideA.unheld);
    const Said saidB = SaidAt(sideB.unheld);
    std::vector<std::string> lines;
    const std::string sa(sideA.name);
    const std::string sb(sideB.name);
    auto add = [&](std::optional<std::string> line) {
        if (line)
            lines.push_back(std::move(*line));
    };
    for (size_t row = 0; row < kImageRows; ++row) {
        const size_t at = row * kTranslateRecordSize;
        const size_t end = at + kTranslateRecordSize;
        const bool said = SaysAnythingIn(saidA, at, end) || SaysAnythingIn(saidB, at, end);
        if (!said &&
            std::equal(a.begin() + static_cast<long>(at), a.begin() + static_cast<long>(end),
                       b.begin() + static_cast<long>(at)))
            continue;
        const std::string prefix = "var.xml row " + std::to_string(row + 1);
        if (!said && (SlotEmpty(a, row) || SlotEmpty(b, row))) {
            lines.push_back(prefix + ": " + sa + " " + ShowRecord(a, row) + ", " + sb + " " +
                            ShowRecord(b, row));
            continue;
        }
        for (const auto& field : kRecordLayout) {
            const unsigned va = RecordValue(a, row, field);
            const unsigned vb = RecordValue(b, row, field);
            add(FieldLine(prefix + " " + NameOf(field), sa, sb, std::to_string(va), std::to_string(vb),
                          va == vb, SaidFor(saidA, at + field.offset),
                          SaidFor(saidB, at + field.offset)));
        }
    }
    for (const auto& field : kParameterLayout) {
        const size_t width = FieldWidth(field.kind);
        const bool equal = std::equal(a.begin() + static_cast<long>(field.offset),
                                      a.begin() + static_cast<long>(field.offset + width),
                                      b.begin() + static_cast<long>(field.offset));
        add(FieldLine(std::string("pargen.xml ") + kGeneralParameterNames[Index(field.parameter)],
                      sa, sb, ShowField(a, field), ShowField(b, field), equal,
                      SaidFor(saidA, field.offset), SaidFor(saidB, field.offset)));
    }
    for (size_t offset = 0; offset < kImageSize; ++offset)
        if (ReservedByte(offset) && a[offset] != b[offset])
            lines.push_back("image offset " + std::to_string(offset) +
                            " (no document field): " + sa + " " + std::to_string(a[offset]) + ", " +
                            sb + " " + std::to_string(b[offset]));
    return lines;
}

Status WriteDecodedProject(const std::string& folder, const ConfigurationImage& image,
                           std::vector<std::string>& notes) {
    const DecodedProject decoded = DecodeImage(image);
    for (size_t i = 0; i < kGeneralParameterCount; ++i)
        if (auto character = FirstCharacterXmlCannotCarry(decoded.pargen[i]))
            return Status::Error(std::string("the image's ") + kGeneralParameterNames[i] +
                                 " holds " + CharacterCode(*character) +
                                 ", a character pargen.xml cannot carry; nothing written");
    namespace fs = std::filesystem;
    const fs::path dir = platform::PathOfUtf8(folder);
    const fs::path pargen = ProjectFiles::GeneralParametersIn(dir);
    const fs::path var = ProjectFiles::TranslateTableIn(dir);
    std::error_code ec;
    if (fs::symlink_status(dir, ec).type() == fs::file_type::not_found)
        fs::create_directory(dir, ec); // the folder itself, not its parents
    if (!fs::is_directory(dir, ec))
        return Status::Error(folder + ": not a folder" + (ec ? " (" + ec.message() + ")" : ""));
    for (const auto& target : {pargen, var})
        if (fs::symlink_status(target, ec).type() != fs::file_type::not_found)
            return Status::Error(platform::Utf8Name(target) +
                                 ": already exists; decode writes only into a folder without a "
                                 "project");

    // Both documents go to temporaries first; they take their names only when both are whole.
    const std::string tag = ".decode" + std::to_string(platform::CurrentProcessId());
    const fs::path pargenTemporary = dir / ("." + platform::Utf8Name(pargen.filename()) + tag);
    const fs::path varTemporary = dir / ("." + platform::Utf8Name(var.filename()) + tag);
    auto cleanUp = [&] {
        fs::remove(pargenTemporary, ec);
        fs::remove(varTemporary, ec);
    };
    if (auto written = WriteGeneralParameters(platform::Utf8Name(pargenTemporary), decoded.pargen);
        !written.ok()) {
        cleanUp();
        return written;
    }
    if (auto written = WriteTranslateTable(platform::Utf8Name(varTemporary), decoded.rows);
        !written.ok()) {
        cleanUp();
        return written;
    }

    // What the documents give back when built again, the build words aside.
    ConfigurationImage rebuilt{};
    FixedClock clock(LocalTime{});
    auto report = BuildConfigurationImage(platform::Utf8Name(varTemporary),
                                          platform::Utf8Name(pargenTemporary), clock, rebuilt);
    ConfigurationImage expected = image;
    for (size_t i = 0; i < 4; ++i)
        expected[image_offset::BuildTime + i] = rebuilt[image_offset::BuildTime + i];
    if (!report.complete)
        notes.push_back("the written documents do not build completely: " + report.description);
    for (const auto& line : CompareImages(expected, rebuilt, "image", "project"))
        notes.push_back(line);

    // A second name never replaces: a pargen.xml or var.xml that appeared meanwhile stays.
    if (int error =
            platform::AddName(platform::Utf8Name(pargenTemporary), platform::Utf8Name(pargen))) {
        cleanUp();
        return Status::Error(platform::Utf8Name(pargen) + ": " + platform::SystemErrorText(error));
    }
    if (int error = platform::AddName(platform::Utf8Name(varTemporary), platform::Utf8Name(var))) {
        fs::remove(pargen, ec);
        cleanUp();
        return Status::Error(platform::Utf8Name(var) + ": " + platform::SystemErrorText(error));
    }
    cleanUp();
    // A project as New project makes it: its bin folder is there, so it builds at once.
    const std::string bin = ProjectFiles(folder).BinFolder();
    if (!ForceFolders(bin))
        notes.push_back(bin + ": the folder could not be made; build needs it");
    return Status::Ok();
}

} // namespace fabricor
