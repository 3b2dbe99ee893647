#include "project/commissioning_report.h"

#include "base/application_files.h"
#include "base/clock.h"
#include "base/project_files.h"
#include "base/regular_file.h"
#include "base/settings_file.h"
#include "base/sha256.h"
#include "base/version.h"
#include "documents/var.h"
#include "documents/xml_characters.h"
#include "firmware/merge.h"
#include "image/configuration_image.h"
#include "image/image_decode.h"
#include "platform/files.h"
#include "platform/serial_port.h"
#include "project/probe_results.h"
#include "rules/project_check.h"

#include <bit>
#include <cstdio>
#include <filesystem>

namespace fabricor {
namespace {

namespace fs = std::filesystem;

std::string Dotted(const unsigned char octets[4]) {
    return std::to_string(octets[0]) + "." + std::to_string(octets[1]) + "." +
           std::to_string(octets[2]) + "." + std::to_string(octets[3]);
}

uint16_t Word(const ConfigurationImage& image, size_t offset) {
    return static_cast<uint16_t>(FieldValue(image, offset, FieldKind::Word));
}

std::string Serial(const ConfigurationImage& image) {
    const unsigned baud = image[image_offset::Baud];
    const auto rate = BaudRateAt(baud);
    std::string text =
        rate ? std::to_string(*rate) : "no baud rate (code " + std::to_string(baud) + ")";
    const unsigned parity = image[image_offset::Parity];
    const ParityCoding* coding = ParityCodingOfCode(parity);
    text += std::string(" 8") + (coding ? coding->letter : ParityCodingOf(Parity::None).letter) +
            (image[image_offset::StopBits] == 1 ? "2" : "1");
    if (!coding)
        text += " (parity code " + std::to_string(parity) + ")";
    return text;
}

void Row(std::string& html, const std::string& name, const std::string& value, bool code) {
    html += "<tr><th>" + HtmlEscape(name) + "</th><td>" + (code ? "<code>" : "") +
            HtmlEscape(value) + (code ? "</code>" : "") + "</td></tr>\n";
}

std::string ImageBuildTime(const std::string& path) {
    FileRead read = ReadRegularFile(path, kImageSize);
    if (!read.bytes)
        return read.missing ? "not built yet (no bin/bank1.bin)" : read.error;
    if (read.bytes->size() != kImageSize)
        return path + ": not an image of 16384 bytes";
    auto byte = [&](size_t at) { return static_cast<uint8_t>((*read.bytes)[at]); };
    uint16_t time = static_cast<uint16_t>(byte(image_offset::BuildTime) |
                                          byte(image_offset::BuildTime + 1) << 8);
    uint16_t date = static_cast<uint16_t>(byte(image_offset::BuildDate) |
                                          byte(image_offset::BuildDate + 1) << 8);
    return DescribeBuildWords(time, date);
}

std::string HashOf(const std::string& path) {
    std::error_code ec;
    if (!fs::exists(platform::PathOfUtf8(path), ec))
        return "none (" + platform::Utf8Name(platform::PathOfUtf8(path).filename()) +
               " does not exist)";
    auto hash = Sha256OfFile(path);
    return hash.hex ? *hash.hex : hash.error;
}

constexpr const char* kStyle = R"(<style>
body { font-family: "DejaVu Sans", sans-serif; font-size: 10pt; margin: 2em; color: #000; }
h1 { font-size: 16pt; margin-bottom: 0.2em; }
h2 { font-size: 12pt; border-bottom: 1px solid #888; margin-top: 1.5em; }
table { border-collapse: collapse; }
table.rows { width: 100%; }
thead { display: table-header-group; }
table.fields th { width: 12em; }
table.signoff td { width: 30em; height: 1.8em; }
code { white-space: nowrap; }
.footer { font-size: 8pt; color: #555; }
th, td { border: 1px solid #bbb; padding: 2px 6px; text-align: left; vertical-align: top; }
th { background: #eee; }
td.num { text-align: right; }
code { font-family: "DejaVu Sans Mono", monospace; font-size: 9pt; }
.warn { color: #8a5300; }
.problem { color: #b00020; }
@media print { body { margin: 0; } h2 { page-break-after: avoid; } tr { page-break-inside: avoid; }
  section.first { page-break-after: always; } }
</style>
)";

} // namespace

std::string HtmlEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const auto byte = static_cast<unsigned char>(c);
        // A control character is shown by its code, never sent as it is (an ESC would reach
        // the terminal the page is printed to): C0, DEL, and C1 (C2 80 to C2 9F in UTF-8).
        if (byte < 0x20 || byte == 0x7F) {
            out += "&lt;" + CharacterCode(byte) + "&gt;";
            continue;
        }
        if (byte == 0xC2 && i + 1 < text.size() &&
            static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
            static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            out += "&lt;" + CharacterCode(static_cast<unsigned char>(text[++i])) + "&gt;";
            continue;
        }
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string AddressWithMask(const unsigned char address[4], const unsigned char mask[4]) {
    uint32_t bits = static_cast<uint32_t>(mask[0]) << 24 | static_cast<uint32_t>(mask[1]) << 16 |
                    static_cast<uint32_t>(mask[2]) << 8 | mask[3];
    int prefix = std::countl_one(bits);
    if (prefix == 32 || (bits << prefix) == 0)
        return Dotted(address) + "/" + std::to_string(prefix);
    return Dotted(address) + " mask " + Dotted(mask);
}

namespace {

std::string TwoDigits(int n) {
    return (n < 10 ? "0" : "") + std::to_string(n);
}

std::string TimeText(const LocalTime& t) {
    return std::to_string(t.year) + "-" + TwoDigits(t.month) + "-" + TwoDigits(t.day) + " " +
           TwoDigits(t.hour) + ":" + TwoDigits(t.minute) + ":" + TwoDigits(t.second);
}

// "9600 baud, 8 data bits, even parity, 1 stop bit": the line as the field devices must be set.
std::string SerialInWords(const ConfigurationImage& image) {
    const unsigned baud = image[image_offset::Baud];
    const auto rate = BaudRateAt(baud);
    std::string text =
        rate ? std::to_string(*rate) + " baud" : "no baud rate (code " + std::to_string(baud) + ")";
    const ParityCoding* coding = ParityCodingOfCode(image[image_offset::Parity]);
    const char letter = coding ? coding->letter : 'N';
    text += std::string(", 8 data bits, ") +
            (letter == 'E'   ? "even parity"
             : letter == 'O' ? "odd parity"
                             : "no parity") +
            (image[image_offset::StopBits] == 1 ? ", 2 stop bits" : ", 1 stop bit") + " (" +
            Serial(image) + ")";
    return text;
}

// The port the flash tool writes the firmware through, and the device Progwerk.ini gives it.
std::string FlashPort(const ReportSources& sources) {
    if (!sources.portIndex)
        return "none chosen";
    const int index = *sources.portIndex;
    std::string text = "COM" + std::to_string(index + 1);
    if (sources.toolSettingsFolder.empty())
        return text;
    const fs::path settings =
        ApplicationFiles::ToolSettingsIn(platform::PathOfUtf8(sources.toolSettingsFolder));
    std::string device = ReadIniValue(settings, "ports", text);
    if (!device.empty())
        return text + ", " + device + " as " + ApplicationFiles::kToolSettingsName + " maps it";
    return text + ", system device " + SerialPort::DefaultDevice(index) + " (" +
           ApplicationFiles::kToolSettingsName + " maps no device to it)";
}

std::string ResponseText(double ms) {
    char text[32];
    std::snprintf(text, sizeof text, ms < 10 ? "%.1f" : "%.0f", ms);
    return text;
}

// At most this many values in a table cell; the rest are counted.
constexpr size_t kValuesShown = 8;

std::string ValuesText(const std::vector<long long>& values) {
    std::string text;
    for (size_t i = 0; i < values.size() && i < kValuesShown; ++i)
        text += (i ? " " : "") + std::to_string(values[i]);
    if (values.size() > kValuesShown)
        text += " +" + std::to_string(values.size() - kValuesShown);
    return text;
}

} // namespace

CommissioningReport MakeCommissioningReport(const ReportSources& sources, Clock& clock) {
    const std::string& projectFolder = sources.projectFolder;
    const fs::path folder = platform::PathOfUtf8(projectFolder);
    CommissioningReport report;
    report.project = platform::Utf8Name(folder.filename());
    report.created = TimeText(clock.Now());
    report.release = ProgramVersion();

    // The image, the table and the checks come from one reading of the documents.
    const SavedProject saved = ReadSavedProject(projectFolder);
    ConfigurationImage image{};
    FixedClock buildClock(LocalTime{});
    auto build = BuildConfigurationImage(saved.tableFile, saved.generalFile, buildClock, image);
    const DecodedProject decoded = DecodeImage(image);
    const unsigned char* at = image.data();
    if (!build.complete)
        report.buildProblem = "The project does not build completely: " + build.description +
                              ". The values below hold what was read before.";

    const std::string imagePath = ConfigurationImagePath(projectFolder);
    const std::string firmwarePath = platform::Utf8Name(ProjectFiles::NewFirmwareIn(folder));
    ReportSection identity{"Identity", {}};
    identity.fields.push_back({"Project", report.project, false});
    identity.fields.push_back({"Project folder", projectFolder, true});
    identity.fields.push_back({"Report made", report.created, false});
    identity.fields.push_back({"Program release", report.release, false});
    if (!sources.masterFolder.empty()) {
        const std::string base = ProjectFiles::BaseFirmwareIn(sources.masterFolder);
        identity.fields.push_back({"Base firmware", ProjectFiles::kBaseFirmwareName, false});
        identity.fields.push_back({"SHA-256 base firmware", HashOf(base), true});
    }
    identity.fields.push_back({"New firmware", ProjectFiles::NewFirmwareName(), false});
    identity.fields.push_back({"SHA-256 new firmware", HashOf(firmwarePath), true});
    identity.fields.push_back({"Image built at", ImageBuildTime(imagePath), false});
    identity.fields.push_back({"SHA-256 bank1.bin", HashOf(imagePath), true});
    identity.fields.push_back({"Flash serial port", FlashPort(sources), false});
    report.sections.push_back(std::move(identity));

    ReportSection parameters{"General parameters", {}};
    auto add = [&](const char* name, std::string value) {
        parameters.fields.push_back({name, std::move(value), false});
    };
    add("Operation mode", image[image_offset::Mode] == 0
                              ? "Routing mode (requests pass to the device they name)"
                              : "NAT mode (the translate table maps each request)");
    add("IP address", AddressWithMask(at + image_offset::IpAddress, at + image_offset::SubnetMask));
    add("Gateway", image[image_offset::EnableGateway] == 1
                       ? Dotted(at + image_offset::Gateway) + " (used)"
                       : "none (" + Dotted(at + image_offset::Gateway) + " is not used)");
    add("Modbus TCP port", std::to_string(Word(image, image_offset::TcpPort)));
    add("SNMP communities", "read \"" + decoded.pargen[Index(GeneralParameter::SNMP_PUBLIC)] +
                                "\", write \"" +
                                decoded.pargen[Index(GeneralParameter::SNMP_PRIVATE)] + "\"");
    add("Modbus RTU serial line", SerialInWords(image));
    add("RTU time-out", std::to_string(Word(image, image_offset::TimeOut)) +
                            " ms (a field device silent for longer has not answered)");
    add("System data offset", std::to_string(Word(image, image_offset::Offset)));
    report.sections.push_back(std::move(parameters));

    auto check = CheckProject(saved);
    report.problems = std::move(check.problems);
    report.warnings = std::move(check.warnings);
    report.signOff = {"Site", "Device tag", "Commissioned by", "Date", "Signature"};

    const ProbeResults* probe = sources.probe;
    report.probed = probe != nullptr;
    report.columns = {"Row",         "Data type", "TCP address", "RTU device",
                      "RTU address", "Points",    "Mnemonic"};
    report.numericColumns = {true, false, true, true, true, true, false};
    if (report.probed) {
        for (const char* column : {"Probe", "ms", "Values"})
            report.columns.push_back(column);
        report.numericColumns.insert(report.numericColumns.end(), {false, true, false});
    }
    const TranslateTableDocument& table = saved.table;
    report.rows.reserve(table.rows.size());
    for (size_t i = 0; i < table.rows.size(); ++i) {
        const auto& cells = table.rows[i].cells;
        std::vector<std::string> row{std::to_string(i + 1)};
        for (size_t c = 0; c < 6; ++c)
            row.push_back(c < cells.size() ? cells[c] : std::string());
        if (!cells.empty())
            if (auto kind = DecodeDataType(cells[0]))
                row[1] = kDataTypeNames[static_cast<size_t>(*kind)];
        if (report.probed) {
            auto found = probe->rows.find(static_cast<int>(i + 1));
            if (found == probe->rows.end()) {
                row.insert(row.end(), {"not probed", "", ""});
            } else {
                const ProbeRow& result = found->second;
                row.push_back(result.status);
                row.push_back(result.responseMs ? ResponseText(*result.responseMs) : "");
                row.push_back(ValuesText(result.values));
            }
        }
        report.rows.push_back(std::move(row));
    }
    return report;
}

std::string CommissioningReportHtml(const CommissioningReport& report) {
    const std::string name = HtmlEscape(report.project);
    std::string html = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n<title>"
                       "Commissioning report: " +
                       name + "</title>\n";
    html += kStyle;
    html +=
        "</head><body>\n<section class=\"first\">\n<h1>Commissioning report: " + name + "</h1>\n";
    if (!report.buildProblem.empty())
        html += "<p class=\"problem\">" + HtmlEscape(report.buildProblem) + "</p>\n";
    for (const auto& section : report.sections) {
        html += "<h2>" + HtmlEscape(section.title) + "</h2>\n<table class=\"fields\">\n";
        for (const auto& field : section.fields)
            Row(html, field.name, field.value, field.hash);
        html += "</table>\n";
    }
    html += "<h2>Checks</h2>\n";
    if (report.problems.empty() && report.warnings.empty())
        html += "<p>No problems and no warnings.</p>\n";
    else {
        html += "<ul>\n";
        for (const auto& line : report.problems)
            html += "<li class=\"problem\">" + HtmlEscape(line) + "</li>\n";
        for (const auto& line : report.warnings)
            html += "<li class=\"warn\">warning: " + HtmlEscape(line) + "</li>\n";
        html += "</ul>\n";
    }
    html += "<h2>Sign-off</h2>\n<table class=\"signoff\">\n";
    for (const auto& field : report.signOff)
        html += "<tr><th>" + HtmlEscape(field) + "</th><td></td></tr>\n";
    html += "</table>\n</section>\n";

    html += "<h2>Translate table (" + std::to_string(report.rows.size()) + " rows" +
            (report.probed ? ", with the probe's last results" : "") + ")</h2>\n";
    if (!report.rows.empty()) {
        html += "<table class=\"rows\">\n<thead><tr>";
        for (const auto& column : report.columns)
            html += "<th>" + HtmlEscape(column) + "</th>";
        html += "</tr></thead>\n<tbody>\n";
        for (const auto& row : report.rows) {
            html += "<tr>";
            for (size_t c = 0; c < row.size(); ++c)
                html += (c < report.numericColumns.size() && report.numericColumns[c]
                             ? "<td class=\"num\">"
                             : "<td>") +
                        HtmlEscape(row[c]) + "</td>";
            html += "</tr>\n";
        }
        html += "</tbody></table>\n";
    }
    html += "<p class=\"footer\">" + name + ", report made " + HtmlEscape(report.created) +
            " by release " + HtmlEscape(report.release) + "</p>\n</body></html>\n";
    return html;
}

} // namespace fabricor
