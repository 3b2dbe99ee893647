#pragma once

#include "project/commissioning_report.h"

#include <QByteArray>

#include <functional>

namespace fabricor {

struct ReportPdf {
    QByteArray bytes;
    int pages = 0;
};

// The report as an A4 PDF, drawn page by page: the first page an engineer files (running onto a
// second only when the checks need it), then the translate table at the full width of the page
// with its column header on every page, and the project's name and "page N of M" in every
// footer. `progress` hears each page as it is drawn (page, pages).
//
// It paints only on a QPdfWriter held in memory with fonts and metrics, never on a pixmap or a
// widget, so it may run on a worker thread.
ReportPdf CommissioningReportPdf(const CommissioningReport& report,
                                 const std::function<void(int, int)>& progress = {});

} // namespace fabricor
