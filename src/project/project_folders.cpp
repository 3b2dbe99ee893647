#include "project/project_folders.h"

#include "base/folders.h"
#include "base/project_files.h"
#include "base/text_encoding.h"
#include "platform/files.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace fabricor {

namespace fs = std::filesystem;

namespace {

// The longest name a folder may have: 255 bytes on Linux, 255 UTF-16 units on Windows, which
// a UTF-8 name of at most 255 bytes never exceeds.
constexpr size_t kLongestFolderName = 255;

// Names Windows keeps for devices, whatever follows them after a dot ("con.txt" is CON).
bool IsReservedDeviceName(const std::string& name) {
    std::string base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ')
        base.pop_back();
    for (char& c : base)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL")
        return true;
    return base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT")) &&
           base[3] >= '1' && base[3] <= '9';
}

bool IsSeparator(char c) {
    return c == kSeparator || c == '/';
}

} // namespace

bool NamesOneFolderBelowProjects(std::string_view name) {
    if (!name.empty() && IsSeparator(name.front()))
        name.remove_prefix(1);
    if (name.empty() || name == "." || name == "..")
        return false;
    return std::none_of(name.begin(), name.end(), IsSeparator);
}

bool LiesLexicallyWithin(std::string_view folder, std::string_view projectsFolder) {
    if (!folder.starts_with(projectsFolder))
        return false;
    std::string_view rest = folder.substr(projectsFolder.size());
    if (rest.empty())
        return true;
    if (!IsSeparator(rest.front()))
        return false; // PROJECTS2 is not below PROJECTS
    while (!rest.empty()) {
        rest.remove_prefix(1);
        auto end = std::find_if(rest.begin(), rest.end(), IsSeparator);
        if (std::string_view(rest.begin(), end) == "..")
            return false;
        rest = std::string_view(end, rest.end());
    }
    return true;
}

bool IsValidProjectName(const std::string& name) {
    return ProjectNameProblem(name).empty();
}

std::string ProjectNameProblem(const std::string& name) {
    if (name.empty())
        return "the name is empty";
    // A trailing dot or blank is dropped by Windows, so "pump." would be another folder there;
    // this also refuses "." and "..".
    if (name.back() == '.' || name.back() == ' ')
        return "it ends in a dot or a blank";
    if (HoldsControlCharacter(name))
        return "it holds a control character";
    if (size_t at = name.find_first_of("<>:\"/\\|?*"); at != std::string::npos)
        return std::string("it holds '") + name[at] + "', which Windows does not take in a name";
    if (IsReservedDeviceName(name))
        return "Windows keeps that name for a device";
    // No update of such a project could ever be handed to the flash tool.
    if (!FitsWindows1252(name))
        return "it holds a character outside Windows-1252";
    if (name.size() > kLongestFolderName)
        return "it is longer than a folder name may be (" + std::to_string(kLongestFolderName) +
               " bytes)";
    return {};
}

NewProjectFolder CreateNewProjectFolder(const std::string& destination, const std::string& name,
                                        std::string* systemError) {
    if (!IsValidProjectName(name))
        return NewProjectFolder::InvalidName;
    const std::string folder = destination + kSeparator + name;
    if (FolderExists(folder))
        return NewProjectFolder::AlreadyExists;
    std::error_code error;
    if (!fs::create_directory(platform::PathOfUtf8(folder), error) || error) {
        // The name is what the file system refused: said as for any other refused name.
        if (error == std::errc::filename_too_long || error == std::errc::invalid_argument ||
            error == std::errc::illegal_byte_sequence)
            return NewProjectFolder::InvalidName;
        if (systemError)
            *systemError = folder + ": " + (error ? error.message() : "not created");
        return NewProjectFolder::NotCreated;
    }
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
