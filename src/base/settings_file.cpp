#include "base/settings_file.h"

#include "base/atomic_file.h"
#include "base/regular_file.h"
#include "platform/files.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <vector>

namespace fabricor {
namespace {

struct Line {
    std::string text;   // without its line end
    std::string ending; // "\r\n", "\n" or "" for an unterminated last line
};

std::vector<Line> SplitLines(const std::string& bytes) {
    std::vector<Line> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back({bytes.substr(start), ""});
            break;
        }
        if (end > start && bytes[end - 1] == '\r')
            lines.push_back({bytes.substr(start, end - 1 - start), "\r\n"});
        else
            lines.push_back({bytes.substr(start, end - start), "\n"});
        start = end + 1;
    }
    return lines;
}

std::string_view Trim(std::string_view text) {
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::optional<std::string_view> SectionName(std::string_view line) {
    auto text = Trim(line);
    if (text.size() < 2 || text.front() != '[')
        return std::nullopt;
    auto close = text.find(']');
    if (close == std::string_view::npos)
        return std::nullopt;
    return Trim(text.substr(1, close - 1));
}

bool IsComment(std::string_view line) {
    auto text = Trim(line);
    return !text.empty() && (text.front() == ';' || text.front() == '#');
}

// Key of a "key=value" line, or nothing.
std::optional<std::string_view> KeyOf(std::string_view line) {
    if (IsComment(line))
        return std::nullopt;
    auto equals = line.find('=');
    if (equals == std::string_view::npos)
        return std::nullopt;
    return Trim(line.substr(0, equals));
}

// Index range [first, last) of the section's body lines, or nothing.
std::optional<std::pair<size_t, size_t>> FindSection(const std::vector<Line>& lines,
                                                     const std::string& section) {
    for (size_t i = 0; i < lines.size(); ++i) {
        auto name = SectionName(lines[i].text);
        if (!name || !SameName(*name, section))
            continue;
        size_t end = i + 1;
        while (end < lines.size() && !SectionName(lines[end].text))
            ++end;
        return std::make_pair(i + 1, end);
    }
    return std::nullopt;
}

std::optional<size_t> FindKey(const std::vector<Line>& lines, std::pair<size_t, size_t> body,
                              const std::string& key) {
    for (size_t i = body.first; i < body.second; ++i) {
        auto name = KeyOf(lines[i].text);
        if (name && SameName(*name, key))
            return i;
    }
    return std::nullopt;
}

} // namespace

std::string ReadIniValue(const std::filesystem::path& file, const std::string& section,
                         const std::string& key) {
    std::string ignored;
    return ReadIniValue(file, section, key, ignored);
}

std::string ReadIniValue(const std::filesystem::path& file, const std::string& section,
                         const std::string& key, std::string& problem) {
    problem.clear();
    FileRead read = ReadRegularFile(file, kSettingsReadLimit);
    if (!read.bytes) {
        if (!read.missing)
            problem = read.error;
        return {};
    }
    auto lines = SplitLines(*read.bytes);
    auto body = FindSection(lines, section);
    if (!body)
        return {};
    auto index = FindKey(lines, *body, key);
    if (!index)
        return {};
    const auto& text = lines[*index].text;
    return text.substr(text.find('=') + 1);
}

Status WriteIniValue(const std::filesystem::path& file, const std::string& section,
                     const std::string& key, const std::string& value, FileOutput& output) {
    if (value.find_first_of("\r\n") != std::string::npos)
        return Status::Error(platform::Utf8Name(file) + ": a value cannot hold a line break");

    // A file that is there but cannot be read is never replaced: its other lines would be lost.
    FileRead read = ReadRegularFile(file, kSettingsReadLimit);
    if (!read.bytes && !read.missing)
        return Status::Error(read.error);
    std::string bytes = read.bytes ? std::move(*read.bytes) : std::string();
    auto lines = SplitLines(bytes);
    // New lines follow the file's own line ends; a new file gets CR LF.
    const bool lineFeedsOnly =
        bytes.find('\n') != std::string::npos && bytes.find("\r\n") == std::string::npos;
    const std::string ending(lineFeedsOnly ? "\n" : "\r\n");
    if (!lines.empty() && lines.back().ending.empty())
        lines.back().ending = ending;

    Line entry{key + "=" + value, ending};
    if (auto body = FindSection(lines, section)) {
        if (auto index = FindKey(lines, *body, key)) {
            entry.ending = lines[*index].ending.empty() ? ending : lines[*index].ending;
            lines[*index] = entry;
        } else {
            // After the section's last non-blank line, so blank separators stay where they are.
            size_t at = body->second;
            while (at > body->first && Trim(lines[at - 1].text).empty())
                --at;
            lines.insert(lines.begin() + static_cast<long>(at), entry);
        }
    } else {
        lines.push_back({"[" + section + "]", ending});
        lines.push_back(entry);
    }

    std::string out;
    out.reserve(bytes.size() + entry.text.size() + section.size() + 8);
    for (const auto& line : lines)
        out += line.text + line.ending;
    return WriteFileAtomically(file, out, output);
}

std::string ReadIniValue(const std::string& file, const std::string& section,
                         const std::string& key) {
    return ReadIniValue(platform::PathOfUtf8(file), section, key);
}

std::string ReadIniValue(const std::string& file, const std::string& section,
                         const std::string& key, std::string& problem) {
    return ReadIniValue(platform::PathOfUtf8(file), section, key, problem);
}

Status WriteIniValue(const std::string& file, const std::string& section, const std::string& key,
                     const std::string& value, FileOutput& output) {
    return WriteIniValue(platform::PathOfUtf8(file), section, key, value, output);
}

} // namespace fabricor
