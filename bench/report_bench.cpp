// Times the commissioning report's PDF of a 2000-row project and counts its pages: drawn page by
// page as Generate Firmware saves it, and the HTML page printed through QTextDocument as it was
// saved before. Prints figures; judges nothing.
//
//   bench_report [--rows N] [--html FILE.html] [--save FILE.pdf]
//                [--project DIR [--master DIR] [--probe FILE.json]]
//
// --html prints another HTML page through QTextDocument too (a report written by an earlier
// release, say), to compare with. --save keeps the PDF with the probe's results. --project
// reports on an existing project instead of a generated one (its PDF is the one saved).

#include "base/clock.h"
#include "documents/pargen.h"
#include "documents/var.h"
#include "project/commissioning_report.h"
#include "project/probe_results.h"
#include "front/firmware/report_pdf.h"

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace fabricor;

namespace {

double Ms(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since)
        .count();
}

int PagesIn(const QByteArray& pdf) {
    return int(pdf.count("/Type /Page\n") + pdf.count("/Type /Page ") + pdf.count("/Type /Page/") -
               pdf.count("/Type /Pages"));
}

void PrintHtml(const char* what, const QString& html) {
    const auto start = std::chrono::steady_clock::now();
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setPageSize(QPageSize(QPageSize::A4));
        QTextDocument document;
        document.setHtml(html);
        document.print(&writer);
    }
    std::printf("  %-46s %8.0f ms  %4d pages  %7lld KiB\n", what, Ms(start), PagesIn(bytes),
                static_cast<long long>(bytes.size() / 1024));
}

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    int rows = 2000;
    QString otherHtml;
    QString saveAs;
    std::string given, master, probeFile;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--rows")
            rows = std::max(1, std::min(2000, std::atoi(argv[i + 1])));
        if (std::string(argv[i]) == "--html")
            otherHtml = QString::fromLocal8Bit(argv[i + 1]);
        if (std::string(argv[i]) == "--save")
            saveAs = QString::fromLocal8Bit(argv[i + 1]);
        if (std::string(argv[i]) == "--project")
            given = argv[i + 1];
        if (std::string(argv[i]) == "--master")
            master = argv[i + 1];
        if (std::string(argv[i]) == "--probe")
            probeFile = argv[i + 1];
    }

    const fs::path project =
        fs::temp_directory_path() / ("fabricor-bench-report-" + std::to_string(::getpid()));
    fs::create_directories(project / "bin");
    (void)WriteGeneralParameters((project / "pargen.xml").string(),
                                 EncodeGeneralParameters(NewProjectGeneralParameters()));
    std::vector<TMyRec> table;
    std::string probeJson = "[";
    for (int i = 0; i < rows; ++i) {
        // 40 registers on each of 50 devices: a table that checks cleanly.
        table.push_back({3, static_cast<uint16_t>(i * 4), static_cast<uint8_t>(i / 40 + 1),
                         static_cast<uint16_t>(100 + i % 40 * 4), 4,
                         "Pump " + std::to_string(i) + " speed"});
        probeJson += (i ? "," : "") + std::string("{\"row\":") + std::to_string(i + 1) +
                     ",\"status\":\"" + (i % 50 == 7 ? "time-out" : "ok") +
                     "\",\"response_ms\":12.5,\"values\":[1,2,3,4]}";
    }
    probeJson += "]";
    (void)WriteTranslateTable((project / "var.xml").string(), table);

    FixedClock clock(LocalTime{2026, 12, 9, 10, 0, 0});
    ReportSources sources;
    sources.projectFolder = given.empty() ? project.string() : given;
    sources.masterFolder = master;
    sources.portIndex = 0;
    const ProbeResults probe =
        probeFile.empty() ? ReadProbeResultsText(probeJson) : ReadProbeResultsFile(probeFile);
    if (!probe.ok())
        std::fprintf(stderr, "%s\n", probe.error.c_str());
    std::printf("Commissioning report of %d rows, A4 PDF:\n", rows);

    auto start = std::chrono::steady_clock::now();
    const CommissioningReport report = MakeCommissioningReport(sources, clock);
    std::printf("  %-46s %8.0f ms\n", "reading the project (report model)", Ms(start));

    if (!otherHtml.isEmpty()) {
        QFile file(otherHtml);
        if (file.open(QIODevice::ReadOnly))
            PrintHtml("given HTML through QTextDocument::print", QString::fromUtf8(file.readAll()));
    }
    PrintHtml("HTML page through QTextDocument::print",
              QString::fromStdString(CommissioningReportHtml(report)));

    start = std::chrono::steady_clock::now();
    ReportPdf pdf = CommissioningReportPdf(report);
    std::printf("  %-46s %8.0f ms  %4d pages  %7lld KiB\n", "drawn page by page (Save report)",
                Ms(start), pdf.pages, static_cast<long long>(pdf.bytes.size() / 1024));

    sources.probe = &probe;
    start = std::chrono::steady_clock::now();
    pdf = CommissioningReportPdf(MakeCommissioningReport(sources, clock));
    std::printf("  %-46s %8.0f ms  %4d pages  %7lld KiB\n", "the same with a probe's results",
                Ms(start), pdf.pages, static_cast<long long>(pdf.bytes.size() / 1024));

    if (!saveAs.isEmpty()) {
        QFile file(saveAs);
        if (file.open(QIODevice::WriteOnly))
            file.write(pdf.bytes);
    }
    std::error_code ignored;
    fs::remove_all(project, ignored);
    return 0;
}
