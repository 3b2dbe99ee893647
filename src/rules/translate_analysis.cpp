#include "rules/translate_analysis.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <unordered_map>

namespace fabricor {

namespace {

constexpr int32_t kLastAddress = 65535;
constexpr size_t kNotesPerRow = 4;

// A warning before it is put into words: cheap to keep by the million.
struct Finding {
    TableWarningKind kind;
    uint16_t row;   // from 1
    uint16_t other; // from 1, or 0
    bool operator<(const Finding& b) const {
        if (row != b.row)
            return row < b.row;
        if (other != b.other)
            return other < b.other;
        return kind < b.kind;
    }
};

std::string KindName(uint8_t code) {
    return code >= 1 && code <= kDataTypeNames.size() ? kDataTypeNames[code - 1u] : "?";
}

std::string Range(const char* side, int32_t from, int32_t to) {
    if (from == to)
        return std::string(side) + " address " + std::to_string(from);
    return std::string(side) + " addresses " + std::to_string(from) + " to " + std::to_string(to);
}

int32_t End(uint16_t start, uint8_t points) {
    return int32_t{start} + points - 1;
}

std::string Describe(const Finding& f, const std::vector<const TMyRec*>& recs) {
    const TMyRec& a = *recs[f.row - 1u];
    const std::string row = "row " + std::to_string(f.row);
    switch (f.kind) {
    case TableWarningKind::Overlap: {
        const TMyRec& b = *recs[f.other - 1u];
        const int32_t from = std::max(a.TcpAddress, b.TcpAddress);
        const int32_t to = std::min(End(a.TcpAddress, a.NPoint), End(b.TcpAddress, b.NPoint));
        return "rows " + std::to_string(f.row) + " and " + std::to_string(f.other) + ": " +
               KindName(a.DataType) + " " + Range("TCP", from, to) + " overlap";
    }
    case TableWarningKind::TcpPastEnd:
        return row + ": " + Range("TCP", a.TcpAddress, End(a.TcpAddress, a.NPoint)) +
               " run past 65535";
    case TableWarningKind::RtuPastEnd:
        return row + ": " + Range("RTU", a.RtuAddress, End(a.RtuAddress, a.NPoint)) +
               " run past 65535";
    case TableWarningKind::NoPoints:
        return row + ": N° Point is 0, the row maps nothing";
    case TableWarningKind::SameRead:
        return "rows " + std::to_string(f.row) + " and " + std::to_string(f.other) +
               " read the same: RTU device " + std::to_string(a.RtuAddDev) + ", " +
               KindName(a.DataType) + " " + Range("RTU", a.RtuAddress, End(a.RtuAddress, a.NPoint));
    case TableWarningKind::Full:
        break;
    }
    return {};
}

// Orders by row, then other row, then kind: three stable counting passes, linear in the number of
// findings, which runs into millions when thousands of rows share addresses.
void SortFindings(std::vector<Finding>& findings, size_t rows) {
    std::vector<Finding> buffer(findings.size());
    auto pass = [&](size_t keys, auto key) {
        std::vector<size_t> start(keys + 1, 0);
        for (const auto& f : findings)
            ++start[key(f) + 1];
        for (size_t k = 1; k <= keys; ++k)
            start[k] += start[k - 1];
        for (const auto& f : findings)
            buffer[start[key(f)]++] = f;
        findings.swap(buffer);
    };
    pass(static_cast<size_t>(TableWarningKind::Full) + 1,
         [](const Finding& f) { return static_cast<size_t>(f.kind); });
    pass(rows + 1, [](const Finding& f) { return size_t{f.other}; });
    pass(rows + 1, [](const Finding& f) { return size_t{f.row}; });
}

std::string Counted(size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

} // namespace

TranslateTableAnalysis AnalyseTranslateTable(const std::vector<std::optional<TMyRec>>& rows) {
    TranslateTableAnalysis result;
    const size_t count = std::min(rows.size(), kMaxTranslateRows);
    result.rowsUsed = count;
    result.full = count == kMaxTranslateRows;
    result.rowNotes.assign(count, std::string());

    std::vector<const TMyRec*> recs(count, nullptr);
    std::vector<Finding> findings;
    // Per data type: (start, end, row) of every row that maps something.
    struct Span {
        int32_t start, end;
        uint16_t row;
    };
    std::array<std::vector<Span>, 4> spans;
    // Same RTU device, data type, address and length: the first row that read it.
    std::unordered_map<uint64_t, uint16_t> reads;
    reads.reserve(count);

    for (size_t i = 0; i < count; ++i) {
        if (!rows[i])
            continue;
        const TMyRec& rec = *rows[i];
        recs[i] = &rec;
        const auto row = static_cast<uint16_t>(i + 1);
        if (rec.NPoint == 0) {
            findings.push_back({TableWarningKind::NoPoints, row, 0});
            continue;
        }
        if (End(rec.TcpAddress, rec.NPoint) > kLastAddress)
            findings.push_back({TableWarningKind::TcpPastEnd, row, 0});
        if (End(rec.RtuAddress, rec.NPoint) > kLastAddress)
            findings.push_back({TableWarningKind::RtuPastEnd, row, 0});
        if (rec.DataType >= 1 && rec.DataType <= 4)
            spans[rec.DataType - 1u].push_back(
                {rec.TcpAddress, End(rec.TcpAddress, rec.NPoint), row});
        const uint64_t key = (uint64_t{rec.RtuAddDev} << 40) | (uint64_t{rec.DataType} << 32) |
                             (uint64_t{rec.RtuAddress} << 8) | rec.NPoint;
        auto [first, inserted] = reads.emplace(key, row);
        if (!inserted)
            findings.push_back({TableWarningKind::SameRead, first->second, row});
    }

    for (auto& kind : spans) {
        std::sort(kind.begin(), kind.end(), [](const Span& a, const Span& b) {
            return a.start != b.start ? a.start < b.start : a.row < b.row;
        });
        for (size_t i = 0; i < kind.size(); ++i)
            for (size_t j = i + 1; j < kind.size() && kind[j].start <= kind[i].end; ++j)
                findings.push_back({TableWarningKind::Overlap, std::min(kind[i].row, kind[j].row),
                                    std::max(kind[i].row, kind[j].row)});
    }
    SortFindings(findings, count);

    std::vector<size_t> notes(count, 0);
    auto wants = [&](uint16_t row) { return row != 0 && notes[row - 1u] < kNotesPerRow; };
    auto note = [&](uint16_t row, const std::string& text) {
        size_t& n = notes[row - 1u];
        std::string& into = result.rowNotes[row - 1u];
        if (n < kNotesPerRow)
            into += (into.empty() ? "" : "\n") + text;
        else if (n == kNotesPerRow)
            into += "\n…";
        ++n;
    };
    for (const auto& f : findings) {
        switch (f.kind) {
        case TableWarningKind::Overlap:
            ++result.overlaps;
            break;
        case TableWarningKind::TcpPastEnd:
        case TableWarningKind::RtuPastEnd:
            ++result.pastEnd;
            break;
        case TableWarningKind::NoPoints:
            ++result.noPoints;
            break;
        case TableWarningKind::SameRead:
            ++result.sameReads;
            break;
        case TableWarningKind::Full:
            break;
        }
        const bool listed = result.warnings.size() < kMaxListedTableWarnings;
        if (!listed && !wants(f.row) && !wants(f.other)) {
            // Neither listed nor shown: counted without words.
            ++result.unlisted;
            for (uint16_t row : {f.row, f.other})
                if (row != 0 && notes[row - 1u]++ == kNotesPerRow)
                    result.rowNotes[row - 1u] += "\n…";
            continue;
        }
        std::string text;
        if (listed || wants(f.row) || wants(f.other))
            text = Describe(f, recs);
        note(f.row, text);
        if (f.other)
            note(f.other, text);
        if (listed)
            result.warnings.push_back({f.kind, f.row, f.other, std::move(text)});
        else
            ++result.unlisted;
    }
    if (result.full) {
        if (result.warnings.size() < kMaxListedTableWarnings)
            result.warnings.push_back(
                {TableWarningKind::Full, 0, 0, "the table is full: 2000 of 2000 rows used"});
        else
            ++result.unlisted;
    }
    return result;
}

TranslateTableAnalysis AnalyseTranslateTable(const std::vector<TMyRec>& rows) {
    std::vector<std::optional<TMyRec>> all(rows.begin(), rows.end());
    return AnalyseTranslateTable(all);
}

std::vector<std::string> UnreachableRows(const std::vector<TMyRec>& rows) {
    std::vector<const TMyRec*> recs;
    for (const auto& rec : rows)
        recs.push_back(&rec);
    // The TCP range a row really serves: no address past 65535 on either side.
    auto servedEnd = [](const TMyRec& rec) {
        return std::min({End(rec.TcpAddress, rec.NPoint), kLastAddress,
                         int32_t{rec.TcpAddress} + (kLastAddress - rec.RtuAddress)});
    };
    std::vector<std::string> lines;
    for (size_t i = 0; i < rows.size() && i < kMaxTranslateRows; ++i) {
        const TMyRec& rec = rows[i];
        const auto row = static_cast<uint16_t>(i + 1);
        const std::string name = "row " + std::to_string(row);
        if (rec.NPoint == 0) {
            lines.push_back(Describe({TableWarningKind::NoPoints, row, 0}, recs) +
                            ": no request reaches it");
            continue;
        }
        const int32_t end = servedEnd(rec);
        if (End(rec.TcpAddress, rec.NPoint) > kLastAddress)
            lines.push_back(Describe({TableWarningKind::TcpPastEnd, row, 0}, recs) + ": " +
                            Range("TCP", kLastAddress + 1, End(rec.TcpAddress, rec.NPoint)) +
                            " can never be requested");
        if (End(rec.RtuAddress, rec.NPoint) > kLastAddress && end < kLastAddress)
            lines.push_back(
                Describe({TableWarningKind::RtuPastEnd, row, 0}, recs) + ": " +
                Range("TCP", end + 1, std::min(End(rec.TcpAddress, rec.NPoint), kLastAddress)) +
                " map to no RTU address and are never served");
        for (size_t j = 0; j < i; ++j) {
            const TMyRec& earlier = rows[j];
            if (earlier.DataType == rec.DataType && earlier.NPoint > 0 &&
                earlier.TcpAddress <= rec.TcpAddress && servedEnd(earlier) >= end) {
                lines.push_back(name + ": " + KindName(rec.DataType) + " " +
                                Range("TCP", rec.TcpAddress, end) + " all lie within row " +
                                std::to_string(j + 1) + "'s, which comes first: " + name +
                                " is never used");
                break;
            }
        }
    }
    return lines;
}

std::string TableAnalysisSummary(const TranslateTableAnalysis& a) {
    // Counts as the rest of the editor writes them ("2000", the row numbers): without separators.
    std::string text =
        std::to_string(a.rowsUsed) + " of " + std::to_string(kMaxTranslateRows) + " rows";
    const char* dot = " · ";
    if (a.overlaps)
        text += dot + Counted(a.overlaps, "overlap", "overlaps");
    if (a.pastEnd)
        text += dot + Counted(a.pastEnd, "past 65535", "past 65535");
    if (a.noPoints)
        text += dot + Counted(a.noPoints, "without points", "without points");
    if (a.sameReads)
        text += dot + Counted(a.sameReads, "duplicate", "duplicates");
    return text;
}

} // namespace fabricor
