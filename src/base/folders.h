#pragma once

#include <string>

namespace fabricor {

// The platform's path separator. Workspace and project paths are plain text joined with it, so
// the rules that cut and compare them by position behave the same on every platform.
#ifdef _WIN32
inline constexpr char kSeparator = '\\';
#else
inline constexpr char kSeparator = '/';
#endif

bool FolderExists(const std::string& path);
// Creates the folder and any missing parents; true when the folder exists afterwards.
bool ForceFolders(const std::string& path);

} // namespace fabricor
