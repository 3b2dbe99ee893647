#pragma once

#include "base/application_folder.h"
#include "base/folders.h"
#include "base/status.h"

#include <optional>
#include <string>
#include <string_view>

namespace fabricor {

inline constexpr const char* kApplicationTitle = "Firmware Fabricor";
inline constexpr const char* ProductCaption =
    "Firmware Fabricor SW30418 - TCP/RTU gateway";
inline constexpr const char* kSettingsSection = "lastproj";
inline constexpr const char* kSettingsKey = "projectname";

// Where the application lives and which project is current. One instance for the whole run,
// owned by the main window and read by every dialog. Paths are absolute UTF-8 text.
struct Workspace {
    // The executables' folder: the flash tool is started from here.
    std::string AppFolder;
    // Where Fabricor.ini is written: AppFolder itself (the portable layout), or the user's data
    // folder when AppFolder cannot be written (an installed program). MASTER and PROJECTS are
    // there too, unless a shared installation holds usable ones beside the programs.
    std::string DataFolder;
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

struct StartupResult {
    std::string title;
    // Why a settings file that is there could not be read (it is then taken as empty).
    std::string settingsProblem;
    // Enabled state of the Translate Table command; nothing when it stays as it is.
    std::optional<bool> translateEnabled;
};

// The start-up sequence of the main window: fixes the folders (beside the executable, or in the
// user's data folder when that folder cannot be written, see DecideApplicationFolder), creates
// MASTER and PROJECTS when missing, restores the last project from the settings file, and
// derives the document paths, the title and the Translate Table state.
StartupResult RunStartup(Workspace& workspace, const std::string& executablePath,
                         const SystemFacts& system = TheSystem());

// The Translate Table state that the general parameters document asks for: disabled for MODE 0,
// enabled for any other integer and for a missing or unreadable MODE; nothing (leave the state
// as it is) when the document is missing or not well-formed.
std::optional<bool> TranslateStateFromGeneralParameters(const std::string& pargenPath);

// Makes a new project current: the bare name, its folder below `destination`, and the
// document paths.
void MakeNewProjectCurrent(Workspace& workspace, const std::string& destination,
                           const std::string& name);

// Title after New or Open: no blank after the colon.
std::string ProjectTitle(const std::string& projectName);

// Close: writes ProjectName unchanged, also when empty. A name that the settings file cannot
// hold (one with a line break, which only a not restored stored name can be) is not written:
// the file keeps the line it had.
Status SaveLastProject(const Workspace& workspace);

// "Unable to write to %s" with the settings file's path.
std::string SettingsWriteFailureText(const Workspace& workspace);

} // namespace fabricor
