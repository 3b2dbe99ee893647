#pragma once

#include "platform/files.h"

#include <string>
#include <string_view>

namespace fabricor {

// The platform's path separator. Workspace and project paths are plain text joined with it, so
// the rules that cut and compare them by position behave the same on every platform.
inline constexpr char kSeparator = platform::kSeparator;

bool FolderExists(const std::string& path);
// Creates the folder and any missing parents; true when the folder exists afterwards.
bool ForceFolders(const std::string& path);

// Whether the text holds a control character (below blank, or DEL). No project name does.
bool HoldsControlCharacter(std::string_view text);

} // namespace fabricor
