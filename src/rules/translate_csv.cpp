#include "rules/translate_csv.h"

#include "base/atomic_file.h"
#include "base/regular_file.h"
#include "documents/integer_text.h"

#include <csv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <optional>

namespace fabricor {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr size_t kFields = kTranslateColumnCount - 1; // the row-number column is not exported

const char* TitleOf(size_t field) {
    return kTranslateColumnTitles[field + 1];
}

bool NeedsQuotes(std::string_view field, char separator) {
    return field.find_first_of(std::string{separator, '"', '\r', '\n'}) != std::string_view::npos;
}

void AppendField(std::string& out, std::string_view field, char separator) {
    if (!NeedsQuotes(field, separator)) {
        out += field;
        return;
    }
    const size_t size = csv_write(nullptr, 0, field.data(), field.size());
    const size_t at = out.size();
    out.resize(at + size);
    csv_write(out.data() + at, size, field.data(), field.size());
}

void AppendLine(std::string& out, const std::array<std::string, kFields>& fields, char separator) {
    for (size_t f = 0; f < kFields; ++f) {
        if (f > 0)
            out += separator;
        AppendField(out, fields[f], separator);
    }
    out += "\r\n";
}

// Where the line that begins at `at` ends: after its CR LF, LF or lone CR, as spreadsheets and
// editors count lines whatever the system that wrote them.
size_t EndOfLine(std::string_view bytes, size_t at) {
    const size_t end = bytes.find_first_of("\r\n", at);
    if (end == std::string_view::npos)
        return bytes.size();
    return end + (bytes.compare(end, 2, "\r\n") == 0 ? 2 : 1);
}

size_t LineAt(std::string_view bytes, size_t offset) {
    size_t line = 1;
    for (size_t at = EndOfLine(bytes, 0); at <= offset && at < bytes.size();
         at = EndOfLine(bytes, at))
        ++line;
    return line;
}

// A cell a spreadsheet would take for a formula: one that begins, after any apostrophes, with
// = + - @, a tab or a CR. Export puts one more apostrophe in front of such a cell (what
// spreadsheets read as "this is text") and import takes exactly that one away again, so a
// table survives the round trip unchanged.
bool BeginsLikeAFormula(std::string_view cell) {
    const size_t at = cell.find_first_not_of('\'');
    return at != std::string_view::npos &&
           std::string_view("=+-@\t\r").find(cell[at]) != std::string_view::npos;
}

std::string GuardedCell(std::string cell) {
    if (BeginsLikeAFormula(cell))
        cell.insert(cell.begin(), '\'');
    return cell;
}

void Unguard(std::string& cell) {
    if (!cell.empty() && cell.front() == '\'' && BeginsLikeAFormula(cell))
        cell.erase(0, 1);
}

// Where the first byte that is not part of valid UTF-8 sits, if any.
std::optional<size_t> FirstInvalidUtf8(std::string_view text) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        const unsigned char c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t length = 0;
        uint32_t min = 0;
        uint32_t code = 0;
        if ((c & 0xE0) == 0xC0) {
            length = 2, min = 0x80, code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3, min = 0x800, code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4, min = 0x10000, code = c & 0x07;
        } else {
            return i;
        }
        if (i + length > n)
            return i;
        for (size_t k = 1; k < length; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                return i;
            code = (code << 6) | (s[i + k] & 0x3F);
        }
        if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return i;
        i += length;
    }
    return std::nullopt;
}

// The separator the header line uses: the most frequent of comma, semicolon and tab.
std::optional<char> SeparatorOf(std::string_view header) {
    char best = 0;
    std::ptrdiff_t most = 0;
    for (char candidate : {',', ';', '\t'}) {
        auto count = std::count(header.begin(), header.end(), candidate);
        if (count > most)
            most = count, best = candidate;
    }
    if (most == 0)
        return std::nullopt;
    return best;
}

// Fields are taken exactly as written: no blank around them is dropped.
int NoSpace(unsigned char) {
    return 0;
}

struct Record {
    size_t line = 0;
    std::vector<std::string> fields;
};

// Collects the records libcsv finds, each with the line it starts on.
class RecordReader {
public:
    explicit RecordReader(char separator) {
        csv_init(&parser_, CSV_STRICT | CSV_STRICT_FINI);
        csv_set_delim(&parser_, static_cast<unsigned char>(separator));
        csv_set_space_func(&parser_, NoSpace);
    }
    ~RecordReader() { csv_free(&parser_); }
    RecordReader(const RecordReader&) = delete;
    RecordReader& operator=(const RecordReader&) = delete;

