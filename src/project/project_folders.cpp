#include "project/project_folders.h"

#include "base/folders.h"
#include "base/project_files.h"

#include <filesystem>

namespace fabricor {

namespace fs = std::filesystem;

bool IsValidProjectName(const std::string& name) {
    if (name.empty() || name == "." || name == "..")
        return false;
    return name.find_first_of("/\\") == std::string::npos && name.find('\0') == std::string::npos;
}

NewProjectFolder CreateNewProjectFolder(const std::string& destination, const std::string& name) {
    if (!IsValidProjectName(name))
        return NewProjectFolder::InvalidName;
    const std::string folder = destination + kSeparator + name;
    if (FolderExists(folder))
        return NewProjectFolder::AlreadyExists;
    std::error_code error;
    if (!fs::create_directory(fs::path(folder), error) || error)
        return NewProjectFolder::NotCreated;
    ForceFolders(
        ProjectFiles(folder).BinFolder()); // a missing bin folder shows up at Update Device
    return NewProjectFolder::Created;
}

const char* MessageOf(NewProjectFolder outcome) {
    switch (outcome) {
    case NewProjectFolder::InvalidName:
        return kNameNotValid;
    case NewProjectFolder::AlreadyExists:
        return kNameAlreadyExists;
    case NewProjectFolder::Created:
    case NewProjectFolder::NotCreated:
        break;
    }
    return "";
}

std::string ProjectNameAfterOpen(const std::string& projectsFolder,
                                 const std::string& projectFolder) {
    if (projectFolder.size() <= projectsFolder.size())
        return {};
    return projectFolder.substr(projectsFolder.size());
}

} // namespace fabricor
