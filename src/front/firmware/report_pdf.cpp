#include "front/firmware/report_pdf.h"

#include <QBuffer>
#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>
#include <numeric>

namespace fabricor {
namespace {

// The writer draws at ten dots a point, so text placed by fractions of a point lands where it
// was measured; the layout is in those dots, measured by the writer's own metrics.
constexpr int kResolution = 720;
constexpr double kScale = kResolution / 72.0;

constexpr double P(double points) {
    return points * kScale;
}

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QFont Font(double points, bool bold = false, bool mono = false) {
    QFont font(mono ? QStringLiteral("DejaVu Sans Mono") : QStringLiteral("DejaVu Sans"));
    font.setStyleHint(mono ? QFont::Monospace : QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

// One thing placed on a page, from the top of the page's text area.
struct Placed {
    enum class Kind { Title, Heading, Note, Field, Line, SignOff, TableHead, TableRow } kind;
    double top = 0;
    double height = 0;
    int index = 0; // field, line or row, as the kind says
    int section = 0;
    QColor colour = Qt::black;
};

struct Page {
    std::vector<Placed> items;
};

class Layout {
public:
    Layout(const CommissioningReport& report, QPdfWriter& writer)
        : report_(report), device_(&writer), body_(Font(9)), bold_(Font(9, true)),
          mono_(Font(8, false, true)), small_(Font(7.5)), smallBold_(Font(7.5, true)),
          title_(Font(16, true)), heading_(Font(11, true)), footer_(Font(7)) {
        const QRectF area = writer.pageLayout().paintRect(QPageLayout::Point);
        width_ = P(area.width());
        footerHeight_ = Metrics(footer_).lineSpacing() * 2;
        height_ = P(area.height()) - footerHeight_;
        rowHeight_ = Metrics(small_).lineSpacing() + P(2.5);
        MeasureColumns();
    }

    std::vector<Page> Pages() {
        pages_.clear();
        pages_.emplace_back();
        at_ = 0;
        Place(Placed::Kind::Title, Metrics(title_).lineSpacing() + P(6));
        if (!report_.buildProblem.empty())
            Place(Placed::Kind::Note, TextHeight(body_, Q(report_.buildProblem), width_) + P(4), 0,
                  0, QColor(176, 0, 32));
        for (size_t s = 0; s < report_.sections.size(); ++s) {
            Place(Placed::Kind::Heading, HeadingHeight(), 0, int(s));
            const auto& fields = report_.sections[s].fields;
            for (size_t f = 0; f < fields.size(); ++f)
                Place(Placed::Kind::Field, FieldHeight(fields[f]), int(f), int(s));
        }
        checks_.clear();
        for (const auto& line : report_.problems)
            checks_.push_back({Q(line), QColor(176, 0, 32)});
        for (const auto& line : report_.warnings)
            checks_.push_back({QStringLiteral("warning: ") + Q(line), QColor(138, 83, 0)});
        if (checks_.empty())
            checks_.push_back({QStringLiteral("No problems and no warnings."), Qt::black});
        // The sign-off stays on the first page: checks that leave it no room follow it.
        const double signOff = HeadingHeight() + P(22) * double(report_.signOff.size());
        auto lineHeight = [&](size_t c) {
            return TextHeight(body_, checks_[c].first, width_ - P(10)) + P(1.5);
        };
        Place(Placed::Kind::Heading, HeadingHeight(), 0, -1);
        size_t c = 0;
        const size_t total = checks_.size();
        for (; c < total; ++c) {
            const bool last = c + 1 == total;
            const double more = last ? 0 : lineHeight(c) + P(2); // room for the "more" line
            if (pages_.size() == 1 && at_ + lineHeight(c) + more + signOff > height_)
                break;
            Place(Placed::Kind::Line, lineHeight(c), int(c), 0, checks_[c].second);
        }
        const size_t rest = total - c;
        if (rest > 0) {
            checks_.push_back(
                {QStringLiteral("%1 more below the sign-off, on the next page.").arg(rest),
                 Qt::black});
            Place(Placed::Kind::Line, lineHeight(total), int(total));
        }
        Place(Placed::Kind::Heading, HeadingHeight(), 0, -2);
        for (size_t f = 0; f < report_.signOff.size(); ++f)
            Place(Placed::Kind::SignOff, P(22), int(f));
        if (rest > 0) {
            NewPage();
            Place(Placed::Kind::Heading, HeadingHeight(), 0, -4);
            for (; c < total; ++c)
                Place(Placed::Kind::Line, lineHeight(c), int(c), 0, checks_[c].second);
        }

        // The table starts on a page of its own: the first page is the one that is filed.
        pages_.emplace_back();
        at_ = 0;
        Place(Placed::Kind::Heading, HeadingHeight(), 0, -3);
        Place(Placed::Kind::TableHead, rowHeight_ + P(2));
        for (size_t r = 0; r < report_.rows.size(); ++r) {
            if (at_ + rowHeight_ > height_) {
                NewPage();
                Place(Placed::Kind::TableHead, rowHeight_ + P(2));
            }
            Place(Placed::Kind::TableRow, rowHeight_, int(r));
        }
        return pages_;
    }

    void Paint(QPainter& painter, const Page& page, int number, int count) {
        for (const Placed& item : page.items)
            PaintItem(painter, item);
        // The footer: the project on the left, the page on the right, on every page.
        const double top = height_ + footerHeight_ * 0.4;
        painter.setPen(QPen(QColor(136, 136, 136), P(0.5)));
        painter.drawLine(QPointF(0, top), QPointF(width_, top));
        painter.setPen(QColor(68, 68, 68));
        painter.setFont(footer_);
        const QRectF line(0, top + P(2), width_, footerHeight_ * 0.6);
        painter.drawText(line, Qt::AlignLeft | Qt::AlignTop,
                         QStringLiteral("Commissioning report: %1, made %2")
                             .arg(Q(report_.project), Q(report_.created)));
        painter.drawText(line, Qt::AlignRight | Qt::AlignTop,
                         QStringLiteral("page %1 of %2").arg(number).arg(count));
    }

private:
    QFontMetricsF Metrics(const QFont& font) const { return QFontMetricsF(font, device_); }

    double TextHeight(const QFont& font, const QString& text, double width) const {
        return Metrics(font)
            .boundingRect(QRectF(0, 0, width, 1e6), Qt::TextWordWrap | Qt::TextWrapAnywhere, text)
            .height();
    }

    double HeadingHeight() const { return Metrics(heading_).lineSpacing() + P(10); }

    double FieldHeight(const ReportField& field) const {
        const double name = Metrics(bold_).lineSpacing();
        if (field.hash)
            return std::max(name, Metrics(mono_).lineSpacing()) + P(3);
        return std::max(name, TextHeight(body_, Q(field.value), width_ - kNameWidth)) + P(3);
    }

    void NewPage() {
        pages_.emplace_back();
        at_ = 0;
    }

    // A heading never stays alone at the foot of a page.
    void Place(Placed::Kind kind, double height, int index = 0, int section = 0,
               QColor colour = Qt::black) {
        const double keep = kind == Placed::Kind::Heading ? height + rowHeight_ * 2 : height;
        if (at_ > 0 && at_ + keep > height_)
            NewPage();
        pages_.back().items.push_back({kind, at_, height, index, section, colour});
        at_ += height;
    }

    // Every column is as wide as its widest text; the room left goes to the text columns, so
    // the table fills the page. When the page is too narrow the widest text columns give way
    // and their texts end in "…".
    void MeasureColumns() {
        const size_t count = report_.columns.size();
        std::vector<double> need(count, 0);
        const QFontMetricsF head = Metrics(smallBold_);
        const QFontMetricsF cell = Metrics(small_);
        for (size_t c = 0; c < count; ++c)
            need[c] = head.horizontalAdvance(Q(report_.columns[c]));
        for (const auto& row : report_.rows)
            for (size_t c = 0; c < count && c < row.size(); ++c)
                need[c] = std::max(need[c], cell.horizontalAdvance(Q(row[c])));
        for (double& w : need)
            w += 2 * kPadding;
        const double total = std::accumulate(need.begin(), need.end(), 0.0);
        std::vector<size_t> textColumns;
        for (size_t c = 0; c < count; ++c)
            if (!(c < report_.numericColumns.size() && report_.numericColumns[c]) && c != 1)
                textColumns.push_back(c);
        if (total <= width_ || textColumns.empty()) {
            const double share = textColumns.empty() ? 0 : (width_ - total) / textColumns.size();
            for (size_t c : textColumns)
                need[c] += share;
        } else {
            // Cap the text columns at one width that makes the whole fit.
            double fixed = total;
            for (size_t c : textColumns)
                fixed -= need[c];
            const double room = std::max(width_ - fixed, P(40) * double(textColumns.size()));
            std::vector<double> widths;
            for (size_t c : textColumns)
                widths.push_back(need[c]);
            std::sort(widths.begin(), widths.end());
            double cap = room / widths.size();
            double used = 0;
            for (size_t i = 0; i < widths.size(); ++i) {
                const double even = (room - used) / double(widths.size() - i);
                if (widths[i] > even) {
                    cap = even;
                    break;
                }
                used += widths[i];
                cap = widths[i];
            }
            double spare = room;
            for (size_t c : textColumns) {
                need[c] = std::min(need[c], cap);
                spare -= need[c];
            }
            for (size_t c : textColumns)
                need[c] += spare / textColumns.size();
        }
        columnLeft_.assign(count + 1, 0);
        for (size_t c = 0; c < count; ++c)
            columnLeft_[c + 1] = columnLeft_[c] + need[c];
    }

    void PaintCells(QPainter& painter, const std::vector<std::string>& cells, double top,
                    double height, const QFont& font, bool head) {
        painter.setFont(font);
        const QFontMetricsF metrics(font, device_);
        for (size_t c = 0; c + 1 < columnLeft_.size() && c < cells.size(); ++c) {
            const QRectF box(columnLeft_[c] + kPadding, top,
                             columnLeft_[c + 1] - columnLeft_[c] - 2 * kPadding, height);
            const bool numeric = c < report_.numericColumns.size() && report_.numericColumns[c];
            QColor colour = Qt::black;
            if (!head && report_.probed && c + 3 == report_.columns.size())
                colour = cells[c] == "ok"           ? QColor(0, 110, 40)
                         : cells[c] == "not probed" ? QColor(110, 110, 110)
                                                    : QColor(176, 0, 32);
            painter.setPen(colour);
            painter.drawText(box,
                             Qt::AlignVCenter | (numeric && !head ? Qt::AlignRight : Qt::AlignLeft),
                             metrics.elidedText(Q(cells[c]), Qt::ElideRight, box.width()));
        }
    }

    void PaintItem(QPainter& painter, const Placed& item) {
        const QRectF box(0, item.top, width_, item.height);
        switch (item.kind) {
        case Placed::Kind::Title:
            painter.setFont(title_);
            painter.setPen(Qt::black);
            painter.drawText(box, Qt::AlignLeft | Qt::AlignTop,
                             QStringLiteral("Commissioning report: ") + Q(report_.project));
            break;
        case Placed::Kind::Heading: {
            QString text;
            if (item.section >= 0)
                text = Q(report_.sections[size_t(item.section)].title);
            else if (item.section == -1)
                text = QStringLiteral("Checks");
            else if (item.section == -2)
                text = QStringLiteral("Sign-off");
            else if (item.section == -4)
                text = QStringLiteral("Checks, continued");
            else
                text = QStringLiteral("Translate table (%1 rows%2)")
                           .arg(report_.rows.size())
                           .arg(report_.probed ? QStringLiteral(", with the probe's last results")
                                               : QString());
            painter.setFont(heading_);
            painter.setPen(Qt::black);
            const QRectF line(0, item.top + P(6), width_, item.height - P(6));
            painter.drawText(line, Qt::AlignLeft | Qt::AlignTop, text);
            painter.setPen(QPen(QColor(136, 136, 136), P(0.5)));
            const double under = item.top + item.height - P(2);
            painter.drawLine(QPointF(0, under), QPointF(width_, under));
            break;
        }
        case Placed::Kind::Note:
        case Placed::Kind::Line: {
            const bool note = item.kind == Placed::Kind::Note;
            painter.setFont(body_);
            painter.setPen(item.colour);
            const QString text = note ? Q(report_.buildProblem) : checks_[size_t(item.index)].first;
            const double indent = note ? 0 : P(10);
            if (!note)
                painter.drawText(QRectF(0, item.top, indent, item.height),
                                 Qt::AlignLeft | Qt::AlignTop, QStringLiteral("\u2022"));
            painter.drawText(QRectF(indent, item.top, width_ - indent, item.height),
                             Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap | Qt::TextWrapAnywhere,
                             text);
            break;
        }
        case Placed::Kind::Field: {
            const ReportField& field =
                report_.sections[size_t(item.section)].fields[size_t(item.index)];
            painter.setPen(QColor(51, 51, 51));
            painter.setFont(bold_);
            painter.drawText(QRectF(0, item.top + P(1), kNameWidth - P(6), item.height),
                             Qt::AlignLeft | Qt::AlignTop, Q(field.name));
            painter.setPen(Qt::black);
            const QRectF value(kNameWidth, item.top + P(1), width_ - kNameWidth, item.height);
            if (field.hash) {
                // A hash is read and compared whole: one line, never wrapped.
                painter.setFont(mono_);
                painter.drawText(
                    value, Qt::AlignLeft | Qt::AlignTop,
                    Metrics(mono_).elidedText(Q(field.value), Qt::ElideMiddle, value.width()));
            } else {
                painter.setFont(body_);
                painter.drawText(
                    value, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap | Qt::TextWrapAnywhere,
                    Q(field.value));
            }
            break;
        }
        case Placed::Kind::SignOff: {
            painter.setPen(QColor(51, 51, 51));
            painter.setFont(bold_);
            painter.drawText(QRectF(0, item.top, kNameWidth, item.height),
                             Qt::AlignLeft | Qt::AlignBottom,
                             Q(report_.signOff[size_t(item.index)]));
            painter.setPen(QPen(QColor(136, 136, 136), P(0.5)));
            const double line = item.top + item.height - P(2);
            painter.drawLine(QPointF(kNameWidth, line), QPointF(width_, line));
            break;
        }
        case Placed::Kind::TableHead:
            painter.fillRect(QRectF(0, item.top, width_, item.height - P(2)),
                             QColor(230, 230, 230));
            PaintCells(painter, report_.columns, item.top, item.height - P(2), smallBold_, true);
            break;
        case Placed::Kind::TableRow:
            if (item.index % 2 == 1)
                painter.fillRect(box, QColor(245, 245, 245));
            PaintCells(painter, report_.rows[size_t(item.index)], item.top, item.height, small_,
                       false);
            break;
        }
    }

    static constexpr double kNameWidth = P(135);
    static constexpr double kPadding = P(3);

    const CommissioningReport& report_;
    QPaintDevice* device_;
    QFont body_, bold_, mono_, small_, smallBold_, title_, heading_, footer_;
    double width_ = 0, height_ = 0, footerHeight_ = 0, rowHeight_ = 0;
    std::vector<double> columnLeft_;
    std::vector<std::pair<QString, QColor>> checks_;
    std::vector<Page> pages_;
    double at_ = 0;
};

} // namespace

ReportPdf CommissioningReportPdf(const CommissioningReport& report,
                                 const std::function<void(int, int)>& progress) {
    ReportPdf pdf;
    QBuffer buffer(&pdf.bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setResolution(kResolution);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(15, 14, 15, 12), QPageLayout::Millimeter));
    writer.setTitle(QStringLiteral("Commissioning report: ") + Q(report.project));
    writer.setCreator(QStringLiteral("Firmware Fabricor ") + Q(report.release));

    Layout layout(report, writer);
    const std::vector<Page> pages = layout.Pages();
    pdf.pages = int(pages.size());
    QPainter painter(&writer);
    for (size_t i = 0; i < pages.size(); ++i) {
        if (i > 0)
            writer.newPage();
        layout.Paint(painter, pages[i], int(i + 1), pdf.pages);
        if (progress)
            progress(int(i + 1), pdf.pages);
    }
    painter.end();
    return pdf;
}

} // namespace fabricor