    // Feeds one physical line (its line end included). False on a quoting error.
    bool Feed(std::string_view line, size_t lineNumber) {
        // Between records the parser has not begun a row: a record starting now starts here.
        if (parser_.pstate == 0)
            start_ = lineNumber;
        return csv_parse(&parser_, line.data(), line.size(), Field, Row, this) == line.size();
    }
    // Ends the input. False when a quoted field was never closed.
    bool Finish() { return csv_fini(&parser_, Field, Row, this) == 0; }

    // The record being read when the input stopped: where it started.
    size_t StartOfCurrent() const { return start_; }

    std::vector<Record> TakeRecords() { return std::move(records_); }
    size_t Count() const { return records_.size(); }

private:
    static void Field(void* text, size_t size, void* self) {
        auto& reader = *static_cast<RecordReader*>(self);
        reader.current_.fields.emplace_back(static_cast<const char*>(text), size);
    }
    static void Row(int, void* self) {
        auto& reader = *static_cast<RecordReader*>(self);
        reader.current_.line = reader.start_;
        reader.records_.push_back(std::move(reader.current_));
        reader.current_ = Record{};
    }

    csv_parser parser_{};
    size_t start_ = 1;
    Record current_;
    std::vector<Record> records_;
};

bool IsBlank(const Record& record) {
    return std::all_of(record.fields.begin(), record.fields.end(),
                       [](const std::string& f) { return f.empty(); });
}

// The columns of the header, by title: for each table field, its position in a record.
struct HeaderMap {
    std::array<size_t, kFields> position{};
    size_t width = 0;
    // Columns without a title (spreadsheets add them after the last one): they must stay empty.
    std::vector<size_t> untitled;
};

std::optional<HeaderMap> ReadHeader(const Record& header,
                                    std::vector<TranslateCsvProblem>& problems) {
    HeaderMap map;
    map.width = header.fields.size();
    std::array<bool, kFields> found{};
    for (size_t p = 0; p < header.fields.size(); ++p) {
        const std::string& title = header.fields[p];
        if (title.empty()) {
            map.untitled.push_back(p);
            continue;
        }
        size_t field = kFields;
        for (size_t f = 0; f < kFields; ++f)
            if (title == TitleOf(f))
                field = f;
        if (field == kFields) {
            problems.push_back({header.line, "", "column \"" + title + "\" is unknown"});
        } else if (found[field]) {
            problems.push_back({header.line, "", "column \"" + title + "\" appears twice"});
        } else {
            found[field] = true;
            map.position[field] = p;
        }
    }
    for (size_t f = 0; f < kFields; ++f)
        if (!found[f])
            problems.push_back(
                {header.line, "", std::string("column \"") + TitleOf(f) + "\" is missing"});
    if (!problems.empty())
        return std::nullopt;
    return map;
}

// A kind code 1 to 4 stands for its kind name; anything else is left for the checks to judge.
void NameTheKind(std::string& kind) {
    if (kind.size() == 1 && kind[0] >= '1' && kind[0] <= '4')
        kind = kDataTypeNames[static_cast<size_t>(kind[0] - '1')];
}

TranslateCsvImport Refused(size_t line, std::string message) {
    TranslateCsvImport refused;
    refused.problems.push_back({line, "", std::move(message)});
    return refused;
}

} // namespace

std::string TranslateTableToCsv(const std::vector<TMyRec>& rows,
                                const TranslateCsvOptions& options) {
    std::string out;
    out.reserve(64 + rows.size() * 48);
    if (options.byteOrderMark)
        out += kByteOrderMark;
    std::array<std::string, kFields> fields;
    for (size_t f = 0; f < kFields; ++f)
        fields[f] = TitleOf(f);
    AppendLine(out, fields, options.separator);
    for (const auto& rec : rows) {
        const size_t kind = static_cast<size_t>(rec.DataType) - 1;
        fields[0] =
            kind < kDataTypeNames.size() ? kDataTypeNames[kind] : CanonicalDecimal(rec.DataType);
        fields[1] = CanonicalDecimal(rec.TcpAddress);
        fields[2] = CanonicalDecimal(rec.RtuAddDev);
        fields[3] = CanonicalDecimal(rec.RtuAddress);
        fields[4] = CanonicalDecimal(rec.NPoint);
        fields[5] = rec.Mnemonic;
        for (auto& field : fields)
            field = GuardedCell(std::move(field));
        AppendLine(out, fields, options.separator);
    }
    return out;
}

std::string DescribeCsvProblem(const TranslateCsvProblem& problem) {
    if (problem.line == 0)
        return problem.message;
    std::string text = "line " + std::to_string(problem.line);
    if (!problem.column.empty())
        text += " " + problem.column;
    return text + ": " + problem.message;
}

