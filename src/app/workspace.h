#pragma once

#include "base/status.h"

#include <optional>
#include <string>
#include <string_view>

namespace fabricor {

// The platform's path separator. Workspace paths are plain text joined with it, so the rules
// that cut and compare them by position behave the same on every platform.
#ifdef _WIN32
inline constexpr char kSeparator = '\\';
#else
inline constexpr char kSeparator = '/';
#endif

inline constexpr const char* kApplicationTitle = "Firmware Fabricor";
inline constexpr const char* ProductCaption =
    "Firmware Fabricor SW30418 - TCP/RTU gateway";
inline constexpr const char* kSettingsFileName = "Fabricor.ini";
inline constexpr const char* kSettingsSection = "lastproj";
inline constexpr const char* kSettingsKey = "projectname";

// Where the application lives and which project is current. One instance for the whole run,
// owned by the main window and read by every dialog. Paths are absolute UTF-8 text.
struct Workspace {
    std::string AppFolder;
    std::string MasterFolder;
    std::string ProjectsFolder;
    std::string ProjectName;
    std::string ProjectFolder;
    std::string PargenPath;
    std::string VarPath;

    // Derives both document paths from ProjectFolder; never checks that they exist.
    void UpdateDocumentPaths();
    std::string SettingsPath() const;
};

bool FolderExists(const std::string& path);
bool ForceFolders(const std::string& path);

// Whether `folder` is `root` or lies below it once symbolic links are resolved in both (the
// projects folder may itself be a link to a shared drive). False when either does not exist.
bool LiesWithinFolder(const std::string& folder, const std::string& root);

// Whether the text holds a control character (below blank, or DEL). No project name does.
bool HoldsControlCharacter(std::string_view text);

// Folder part of an executable's full path, without the trailing separator.
std::string FolderOfExecutable(const std::string& executablePath);

struct StartupResult {
    std::string title;
    // Why a settings file that is there could not be read (it is then taken as empty).
    std::string settingsProblem;
    // Enabled state of the Translate Table command; nothing when it stays as it is.
    std::optional<bool> translateEnabled;
};

// The start-up sequence of the main window: fixes the folders beside the executable (creating
// MASTER and PROJECTS when missing), restores the last project from the settings file, and
// derives the document paths, the title and the Translate Table state.
StartupResult RunStartup(Workspace& workspace, const std::string& executablePath);

// The Translate Table state that the general parameters document asks for: disabled for MODE 0,
// enabled for any other integer and for a missing or unreadable MODE; nothing (leave the state
// as it is) when the document is missing or not well-formed.
std::optional<bool> TranslateStateFromGeneralParameters(const std::string& pargenPath);

// Title after New or Open: no blank after the colon.
std::string ProjectTitle(const std::string& projectName);

// Close: writes ProjectName unchanged, also when empty. A name that the settings file cannot
// hold (one with a line break, which only a not restored stored name can be) is not written:
// the file keeps the line it had.
Status SaveLastProject(const Workspace& workspace);

// "Unable to write to %s" with the settings file's path.
std::string SettingsWriteFailureText(const Workspace& workspace);

} // namespace fabricor
