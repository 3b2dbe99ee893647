#pragma once

#include "base/atomic_file.h"
#include "base/status.h"

#include <filesystem>
#include <string>

namespace fabricor {

// A small INI file: "[section]" headers, "key=value" lines. Section and key names match without
// regard to case. Values are stored and read back exactly as given: a backslash is an ordinary
// character and no blanks are trimmed from a value.

// Missing file, section or key reads as the empty text; so does a file that cannot be read.
std::string ReadIniValue(const std::filesystem::path& file, const std::string& section,
                         const std::string& key);
// The same; `problem` says why a file that is there could not be read (not a regular file,
// larger than any settings file, unreadable), and is empty otherwise.
std::string ReadIniValue(const std::filesystem::path& file, const std::string& section,
                         const std::string& key, std::string& problem);

// Creates the file and the section when needed and replaces the key's value; every other line of
// the file (other sections and keys, comments, blank lines, their order) is kept byte for byte.
// The file is replaced atomically, so a failed write leaves the previous file as it was.
Status WriteIniValue(const std::filesystem::path& file, const std::string& section,
                     const std::string& key, const std::string& value,
                     FileOutput& output = SystemFileOutput());

// The same with the file's name as UTF-8 text.
std::string ReadIniValue(const std::string& file, const std::string& section,
                         const std::string& key);
std::string ReadIniValue(const std::string& file, const std::string& section,
                         const std::string& key, std::string& problem);
Status WriteIniValue(const std::string& file, const std::string& section, const std::string& key,
                     const std::string& value, FileOutput& output = SystemFileOutput());

} // namespace fabricor
