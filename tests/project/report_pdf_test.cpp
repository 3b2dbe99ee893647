#include "front/firmware/report_pdf.h"

#include "support/temp_dir.h"

#include <QProcess>
#include <QStringList>
#include <gtest/gtest.h>

#include <thread>

namespace fabricor {
namespace {

using test_support::TempDir;

constexpr const char* kHash = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

CommissioningReport ReportOf(size_t rows) {
    CommissioningReport report;
    report.project = "Pumpstation Süd";
    report.created = "2026-12-09 07:05:03";
    report.release = "9.9.9";
    report.sections = {{"Identity",
                        {{"Project", report.project, false},
                         {"SHA-256 new firmware", kHash, true},
                         {"Project folder", "/srv/" + std::string(300, 'x'), true}}}};
    for (int i = 0; i < 40; ++i)
        report.warnings.push_back("var.xml rows " + std::to_string(i) + " and " +
                                  std::to_string(i + 1) + ": a warning long enough to wrap " +
                                  std::string(120, 'w'));
    report.signOff = {"Site", "Device tag"};
    report.columns = {"Row", "TCP address", "Mnemonic"};
    report.numericColumns = {true, true, false};
    for (size_t i = 0; i < rows; ++i)
        report.rows.push_back({std::to_string(i + 1), std::to_string(i * 4),
                               "mnemonic-" + std::to_string(i + 1) + "-end"});
    return report;
}

// The text of each page, as poppler reads it out of the PDF.
QStringList PagesOf(const QByteArray& pdf) {
    TempDir dir;
    const QString file = QString::fromStdString((dir / "r.pdf").string());
    test_support::WriteFile(dir / "r.pdf", pdf.toStdString());
    QProcess tool;
    tool.start("pdftotext", {"-layout", file, "-"});
    EXPECT_TRUE(tool.waitForFinished(30000)) << "pdftotext (poppler-utils) did not run";
    QStringList pages = QString::fromUtf8(tool.readAllStandardOutput()).split('\f');
    if (!pages.isEmpty() && pages.back().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

TEST(ReportPdf, EveryPageHasItsFooterAndEveryTablePageItsHeaderAndNoRowIsLost) {
#ifdef _WIN32
    GTEST_SKIP() << "poppler's pdftotext reads the PDF back on Linux only";
#endif
    const CommissioningReport report = ReportOf(400);
    // Drawn on a worker, as the dialog does.
    ReportPdf pdf;
    int heard = 0;
    std::thread worker([&] { pdf = CommissioningReportPdf(report, [&](int, int) { ++heard; }); });
    worker.join();
    const QStringList pages = PagesOf(pdf.bytes);
    ASSERT_EQ(pages.size(), pdf.pages);
    EXPECT_EQ(heard, pdf.pages);
    ASSERT_GE(pdf.pages, 4);

    int firstTablePage = -1;
    QString rows;
    for (int n = 0; n < pages.size(); ++n) {
        const QString& page = pages[n];
        EXPECT_TRUE(page.contains(QStringLiteral("page %1 of %2").arg(n + 1).arg(pdf.pages)))
            << n + 1;
        EXPECT_TRUE(page.contains(QString::fromUtf8("Pumpstation Süd"))) << n + 1;
        if (page.contains("mnemonic-")) {
            if (firstTablePage < 0)
                firstTablePage = n;
            EXPECT_TRUE(page.contains("TCP address")) << "no column header on page " << n + 1;
            rows += page;
        }
    }
    EXPECT_GT(firstTablePage, 0) << "the table starts after the first page";
    EXPECT_TRUE(pages[0].contains(kHash)) << "the hash on one line";
    // Forty long warnings do not fit the first page: the sign-off stays there, the warnings it
    // leaves no room for follow it, every one of them before the table.
    ASSERT_GT(firstTablePage, 1);
    EXPECT_TRUE(pages[0].contains("Device tag"));
    QString checks;
    for (int n = 0; n < firstTablePage; ++n)
        checks += pages[n];
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(checks.count(QStringLiteral("rows %1 and %2:").arg(i).arg(i + 1)), 1) << i;
    for (size_t i = 1; i <= 400; ++i)
        EXPECT_EQ(rows.count(QStringLiteral("mnemonic-%1-end").arg(i)), 1) << i;
}

TEST(ReportPdf, ATableOf2000RowsFillsThePageWidthInFarFewerPages) {
    const ReportPdf pdf = CommissioningReportPdf(ReportOf(2000));
    // 2000 rows at full width: 31 table pages and two first pages.
    EXPECT_LE(pdf.pages, 40);
}

} // namespace
} // namespace fabricor
