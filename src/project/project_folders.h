#pragma once

#include <string>
#include <string_view>

namespace fabricor {

inline constexpr const char* kNameNotValid = "Name project not valid";
inline constexpr const char* kNameAlreadyExists =
    "Name project not valid because directory already exists";
inline constexpr const char* kOpenProjectCaption = "Select directory of project";

// A project is always a folder directly below the projects folder, and its name must travel
// between Linux and Windows: refused are the empty name, "." and "..", a character Windows
// forbids in file names (< > : " / \ | ? * and control characters), a name ending in a dot or
// a blank, and the names Windows keeps for devices (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to
// LPT9, in any case, also with an extension: "con.txt"). It must also reach the flash tool,
// whose parameter is Windows-1252: a character outside it is refused. And it must be a name a
// file system takes: at most 255 bytes.
bool IsValidProjectName(const std::string& name);

// Why `name` is refused by IsValidProjectName, for a person; empty when it is valid.
std::string ProjectNameProblem(const std::string& name);

enum class NewProjectFolder {
    Created,       // the folder and its bin folder were made
    InvalidName,   // "Name project not valid"
    AlreadyExists, // "Name project not valid because directory already exists"
    NotCreated,    // the system refused the folder for another reason than its name
};

// The folder part of New project: checks the name, then makes the single folder
// `destination`/`name` (never its parents) and, below it, "bin". A name the file system itself
// refuses (too long, not valid there) is InvalidName; for NotCreated, `systemError` (when given)
// receives the folder and the system's reason.
NewProjectFolder CreateNewProjectFolder(const std::string& destination, const std::string& name,
                                        std::string* systemError = nullptr);

// The text shown for an outcome; empty where nothing is shown.
const char* MessageOf(NewProjectFolder outcome);

// Whether a stored project name, its leading separator taken off, names one folder directly
// below the projects folder, judged by its text alone: not empty, not "." or "..", and without a
// separator (on Windows neither "\\" nor "/"). Where that folder leads does not matter: a link
// in the projects folder (a share mounted elsewhere) is a project like any other folder.
bool NamesOneFolderBelowProjects(std::string_view name);

// Whether `folder` is `projectsFolder` or a folder below it by its text alone: it begins with
// the projects folder and a separator, and no step after that is "..". Links are not followed.
bool LiesLexicallyWithin(std::string_view folder, std::string_view projectsFolder);

// The project name after Open: what follows the first n characters of `projectFolder`, n being
// the length of `projectsFolder` (a cut by position; the browser cannot leave the projects
// folder, so the chosen path always starts with it). Empty when the folder is not longer.
std::string ProjectNameAfterOpen(const std::string& projectsFolder,
                                 const std::string& projectFolder);

} // namespace fabricor
