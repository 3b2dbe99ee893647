#include "project/probe_results.h"

#include "base/regular_file.h"

#include <cmath>
#include <cstdlib>
#include <memory>
#include <utility>

namespace fabricor {
namespace {

// What JSON a probe file can hold; strings stay as their UTF-8 bytes.
struct Value {
    enum class Kind { Null, Boolean, Number, String, Array, Object } kind = Kind::Null;
    bool boolean = false;
    double number = 0;
    bool integral = false;
    std::string text;
    std::vector<Value> items;
    // An object's members: names[i] names members[i]. (A pair of a name and a Value would hold
    // a Value before its type is complete, which not every library allows.)
    std::vector<std::string> names;
    std::vector<Value> members;

    const Value* Member(const std::string& name) const {
        for (size_t i = 0; i < names.size(); ++i)
            if (names[i] == name)
                return &members[i];
        return nullptr;
    }
};

struct Refused {
    std::string why;
};

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    Value Document() {
        Value value = Parse(0);
        SkipBlanks();
        if (at_ != text_.size())
            Fail("text after the end of the document");
        return value;
    }

    [[noreturn]] void Fail(const std::string& why) const {
        size_t line = 1;
        for (size_t i = 0; i < at_ && i < text_.size(); ++i)
            line += text_[i] == '\n';
        throw Refused{"line " + std::to_string(line) + ": " + why};
    }

private:
    // A probe file is a list of flat rows: deeper nesting is a wrong file, not one to recurse on.
    static constexpr int kDepthLimit = 32;

    void SkipBlanks() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' ||
                                      text_[at_] == '\n' || text_[at_] == '\r'))
            ++at_;
    }

    bool Take(char c) {
        SkipBlanks();
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }

    void Expect(char c) {
        if (!Take(c))
            Fail(std::string("expected '") + c + "'");
    }

    bool Word(std::string_view word) {
        if (text_.substr(at_, word.size()) != word)
            return false;
        at_ += word.size();
        return true;
    }

    Value Parse(int depth) {
        if (depth > kDepthLimit)
            Fail("nested too deeply");
        SkipBlanks();
        if (at_ >= text_.size())
            Fail("the document ends early");
        Value value;
        const char c = text_[at_];
        if (c == '{') {
            ++at_;
            value.kind = Value::Kind::Object;
            if (Take('}'))
                return value;
            do {
                SkipBlanks();
                if (at_ >= text_.size() || text_[at_] != '"')
                    Fail("expected a member name");
                std::string name = String();
                Expect(':');
                value.names.push_back(std::move(name));
                value.members.push_back(Parse(depth + 1));
            } while (Take(','));
            Expect('}');
        } else if (c == '[') {
            ++at_;
            value.kind = Value::Kind::Array;
            if (Take(']'))
                return value;
            do
                value.items.push_back(Parse(depth + 1));
            while (Take(','));
            Expect(']');
        } else if (c == '"') {
            value.kind = Value::Kind::String;
            value.text = String();
        } else if (Word("true")) {
            value.kind = Value::Kind::Boolean;
            value.boolean = true;
        } else if (Word("false")) {
            value.kind = Value::Kind::Boolean;
        } else if (Word("null")) {
            value.kind = Value::Kind::Null;
        } else if (c == '-' || (c >= '0' && c <= '9')) {
            Number(value);
        } else {
            Fail("not a JSON value");
        }
        return value;
    }

    void Number(Value& value) {
        const size_t start = at_;
        bool integral = true;
        if (text_[at_] == '-')
            ++at_;
        auto digits = [&] {
            const size_t from = at_;
            while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9')
                ++at_;
            if (at_ == from)
                Fail("a number without digits");
        };
        digits();
        if (at_ < text_.size() && text_[at_] == '.') {
            ++at_;
            integral = false;
            digits();
        }
        if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
            ++at_;
            integral = false;
            if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-'))
                ++at_;
            digits();
        }
        const std::string digitsText(text_.substr(start, at_ - start));
        value.kind = Value::Kind::Number;
        value.number = std::strtod(digitsText.c_str(), nullptr);
        value.integral = integral && std::isfinite(value.number);
    }

    static void Utf8(std::string& out, unsigned code) {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | code >> 6);
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | code >> 12);
            out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | code >> 18);
            out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    unsigned Hex4() {
        if (at_ + 4 > text_.size())
            Fail("a \\u escape ends early");
        unsigned code = 0;
        for (int i = 0; i < 4; ++i) {
            const char h = text_[at_++];
            code <<= 4;
            if (h >= '0' && h <= '9')
                code |= static_cast<unsigned>(h - '0');
            else if (h >= 'a' && h <= 'f')
                code |= static_cast<unsigned>(h - 'a' + 10);
            else if (h >= 'A' && h <= 'F')
                code |= static_cast<unsigned>(h - 'A' + 10);
            else
                Fail("a \\u escape that is not hexadecimal");
        }
        return code;
    }

    std::string String() {
        ++at_; // the opening quote
        std::string out;
        for (;;) {
            if (at_ >= text_.size())
                Fail("a string without its closing quote");
            const char c = text_[at_++];
            if (c == '"')
                return out;
            if (static_cast<unsigned char>(c) < 0x20)
                Fail("a control character inside a string");
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at_ >= text_.size())
                Fail("a string without its closing quote");
            const char e = text_[at_++];
            switch (e) {
            case '"':
                out += '"';
                break;
            case '\\':
                out += '\\';
                break;
            case '/':
                out += '/';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u': {
                unsigned code = Hex4();
                if (code >= 0xD800 && code < 0xDC00 && Word("\\u")) {
                    const unsigned low = Hex4();
                    if (low < 0xDC00 || low > 0xDFFF)
                        Fail("a surrogate pair that does not pair");
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                } else if (code >= 0xD800 && code < 0xE000) {
                    Fail("a lone surrogate");
                }
                Utf8(out, code);
                break;
            }
            default:
                Fail("an unknown escape in a string");
            }
        }
    }

    std::string_view text_;
    size_t at_ = 0;
};

