#pragma once

#include "base/clock.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace fabricor::cli {

// A command line split into positional words and "--name value" (or "--name=value") options.
struct ParsedArguments {
    std::vector<std::string> positional;
    std::map<std::string, std::string> values;
    std::set<std::string> flags; // options without a value that were given
    bool help = false;
    std::string error; // a usage error, empty when the words made sense
};

ParsedArguments ParseArguments(const std::vector<std::string>& args,
                               const std::set<std::string>& valueOptions,
                               const std::set<std::string>& flagOptions = {});

// The name of PROJECT's own document (pargen.xml or var.xml) that `output` is the same file as,
// however either is spelled (through links, "..", another case where the system ignores it);
// nothing when `output` is neither. A command's output never replaces the project it reads.
std::optional<std::string> ProjectDocumentAt(const std::string& project, const std::string& output);

// "YYYY-MM-DDTHH:MM:SS", a real calendar date and time of day.
std::optional<LocalTime> ParseLocalTime(const std::string& text);

} // namespace fabricor::cli
