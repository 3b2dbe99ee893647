#include "image/configuration_image.h"

#include "base/atomic_file.h"
#include "base/project_files.h"
#include "base/text_encoding.h"
#include "documents/integer_text.h"
#include "documents/pargen.h"
#include "documents/var.h"
#include "documents/xml_document.h"

#include <pugixml.hpp>

namespace fabricor {
namespace {

void Store16(ConfigurationImage& image, size_t offset, uint32_t value) {
    StoreField(image, offset, FieldKind::Word, value);
}

std::string FileNameOf(const std::string& path) {
    auto cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

BuildReport Stopped(BuildReport::Document document, const std::string& path,
                    std::string description) {
    BuildReport report;
    report.complete = false;
    report.document = document;
    report.documentPath = path;
    report.description = FileNameOf(path) + ": " + std::move(description);
    return report;
}

// Element and attribute names come from the document readers, so the builder and the editors
// can never read different elements.
const char* NameOf(GeneralParameter parameter) {
    return kGeneralParameterNames[Index(parameter)];
}

// Read in this order; a failure stops the build at the element. Where each goes is the layout's.
using enum GeneralParameter;
constexpr GeneralParameter kNumbersBeforeNames[] = {
    TCP_IP1, TCP_IP2, TCP_IP3, TCP_IP4, TCP_SUB1, TCP_SUB2, TCP_SUB3,
    TCP_SUB4, TCP_GAT1, TCP_GAT2, TCP_GAT3, TCP_GAT4, TCP_PORT,
};
constexpr GeneralParameter kNamesInOrder[] = {SNMP_PUBLIC, SNMP_PRIVATE};
constexpr GeneralParameter kNumbersAfterNames[] = {BAUD, PARITY, TIME_OUT, OFFSET, MODE};

class ParameterReader {
public:
    ParameterReader(const pugi::xml_node& root, const std::string& path, BuildReport& report)
        : root_(root), path_(path), report_(report) {}

    std::optional<std::string> Text(GeneralParameter parameter) {
        const char* name = NameOf(parameter);
        auto element = root_.child(name);
        if (!element) {
            Fail(name, std::nullopt, "element " + std::string(name) + " is missing");
            return std::nullopt;
        }
        auto text = ElementTextOf(element);
        if (!text)
            Fail(name, std::nullopt, "element " + std::string(name) + " holds more than text");
        return text;
    }

    bool Number(GeneralParameter parameter, ConfigurationImage& image) {
        const ParameterField& field = LayoutOf(parameter);
        auto text = Text(field.parameter);
        if (!text)
            return false;
        auto value = ParseIntegerText(*text);
        if (!value) {
            const char* name = NameOf(field.parameter);
            Fail(name, *text, std::string(name) + " " + Quoted(*text) + " is not an integer");
            return false;
        }
        StoreField(image, field.offset, field.kind, *value);
        return true;
    }

private:
    void Fail(const char* name, std::optional<std::string> text, std::string description) {
        report_ = Stopped(BuildReport::Document::GeneralParameters, path_, std::move(description));
        report_.element = name;
        report_.text = std::move(text);
    }

    pugi::xml_node root_;
    const std::string& path_;
    BuildReport& report_;
};

using Input = DocumentFile;

XmlLoad Load(const Input& input, pugi::xml_document& document, bool keepLoneWhitespace = false) {
    return LoadXmlFile(input, document, keepLoneWhitespace);
}

// Rows go into the table region; returns false where the reading stopped.
bool ReadTable(const Input& var, ConfigurationImage& image, BuildReport& report) {
    const std::string& varPath = var.path;
    pugi::xml_document document;
    auto loaded = Load(var, document);
    if (loaded.outcome == ReadOutcome::NoFile) {
        report = Stopped(BuildReport::Document::TranslateTable, varPath, "the file is missing");
        return false;
    }
    if (loaded.outcome == ReadOutcome::NotWellFormed) {
        report = Stopped(BuildReport::Document::TranslateTable, varPath,
                         loaded.unreadable ? loaded.error : "not well-formed: " + loaded.error);
        return false;
    }
    // The same table element the translate table editor takes.
    auto table = FirstDocumentNode(document);
    if (!table) {
        report = Stopped(BuildReport::Document::TranslateTable, varPath, "no table element");
        return false;
    }
    size_t index = 0;
    for (auto row = table.first_child(); row; row = row.next_sibling(), ++index) {
        if (index == kImageRows) {
            for (; row; row = row.next_sibling())
                ++report.rowsIgnored;
            break;
        }
        for (const RecordField& field : kRecordLayout) {
            const char* name = NameOf(field);
            auto attribute = row.attribute(name);
            std::string where = "row " + std::to_string(index + 1);
            if (!attribute) {
                report = Stopped(BuildReport::Document::TranslateTable, varPath,
                                 where + " has no attribute " + name);
            } else if (auto value = ParseIntegerText(attribute.value()); value) {
                StoreField(image, RecordOffset(index, field), field.kind, *value);
                continue;
            } else {
                report = Stopped(BuildReport::Document::TranslateTable, varPath,
                                 where + ": " + name + " " + Quoted(attribute.value()) +
                                     " is not an integer");
                report.text = attribute.value();
            }
            report.row = index;
            report.element = row.name();
            report.attribute = name;
            return false;
        }
    }
    return true;
}

bool ReadParameters(const Input& pargen, const LocalTime& now, ConfigurationImage& image,
                    BuildReport& report) {
    const std::string& pargenPath = pargen.path;
    pugi::xml_document document;
    // Blanks alone are an element's text, exactly as the general parameters editor reads them.
    auto loaded = Load(pargen, document, /*keepLoneWhitespace=*/true);
    if (loaded.outcome == ReadOutcome::NoFile) {
        report = Stopped(BuildReport::Document::GeneralParameters, pargenPath, "the file is missing");
        return false;
    }
    if (loaded.outcome == ReadOutcome::NotWellFormed) {
        report = Stopped(BuildReport::Document::GeneralParameters, pargenPath,
                         loaded.unreadable ? loaded.error : "not well-formed: " + loaded.error);
        return false;
    }
    auto root = document.child(kGeneralParameterRoot);
    if (!root) {
        report = Stopped(BuildReport::Document::GeneralParameters, pargenPath,
                         std::string("element ") + kGeneralParameterRoot + " is missing");
        report.element = kGeneralParameterRoot;
        return false;
    }
    ParameterReader reader(root, pargenPath, report);
    for (auto parameter : kNumbersBeforeNames)
        if (!reader.Number(parameter, image))
            return false;
    for (auto parameter : kNamesInOrder) {
        auto text = reader.Text(parameter);
        if (!text)
            return false;
        auto field = CopyCommunityName(*text);
        std::copy(field.begin(), field.end(),
                  image.begin() + static_cast<long>(LayoutOf(parameter).offset));
    }
    for (auto parameter : kNumbersAfterNames)
        if (!reader.Number(parameter, image))
            return false;

    Store16(image, image_offset::BuildTime, PackBuildTime(now));
    Store16(image, image_offset::BuildDate, PackBuildDate(now));

    // The one field with a fallback: anything but the text "1" is one stop bit.
    auto stop = ElementTextOf(root.child(NameOf(STOP_BIT)));
    image[LayoutOf(STOP_BIT).offset] = (stop && *stop == "1") ? 1 : 0;

    return reader.Number(TCP_EN_GATE, image);
}

} // namespace

uint16_t PackBuildTime(const LocalTime& time) {
    return static_cast<uint16_t>(time.hour + 32 * time.minute + 2048 * (time.second / 2));
}

uint16_t PackBuildDate(const LocalTime& time) {
    return static_cast<uint16_t>(time.year % 100 + 128 * time.month + 2048 * time.day);
}

std::array<uint8_t, kCommunityNameSize> CopyCommunityName(const std::string& name) {
    std::array<uint8_t, kCommunityNameSize> field{};
    auto bytes = Utf8ToWindows1252(name);
    for (size_t i = 0; i < bytes.size() && i < kCommunityNameSize - 1; ++i)
        field[i] = static_cast<uint8_t>(bytes[i]);
    return field;
}

namespace {

BuildReport Build(const Input& varPath, const Input& pargenPath, Clock& clock,
                  ConfigurationImage& image) {
    image.fill(0);
    BuildReport report;
    if (!ReadTable(varPath, image, report))
        return report;
    // One reading of the clock, so time and date always belong to the same instant.
    LocalTime now = clock.Now();
    size_t ignored = report.rowsIgnored;
    if (!ReadParameters(pargenPath, now, image, report)) {
        report.rowsIgnored = ignored;
        return report;
    }
    return report;
}

} // namespace

BuildReport BuildConfigurationImage(const std::string& varPath, const std::string& pargenPath,
                                    Clock& clock, ConfigurationImage& image) {
    return BuildConfigurationImage(ReadDocumentFile(varPath), ReadDocumentFile(pargenPath), clock,
                                   image);
}

BuildReport BuildConfigurationImage(const DocumentFile& var, const DocumentFile& pargen,
                                    Clock& clock, ConfigurationImage& image) {
    return Build(var, pargen, clock, image);
}

BuildReport BuildConfigurationImageFromText(std::string_view varText, const std::string& varPath,
                                            std::string_view pargenText,
                                            const std::string& pargenPath, Clock& clock,
                                            ConfigurationImage& image) {
    return Build(DocumentOfText(varPath, std::string(varText)),
                 DocumentOfText(pargenPath, std::string(pargenText)), clock, image);
}

std::string ConfigurationImagePath(const std::string& projectFolder) {
    return ProjectFiles(projectFolder).Image();
}

Status WriteConfigurationImage(const std::string& projectFolder, const ConfigurationImage& image,
                               FileOutput& output) {
    return WriteFileAtomically(
        ConfigurationImagePath(projectFolder),
        std::string_view(reinterpret_cast<const char*>(image.data()), image.size()), output);
}

Status WriteConfigurationImage(ByteSink& sink, const ConfigurationImage& image) {
    return sink.Write(
        std::string_view(reinterpret_cast<const char*>(image.data()), image.size()));
}

} // namespace fabricor
