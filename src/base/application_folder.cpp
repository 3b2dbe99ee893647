#include "base/application_folder.h"

#include "base/application_files.h"
#include "base/folders.h"
#include "platform/user_folders.h"

#include <algorithm>
#include <filesystem>

namespace fabricor {

namespace fs = std::filesystem;

std::string ExecutablePath() {
    return platform::ExecutablePath();
}

std::string FolderOfExecutable(const std::string& executablePath) {
#ifdef _WIN32
    // Windows takes "/" as well, and Qt gives paths with it; the folder carries "\\" alone, as
    // every path joined to it does.
    std::string path = executablePath;
    std::replace(path.begin(), path.end(), '/', kSeparator);
#else
    const std::string& path = executablePath;
#endif
    auto cut = path.find_last_of(kSeparator);
    if (cut == std::string::npos)
        return {};
    return path.substr(0, cut);
}

std::string ExecutableFolder() {
    return FolderOfExecutable(ExecutablePath());
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

bool Exists(const std::string& path) {
    std::error_code error;
    return fs::exists(platform::PathOfUtf8(path), error);
}

// An item beside the programs, taken when `usable` says so, otherwise the one in `dataFolder`.
ApplicationFolder::Place PlaceItem(const std::string& programFolder, const std::string& dataFolder,
                                   const char* name, bool usable, const char* use) {
    const std::string beside = ApplicationFiles(programFolder).In(name);
    if (usable)
        return {beside, std::string("beside the programs, where it can be ") + use};
    std::string why = beside + (!Exists(beside)         ? " is missing"
                                : !FolderExists(beside) ? " is not a folder"
                                                        : std::string(" cannot be ") + use);
    return {ApplicationFiles(dataFolder).In(name), std::move(why)};
}

} // namespace

ApplicationFolder DecideApplicationFolder(const std::string& programFolder,
                                          const SystemFacts& system) {
    ApplicationFolder result{programFolder, programFolder, {}, {}, {}, {}, {}};
    const std::string data = system.folderWritable(programFolder)
                                 ? std::string()
                                 : platform::PerUserDataFolder(system.variable, system.homeFolder);
    const ApplicationFiles beside(programFolder);
    if (data.empty()) {
        result.master = {beside.Master(), {}};
        result.projects = {beside.Projects(), {}};
        result.settingsFile = result.settingsSource = beside.Settings();
        return result;
    }
    result.dataFolder = data;
    result.reason = programFolder + " cannot be written";
    result.master = PlaceItem(programFolder, data, ApplicationFiles::kMasterName,
                              system.folderReadable(beside.Master()), "read");
    result.projects = PlaceItem(programFolder, data, ApplicationFiles::kProjectsName,
                                system.folderWritable(beside.Projects()), "written");
    result.settingsFile = result.settingsSource = ApplicationFiles(data).Settings();
    const std::string shared = beside.Settings();
    if (!Exists(result.settingsFile) && Exists(shared))
        result.settingsSource = shared;
    return result;
}

} // namespace fabricor
