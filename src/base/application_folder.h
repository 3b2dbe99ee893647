#pragma once

#include <functional>
#include <optional>
#include <string>

namespace fabricor {

// Where the programs keep what they read and write: Fabricor.ini, MASTER, PROJECTS,
// Progwerk.ini and Progwerk.log.
//
// The portable layout keeps all of it beside the executables, in the folder they were started
// from. An installed program's folder cannot be written (a package's folder, or a folder whose
// mode has no write bit: that stops root too, as a read-only file is never replaced), so the
// files go to the user's own data folder instead: $XDG_DATA_HOME/fabricor, or
// ~/.local/share/fabricor when XDG_DATA_HOME is unset or not an absolute path; on Windows
// %APPDATA%\Fabricor. A shared installation may still hold what its users share: each item
// beside the programs that can be used as the program uses it is used there, item by item
// (MASTER when it can be read, PROJECTS when it can be written, Fabricor.ini read until the
// user's own is first written, since nothing can be replaced in a read-only folder).
struct ApplicationFolder {
    std::string programFolder; // the executables' folder
    std::string dataFolder;    // the files' folder: programFolder, or the per-user data folder
    // Why the per-user folder is used; empty for the portable layout.
    std::string reason;
    bool PerUser() const { return !reason.empty(); }

    // Where one item is kept, and, in a per-user layout, why there.
    struct Place {
        std::string path;
        std::string why;
    };
    Place master;   // MASTER, read
    Place projects; // PROJECTS, written
    // Fabricor.ini as written at close, and as read at start-up: the same file, or the one beside
    // the programs while the user has none of their own.
    std::string settingsFile;
    std::string settingsSource;
};

// What the decision asks of the system. Tests hand in their own answers.
struct SystemFacts {
    std::function<bool(const std::string& folder)> folderWritable;
    std::function<bool(const std::string& folder)> folderReadable;
    // A variable of the environment, nothing when unset; UTF-8 on every system.
    std::function<std::optional<std::string>(const char* name)> variable;
    // The user's home folder when HOME does not say it (the user database); may be empty.
    std::function<std::string()> homeFolder;
};
SystemFacts TheSystem();

// The running executable's full path, symbolic links resolved (a program started through a link
// in /usr/bin is in its own folder); empty when the system does not say. The one place that
// asks the system for it.
std::string ExecutablePath();

// Folder part of an executable's full path, without the trailing separator; empty when the
// path has no separator. On Windows "/" counts as a separator too and becomes "\\".
std::string FolderOfExecutable(const std::string& executablePath);

// The folder of the running executable: FolderOfExecutable(ExecutablePath()).
std::string ExecutableFolder();

// Whether the programs may write in `folder`: it exists, the system lets this process write it
// and its mode keeps at least one write bit (root may write a folder of mode 0555, but such a
// folder was made read-only on purpose).
bool FolderIsWritable(const std::string& folder);

// Whether the programs may read what `folder` holds (see platform/user_folders.h).
bool FolderIsReadable(const std::string& folder);

// The decision, for programs started from `programFolder` (absolute, no trailing separator).
// When the per-user folder cannot be named (no home folder at all), the portable layout stays
// and writes fail later with their own messages.
ApplicationFolder DecideApplicationFolder(const std::string& programFolder,
                                          const SystemFacts& system = TheSystem());

} // namespace fabricor