TranslateCsvImport TranslateTableFromCsv(std::string_view bytes) {
    if (bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark)
        bytes.remove_prefix(kByteOrderMark.size());
    if (bytes.size() > kMaxTranslateCsvBytes)
        return Refused(
            LineAt(bytes, kMaxTranslateCsvBytes),
            "the file goes on past " + std::to_string(kMaxTranslateCsvBytes >> 20) +
                " MiB, far more than a translate table of 2000 rows; not a translate table");
    if (auto nul = bytes.find('\0'); nul != std::string_view::npos)
        return Refused(LineAt(bytes, nul), "a NUL byte; this is not a CSV text file");
    if (auto bad = FirstInvalidUtf8(bytes))
        return Refused(LineAt(bytes, *bad), "text that is not UTF-8; save the file as CSV UTF-8");

    const std::string_view header = bytes.substr(0, EndOfLine(bytes, 0));
    auto separator = SeparatorOf(header);
    if (!separator)
        return Refused(1, "the header has no comma, semicolon or tab between column titles; "
                          "not a CSV translate table");

    TranslateCsvImport result;
    RecordReader reader(*separator);
    size_t lineNumber = 0;
    size_t dataRows = 0;
    std::optional<HeaderMap> columns;
    std::vector<TranslateRowCells> cells;
    std::vector<Record> pending;

    // Checks the records read so far; false when reading must stop.
    auto take = [&](std::vector<Record> records) {
        for (auto& record : records) {
            if (!columns) {
                columns = ReadHeader(record, result.problems);
                if (!columns)
                    return false;
                continue;
            }
            if (IsBlank(record))
                continue;
            if (++dataRows > kMaxTranslateRows) {
                result.problems.push_back(
                    {record.line, "",
                     "more than 2000 rows; the translate table holds at most 2000"});
                return false;
            }
            if (record.fields.size() != columns->width) {
                result.problems.push_back({record.line, "",
                                           std::to_string(record.fields.size()) +
                                               " fields where the header has " +
                                               std::to_string(columns->width)});
                continue;
            }
            for (size_t p : columns->untitled)
                if (!record.fields[p].empty())
                    result.problems.push_back(
                        {record.line, "",
                         "a value in column " + std::to_string(p + 1) + ", which has no title"});
            TranslateRowCells row;
            for (size_t f = 0; f < kFields; ++f) {
                row[f] = std::move(record.fields[columns->position[f]]);
                Unguard(row[f]);
            }
            NameTheKind(row[0]);
            for (auto& problem : TranslateRowProblems(row, record.line))
                result.problems.push_back(
                    {problem.row, kTranslateColumnTitles[static_cast<size_t>(problem.column)],
                     std::move(problem.message)});
            cells.push_back(std::move(row));
        }
        return true;
    };

    size_t at = 0;
    bool stopped = false;
    while (at < bytes.size() && !stopped) {
        const size_t end = EndOfLine(bytes, at);
        ++lineNumber;
        if (!reader.Feed(bytes.substr(at, end - at), lineNumber)) {
            take(reader.TakeRecords());
            result.problems.push_back({lineNumber, "",
                                       "a quote in the wrong place: a quoted field begins and ends "
                                       "with a quote, and a quote inside it is doubled"});
            return result;
        }
        at = end;
        stopped = !take(reader.TakeRecords());
    }
    if (!stopped) {
        const size_t start = reader.StartOfCurrent();
        const bool finished = reader.Finish();
        stopped = !take(reader.TakeRecords());
        if (!finished && !stopped)
            result.problems.push_back({start, "", "a quote opened here is never closed"});
    }
    if (!columns && result.problems.empty())
        result.problems.push_back({1, "", "no header line; not a CSV translate table"});
    if (!result.problems.empty())
        return result;
    result.rows.reserve(cells.size());
    for (const auto& row : cells)
        result.rows.push_back(*RecordOfCells(row));
    return result;
}

TranslateCsvImport ReadTranslateTableCsv(const std::string& path) {
    // Only a regular file: a FIFO or a device would block or never end. The size is checked
    // below, while reading, so that an oversized file is named with the line where it overflows.
    RegularFile file = RegularFile::Open(path, uint64_t{1} << 62);
    if (!file.ok())
        return Refused(0, "cannot open " + file.error());
    // One byte more than the limit tells a file that goes on past it.
    const size_t limit = kMaxTranslateCsvBytes + kByteOrderMark.size() + 1;
    std::string bytes;
    constexpr size_t kChunk = 256 * 1024;
    while (bytes.size() < limit) {
        const size_t at = bytes.size();
        bytes.resize(std::min(limit, at + kChunk));
        const long long got = file.ReadSome(bytes.data() + at, bytes.size() - at);
        if (got < 0)
            return Refused(0, "cannot read " + file.error());
        bytes.resize(at + static_cast<size_t>(got));
        if (got == 0)
            break;
    }
    return TranslateTableFromCsv(bytes);
}

} // namespace fabricor
