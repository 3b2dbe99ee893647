#include "base/application_folder.h"

#include "platform/user_folders.h"

namespace fabricor {

std::string ExecutableFolder() {
    return platform::ExecutableFolder();
}

bool FolderIsWritable(const std::string& folder) {
    return platform::FolderIsWritable(folder);
}

SystemFacts TheSystem() {
    SystemFacts facts;
    facts.folderWritable = platform::FolderIsWritable;
    facts.variable = platform::EnvironmentVariable;
    facts.homeFolder = platform::UserDatabaseHome;
    return facts;
}

ApplicationFolder DecideApplicationFolder(const std::string& programFolder,
                                          const SystemFacts& system) {
    ApplicationFolder result{programFolder, programFolder, {}};
    if (system.folderWritable(programFolder))
        return result;

    const std::string data = platform::PerUserDataFolder(system.variable, system.homeFolder);
    if (data.empty())
        return result;
    result.dataFolder = data;
    result.reason = programFolder + " cannot be written";
    return result;
}

} // namespace fabricor
