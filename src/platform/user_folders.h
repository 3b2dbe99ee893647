#pragma once

#include <functional>
#include <optional>
#include <string>

// The running program's folder and the user's own folders, as this system names them. Names
// are UTF-8 text.
namespace fabricor::platform {

// The full path of the running executable, symbolic links resolved; empty when the system does
// not say.
std::string ExecutablePath();

// Whether the program may make files in `folder` (see base/application_folder.h).
bool FolderIsWritable(const std::string& folder);

// Whether the program may list and open what `folder` holds: it exists and the system lets this
// process read it; on POSIX its mode also keeps a read bit, as the write rule keeps a write bit.
bool FolderIsReadable(const std::string& folder);

// A variable of the environment, nothing when unset.
std::optional<std::string> EnvironmentVariable(const char* name);

// The user's home folder from the user database; empty when there is none to ask.
std::string UserDatabaseHome();

// The per-user data folder of this program as the system's conventions place it, from the
// environment's `variable`s and, when they do not say, the user database's `homeFolder`;
// empty when nothing names one. A variable that is not an absolute path does not count.
std::string
PerUserDataFolder(const std::function<std::optional<std::string>(const char* name)>& variable,
                  const std::function<std::string()>& homeFolder);

} // namespace fabricor::platform
