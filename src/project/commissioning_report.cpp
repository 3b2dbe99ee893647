#include "project/commissioning_report.h"

#include "base/clock.h"
#include "base/project_files.h"
#include "base/regular_file.h"
#include "base/sha256.h"
#include "documents/var.h"
#include "documents/xml_characters.h"
#include "firmware/merge.h"
#include "image/configuration_image.h"
#include "image/image_decode.h"
#include "platform/files.h"
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
    return static_cast<uint16_t>(image[offset] | (image[offset + 1] << 8));
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

void Row(std::string& html, const std::string& name, const std::string& value) {
    html += "<tr><th>" + HtmlEscape(name) + "</th><td>" + HtmlEscape(value) + "</td></tr>\n";
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
th, td { border: 1px solid #bbb; padding: 2px 6px; text-align: left; vertical-align: top; }
th { background: #eee; }
td.num { text-align: right; }
code { font-family: "DejaVu Sans Mono", monospace; font-size: 9pt; }
.warn { color: #8a5300; }
.problem { color: #b00020; }
@media print { body { margin: 0; } h2 { page-break-after: avoid; } tr { page-break-inside: avoid; } }
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

std::string CommissioningReportHtml(const std::string& projectFolder) {
    const fs::path folder = platform::PathOfUtf8(projectFolder);
    const std::string name = platform::Utf8Name(folder.filename());
    ConfigurationImage image{};
    FixedClock clock(LocalTime{});
    auto build = BuildConfigurationImage(
        platform::Utf8Name(ProjectFiles::TranslateTableIn(folder)),
        platform::Utf8Name(ProjectFiles::GeneralParametersIn(folder)), clock, image);
    const DecodedProject decoded = DecodeImage(image);
    const unsigned char* at = image.data();

    std::string html = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n<title>"
                       "Commissioning report: " +
                       HtmlEscape(name) + "</title>\n";
    html += kStyle;
    html += "</head><body>\n<h1>Commissioning report: " + HtmlEscape(name) +
            "</h1>\n<p>Project "
            "folder <code>" +
            HtmlEscape(projectFolder) + "</code></p>\n";
    if (!build.complete)
        html += "<p class=\"problem\">The project does not build completely: " +
                HtmlEscape(build.description) +
                ". The values below hold what was read before.</p>\n";

    html += "<h2>General parameters</h2>\n<table>\n";
    Row(html, "Operation mode", image[image_offset::Mode] == 0 ? "Routing mode" : "NAT mode");
    Row(html, "IP address",
        AddressWithMask(at + image_offset::IpAddress, at + image_offset::SubnetMask));
    Row(html, "Gateway",
        Dotted(at + image_offset::Gateway) +
            (image[image_offset::EnableGateway] == 1 ? " (enabled)" : " (disabled)"));
    Row(html, "Modbus TCP port", std::to_string(Word(image, image_offset::TcpPort)));
    Row(html, "SNMP communities",
        "\"" + decoded.pargen[Index(GeneralParameter::SNMP_PUBLIC)] + "\", \"" +
            decoded.pargen[Index(GeneralParameter::SNMP_PRIVATE)] + "\"");
    Row(html, "Modbus RTU serial line", Serial(image));
    Row(html, "RTU time-out", std::to_string(Word(image, image_offset::TimeOut)) + " ms");
    Row(html, "System data offset", std::to_string(Word(image, image_offset::Offset)));
    html += "</table>\n";

    auto table = ReadTranslateTable(platform::Utf8Name(ProjectFiles::TranslateTableIn(folder)));
    html += "<h2>Translate table (" + std::to_string(table.rows.size()) + " rows)</h2>\n";
    if (!table.rows.empty()) {
        html += "<table>\n<tr><th>Row</th><th>Data type</th><th>TCP address</th><th>RTU device"
                "</th><th>RTU address</th><th>Points</th><th>Mnemonic</th></tr>\n";
        for (size_t i = 0; i < table.rows.size(); ++i) {
            const auto& cells = table.rows[i].cells;
            auto cell = [&](size_t c) {
                return c < cells.size() ? HtmlEscape(cells[c]) : std::string();
            };
            std::string type = cell(0);
            if (!cells.empty())
                if (auto kind = DecodeDataType(cells[0]))
                    type = kDataTypeNames[static_cast<size_t>(*kind)];
            html += "<tr><td class=\"num\">" + std::to_string(i + 1) + "</td><td>" + type +
                    "</td><td class=\"num\">" + cell(1) + "</td><td class=\"num\">" + cell(2) +
                    "</td><td class=\"num\">" + cell(3) + "</td><td class=\"num\">" + cell(4) +
                    "</td><td>" + cell(5) + "</td></tr>\n";
        }
        html += "</table>\n";
    }

    auto check = CheckProject(projectFolder);
    html += "<h2>Checks</h2>\n";
    if (check.problems.empty() && check.warnings.empty())
        html += "<p>No problems and no warnings.</p>\n";
    else {
        html += "<ul>\n";
        for (const auto& line : check.problems)
            html += "<li class=\"problem\">" + HtmlEscape(line) + "</li>\n";
        for (const auto& line : check.warnings)
            html += "<li class=\"warn\">warning: " + HtmlEscape(line) + "</li>\n";
        html += "</ul>\n";
    }

    const std::string imagePath = ConfigurationImagePath(projectFolder);
    const std::string firmwarePath = platform::Utf8Name(ProjectFiles::NewFirmwareIn(folder));
    html += "<h2>Build</h2>\n<table>\n";
    Row(html, "Built at", ImageBuildTime(imagePath));
    html += "<tr><th>SHA-256 bank1.bin</th><td><code>" + HtmlEscape(HashOf(imagePath)) +
            "</code></td></tr>\n<tr><th>SHA-256 " + ProjectFiles::NewFirmwareName() +
            "</th><td><code>" + HtmlEscape(HashOf(firmwarePath)) + "</code></td></tr>\n</table>\n";
    html += "</body></html>\n";
    return html;
}

} // namespace fabricor
