#include "workspace/workspace.h"

#include "base/application_files.h"
#include "base/project_files.h"
#include "base/settings_file.h"
#include "documents/integer_text.h"
#include "documents/pargen.h"
#include "platform/files.h"
#include "project/project_folders.h"

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
    return ApplicationFiles(DataFolder).Settings();
}

namespace {

void CreateFolderIfMissing(const std::string& path) {
    if (FolderExists(path))
        return;
    std::error_code ignored; // a folder that cannot be made fails later, where it is needed
    fs::create_directory(platform::PathOfUtf8(path), ignored);
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
    // Each beside the programs, or in the data folder (see DecideApplicationFolder).
    workspace.MasterFolder = folder.master.path;
    CreateFolderIfMissing(workspace.MasterFolder);
    workspace.ProjectsFolder = folder.projects.path;
    CreateFolderIfMissing(workspace.ProjectsFolder);

    // Written at close to SettingsPath(); until then a shared installation's file may speak.
    workspace.ProjectName =
        ReadIniValue(folder.settingsSource, kSettingsSection, kSettingsKey, result.settingsProblem);
    if (!workspace.ProjectName.empty() && workspace.ProjectName.front() != kSeparator)
        workspace.ProjectName.insert(workspace.ProjectName.begin(), kSeparator);

    // A stored name that is not one folder directly below PROJECTS (a ".." or a separator in it,
    // which could lead the next update out of PROJECTS) is taken for a deleted project, and so
    // is a name no project has. The folder itself may be a link to a share elsewhere.
    const std::string stored = workspace.ProjectsFolder + workspace.ProjectName;
    if (NamesOneFolderBelowProjects(workspace.ProjectName) &&
        !HoldsControlCharacter(workspace.ProjectName) && FolderExists(stored)) {
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