constexpr int kLastRow = 2000;

ProbeRow RowOf(const Value& item, size_t index) {
    const std::string where = "entry " + std::to_string(index + 1) + ": ";
    if (item.kind != Value::Kind::Object)
        throw Refused{where + "not an object"};
    ProbeRow row;
    const Value* number = item.Member("row");
    if (!number || number->kind != Value::Kind::Number || !number->integral || number->number < 1 ||
        number->number > kLastRow)
        throw Refused{where + "\"row\" must be a row number from 1 to 2000"};
    row.row = static_cast<int>(number->number);
    const Value* status = item.Member("status");
    if (!status || status->kind != Value::Kind::String || status->text.empty())
        throw Refused{where + "\"status\" must be a text"};
    row.status = status->text;
    // "ms" is what `fabricor-cli probe --format json` names it.
    const Value* time = item.Member("response_ms");
    const char* timeName = "response_ms";
    if (!time) {
        time = item.Member("ms");
        timeName = "ms";
    }
    if (time && time->kind != Value::Kind::Null) {
        if (time->kind != Value::Kind::Number || time->number < 0)
            throw Refused{where + "\"" + timeName + "\" must be a number of milliseconds or null"};
        row.responseMs = time->number;
    }
    if (const Value* values = item.Member("values")) {
        if (values->kind != Value::Kind::Array)
            throw Refused{where + "\"values\" must be an array"};
        for (const Value& v : values->items) {
            if (v.kind == Value::Kind::Boolean)
                row.values.push_back(v.boolean ? 1 : 0);
            else if (v.kind == Value::Kind::Number && v.integral && std::fabs(v.number) < 1e15)
                row.values.push_back(static_cast<long long>(v.number));
            else
                throw Refused{where + "\"values\" must hold integers"};
        }
    }
    return row;
}

} // namespace

// What `fabricor-cli probe --format json` saves: one entry per read, a row of more objects than
// one read may carry being read in several. A row's reads make one result: its values in
// address order, the time of all its reads, and the first failure's words (else "ok").
ProbeResults RowsOfReads(const Value& reads) {
    if (reads.kind != Value::Kind::Array)
        throw Refused{"\"reads\" must be an array"};
    ProbeResults results;
    for (size_t i = 0; i < reads.items.size(); ++i) {
        ProbeRow read = RowOf(reads.items[i], i);
        if (read.status != "ok")
            if (const Value* text = reads.items[i].Member("text");
                text && text->kind == Value::Kind::String && !text->text.empty())
                read.status = text->text;
        auto [at, first] = results.rows.emplace(read.row, read);
        if (first)
            continue;
        ProbeRow& row = at->second;
        if (row.status == "ok" && read.status != "ok")
            row.status = read.status;
        if (read.responseMs)
            row.responseMs = row.responseMs.value_or(0) + *read.responseMs;
        row.values.insert(row.values.end(), read.values.begin(), read.values.end());
    }
    return results;
}

ProbeResults ReadProbeResultsText(std::string_view json) {
    ProbeResults results;
    try {
        Parser parser(json);
        Value document = parser.Document();
        const Value* list = &document;
        if (document.kind == Value::Kind::Object) {
            list = document.Member("rows");
            if (!list) {
                if (const Value* reads = document.Member("reads"))
                    return RowsOfReads(*reads);
            }
        }
        if (!list || list->kind != Value::Kind::Array)
            throw Refused{"expected an array of rows (or an object with one as \"rows\" or "
                          "a probe's \"reads\")"};
        for (size_t i = 0; i < list->items.size(); ++i) {
            ProbeRow row = RowOf(list->items[i], i);
            const int number = row.row;
            if (!results.rows.emplace(number, std::move(row)).second)
                throw Refused{"entry " + std::to_string(i + 1) + ": row " + std::to_string(number) +
                              " is named twice"};
        }
    } catch (const Refused& refused) {
        results.rows.clear();
        results.error = refused.why;
    }
    return results;
}

ProbeResults ReadProbeResultsFile(const std::string& path) {
    // A probe of 2000 rows of 125 values stays far below this.
    constexpr uint64_t kProbeReadLimit = uint64_t{64} << 20;
    FileRead read = ReadRegularFile(path, kProbeReadLimit);
    if (!read.bytes) {
        ProbeResults results;
        results.error = read.error;
        return results;
    }
    ProbeResults results = ReadProbeResultsText(*read.bytes);
    if (!results.ok())
        results.error = path + ": " + results.error;
    return results;
}

} // namespace fabricor
