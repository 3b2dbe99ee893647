#include "base/application_folder.h"

#include "base/folders.h"
#include "platform/user_folders.h"

#include <filesystem>

namespace fabricor {

namespace fs = std::filesystem;

std::string ExecutableFolder() {
    return platform::ExecutableFolder();
}

bool FolderIsWritable(const std::string& folder) {
    return platform::FolderIsWritable(folder);
}

bool FolderIsReadable(const std::string& folder) {
    return platform::FolderIsReadable(folder);
}

SystemFacts TheSystem() {
    SystemFacts facts;
    facts.folderWritable = platform::FolderIsWritable;
    facts.folderReadable = platform::FolderIsReadable;
    facts.variable = platform::EnvironmentVariable;
    facts.homeFolder = platform::UserDatabaseHome;
    return facts;
}

namespace {

constexpr const char* kSettingsName = "Fabricor.ini";

bool Exists(const std::string& path) {
    std::error_code error;
    return fs::exists(platform::PathOfUtf8(path), error);
}

// An item beside the programs, taken when `usable` says so, otherwise the one in `dataFolder`.
ApplicationFolder::Place PlaceItem(const std::string& programFolder, const std::string& dataFolder,
                                   const char* name, bool usable, const char* use) {
    const std::string beside = programFolder + kSeparator + name;
    if (usable)
        return {beside, std::string("beside the programs, where it can be ") + use};
    std::string why = beside + (!Exists(beside)         ? " is missing"
                                : !FolderExists(beside) ? " is not a folder"
                                                        : std::string(" cannot be ") + use);
    return {dataFolder + kSeparator + name, std::move(why)};
}

} // namespace

ApplicationFolder DecideApplicationFolder(const std::string& programFolder,
                                          const SystemFacts& system) {
    ApplicationFolder result{programFolder, programFolder, {}, {}, {}, {}, {}};
    const std::string data = system.folderWritable(programFolder)
                                 ? std::string()
                                 : platform::PerUserDataFolder(system.variable, system.homeFolder);
    if (data.empty()) {
        result.master = {programFolder + kSeparator + "MASTER", {}};
        result.projects = {programFolder + kSeparator + "PROJECTS", {}};
        result.settingsFile = result.settingsSource = programFolder + kSeparator + kSettingsName;
        return result;
    }
    result.dataFolder = data;
    result.reason = programFolder + " cannot be written";
    const std::string master = programFolder + kSeparator + "MASTER";
    const std::string projects = programFolder + kSeparator + "PROJECTS";
    result.master = PlaceItem(programFolder, data, "MASTER", system.folderReadable(master), "read");
    result.projects =
        PlaceItem(programFolder, data, "PROJECTS", system.folderWritable(projects), "written");
    result.settingsFile = result.settingsSource = data + kSeparator + kSettingsName;
    const std::string shared = programFolder + kSeparator + kSettingsName;
    if (!Exists(result.settingsFile) && Exists(shared))
        result.settingsSource = shared;
    return result;
}

} // namespace fabricor
