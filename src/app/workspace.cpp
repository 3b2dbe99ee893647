#include "app/workspace.h"

#include "base/project_files.h"
#include "base/settings_file.h"
#include "documents/integer_text.h"
#include "documents/pargen.h"
#include "platform/files.h"

#include <algorithm>
#include <filesystem>

namespace fabricor {

namespace fs = std::filesystem;

void Workspace::UpdateDocumentPaths() {
    const ProjectFiles files(ProjectFolder);
    PargenPath = files.GeneralParameters();
    VarPath = files.TranslateTable();
}

std::string Workspace::SettingsPath() const {
    return DataFolder + kSeparator + kSettingsFileName;
}

std::string FolderOfExecutable(const std::string& executablePath) {
    auto cut = executablePath.find_last_of(kSeparator);
    if (cut == std::string::npos)
        return {};
    return executablePath.substr(0, cut);
}

namespace {

void CreateFolderIfMissing(const std::string& path) {
    if (FolderExists(path))
        return;
    std::error_code ignored; // a folder that cannot be made fails later, where it is needed
    fs::create_directory(platform::PathOfUtf8(path), ignored);
}

// A stored name with a ".." component would restore a folder outside PROJECTS (and the next
// update would write there): it is treated like a project whose folder is gone.
bool LeavesTheFolder(const std::string& name) {
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find(kSeparator, start);
        if (end == std::string::npos)
            end = name.size();
        if (name.compare(start, end - start, "..") == 0)
            return true;
        start = end + 1;
    }
    return false;
}

} // namespace

StartupResult RunStartup(Workspace& workspace, const std::string& executablePath,
                         const SystemFacts& system) {
    StartupResult result;
    workspace.AppFolder = FolderOfExecutable(executablePath);
    const ApplicationFolder folder = DecideApplicationFolder(workspace.AppFolder, system);
    workspace.DataFolder = folder.dataFolder;
    if (folder.PerUser())
        ForceFolders(workspace.DataFolder); // a failure shows where the folders are needed
    workspace.MasterFolder = workspace.DataFolder + kSeparator + "MASTER";
    CreateFolderIfMissing(workspace.MasterFolder);
    workspace.ProjectsFolder = workspace.DataFolder + kSeparator + "PROJECTS";
    CreateFolderIfMissing(workspace.ProjectsFolder);

    workspace.ProjectName = ReadIniValue(workspace.SettingsPath(), kSettingsSection, kSettingsKey,
                                         result.settingsProblem);
    if (!workspace.ProjectName.empty() && workspace.ProjectName.front() != kSeparator)
        workspace.ProjectName.insert(workspace.ProjectName.begin(), kSeparator);

    // A project restored through a link to a folder elsewhere would have the next update write
    // there: like one whose folder is gone, it is not restored. So is a name no project has.
    const std::string stored = workspace.ProjectsFolder + workspace.ProjectName;
    if (!workspace.ProjectName.empty() && !LeavesTheFolder(workspace.ProjectName) &&
        !HoldsControlCharacter(workspace.ProjectName) && FolderExists(stored) &&
        LiesWithinFolder(stored, workspace.ProjectsFolder)) {
        workspace.ProjectFolder = workspace.ProjectsFolder + workspace.ProjectName;
        result.title = std::string(ProductCaption) + " : " + workspace.ProjectName;
    } else {
        workspace.ProjectFolder = workspace.ProjectsFolder;
        result.title = ProductCaption;
    }
    workspace.UpdateDocumentPaths();
    result.translateEnabled = TranslateStateFromGeneralParameters(workspace.PargenPath);
    return result;
}

std::optional<bool> TranslateStateFromGeneralParameters(const std::string& pargenPath) {
    auto document = ReadGeneralParameters(pargenPath);
    if (document.outcome != ReadOutcome::Read)
        return std::nullopt;
    const auto& mode = document.elements[static_cast<size_t>(GeneralParameter::MODE)];
    if (!mode)
        return true;
    auto value = ParseIntegerText(*mode);
    return !value || *value != 0;
}

void MakeNewProjectCurrent(Workspace& workspace, const std::string& destination,
                           const std::string& name) {
    workspace.ProjectName = name;
    workspace.ProjectFolder = destination + kSeparator + name;
    workspace.UpdateDocumentPaths();
}

std::string ProjectTitle(const std::string& projectName) {
    return std::string(ProductCaption) + " :" + projectName;
}

Status SaveLastProject(const Workspace& workspace) {
    if (workspace.ProjectName.find_first_of("\r\n") != std::string::npos)
        return Status::Ok();
    return WriteIniValue(workspace.SettingsPath(), kSettingsSection, kSettingsKey,
                         workspace.ProjectName);
}

std::string SettingsWriteFailureText(const Workspace& workspace) {
    return "Unable to write to " + workspace.SettingsPath();
}

} // namespace fabricor
