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
    bool help = false;
    std::string error; // a usage error, empty when the words made sense
};

ParsedArguments ParseArguments(const std::vector<std::string>& args,
                               const std::set<std::string>& valueOptions);

// "YYYY-MM-DDTHH:MM:SS", a real calendar date and time of day.
std::optional<LocalTime> ParseLocalTime(const std::string& text);

} // namespace fabricor::cli
