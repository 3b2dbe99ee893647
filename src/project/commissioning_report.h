#pragma once

#include <optional>
#include <string>
#include <vector>

namespace fabricor {

// Escapes & < > " ' for HTML text and attribute values, and shows every control character
// (C0 with tab, line feed and carriage return, DEL, C1) by its code: ESC as "<U+001B>".
std::string HtmlEscape(const std::string& text);

// "192.168.1.7/24" for a contiguous mask, else "192.168.1.7 mask 255.0.255.0".
std::string AddressWithMask(const unsigned char address[4], const unsigned char mask[4]);

class Clock;
struct ProbeResults;

// What a report is made from besides the project: where the base firmware and the flash tool's
// settings are, the serial port chosen for the flash tool, a probe's last results.
struct ReportSources {
    std::string projectFolder;
    std::string masterFolder;       // holds SX30418.sx; empty: the base firmware is not named
    std::string toolSettingsFolder; // holds Progwerk.ini; empty: the port's device is not named
    std::optional<int> portIndex;   // 0..7 for COM1..COM8; none: no port was chosen
    const ProbeResults* probe = nullptr;
};

struct ReportField {
    std::string name;
    std::string value;
    bool hash = false; // a SHA-256 or a path: monospace, never wrapped
};

struct ReportSection {
    std::string title;
    std::vector<ReportField> fields;
};

// A commissioning report of a project, as the HTML page and the PDF both show it: a first page
// an engineer files (who, what, when, the parameters, the checks, the sign-off), then the
// translate table with the probe's last results when there are any.
struct CommissioningReport {
    std::string project;      // the project folder's name
    std::string created;      // "2026-12-09 10:15:02", local time
    std::string release;      // of these programs
    std::string buildProblem; // why the documents do not build completely; empty when they do
    std::vector<ReportSection> sections;
    std::vector<std::string> problems;
    std::vector<std::string> warnings;
    std::vector<std::string> signOff; // the blank fields filled in by hand on site
    std::vector<std::string> columns;
    std::vector<bool> numericColumns;
    std::vector<std::vector<std::string>> rows;
    bool probed = false; // the table carries a probe's results
};

// Reads everything a report shows; nothing is written. The clock gives its date and time.
CommissioningReport MakeCommissioningReport(const ReportSources& sources, Clock& clock);

// One self-contained printable HTML page of a report (inline style, nothing fetched).
std::string CommissioningReportHtml(const CommissioningReport& report);

} // namespace fabricor
