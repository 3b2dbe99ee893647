#include "cli/options.h"

#include "base/project_files.h"
#include "platform/files.h"

#include <filesystem>

namespace fabricor::cli {

std::optional<std::string> ProjectDocumentAt(const std::string& project,
                                             const std::string& output) {
    namespace fs = std::filesystem;
    const fs::path target = platform::PathOfUtf8(output);
    for (const char* name :
         {ProjectFiles::kGeneralParametersName, ProjectFiles::kTranslateTableName}) {
        const fs::path document = platform::PathOfUtf8(project) / name;
        std::error_code ec;
        // The same file when both exist; the same place when the document does not exist yet.
        if (fs::equivalent(target, document, ec))
            return std::string(name);
        std::error_code targetError, documentError;
        const fs::path whereTarget = fs::weakly_canonical(target, targetError);
        const fs::path whereDocument = fs::weakly_canonical(document, documentError);
        if (!targetError && !documentError && whereTarget == whereDocument)
            return std::string(name);
    }
    return std::nullopt;
}

ParsedArguments ParseArguments(const std::vector<std::string>& args,
                               const std::set<std::string>& valueOptions,
                               const std::set<std::string>& flagOptions) {
    ParsedArguments parsed;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (word == "--help" || word == "-h") {
            parsed.help = true;
            continue;
        }
        if (word.size() < 2 || word.compare(0, 2, "--") != 0) {
            if (word.size() > 1 && word[0] == '-') {
                parsed.error = "unknown option '" + word + "'";
                return parsed;
            }
            parsed.positional.push_back(word);
            continue;
        }
        std::string name = word.substr(2);
        std::optional<std::string> value;
        if (auto equals = name.find('='); equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.erase(equals);
        }
        if (flagOptions.count(name)) {
            if (value) {
                parsed.error = "option '--" + name + "' takes no value";
                return parsed;
            }
            parsed.flags.insert(name);
            continue;
        }
        if (!valueOptions.count(name)) {
            parsed.error = "unknown option '--" + name + "'";
            return parsed;
        }
        if (!value) {
            if (i + 1 == args.size()) {
                parsed.error = "option '--" + name + "' needs a value";
                return parsed;
            }
            value = args[++i];
        }
        if (parsed.values.count(name)) {
            parsed.error = "option '--" + name + "' given twice";
            return parsed;
        }
        parsed.values[name] = *value;
    }
    return parsed;
}

namespace {

std::optional<int> Digits(const std::string& text, size_t at, size_t count) {
    int value = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

} // namespace

std::optional<LocalTime> ParseLocalTime(const std::string& text) {
    if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != 'T' ||
        text[13] != ':' || text[16] != ':')
        return std::nullopt;
    auto year = Digits(text, 0, 4);
    auto month = Digits(text, 5, 2);
    auto day = Digits(text, 8, 2);
    auto hour = Digits(text, 11, 2);
    auto minute = Digits(text, 14, 2);
    auto second = Digits(text, 17, 2);
    if (!year || !month || !day || !hour || !minute || !second)
        return std::nullopt;
    if (*month < 1 || *month > 12 || *day < 1 || *day > DaysInMonth(*year, *month) ||
        *hour > 23 || *minute > 59 || *second > 59)
        return std::nullopt;
    return LocalTime{*year, *month, *day, *hour, *minute, *second};
}

} // namespace fabricor::cli
