#pragma once

#include <filesystem>
#include <string>

namespace fabricor {

// The programs' own files, named once: the base firmware's folder, the projects' folder and the
// settings of the program, and the flash tool's settings and log. Where their folder is (beside
// the programs, or the user's data folder) is decided in base/application_folder.h. Paths are
// plain text, joined as the project's files are (see ProjectFiles).
class ApplicationFiles {
public:
    static constexpr const char* kMasterName = "MASTER";
    static constexpr const char* kProjectsName = "PROJECTS";
    static constexpr const char* kSettingsName = "Fabricor.ini";
    static constexpr const char* kToolSettingsName = "Progwerk.ini";
    static constexpr const char* kToolLogName = "Progwerk.log";

    explicit ApplicationFiles(std::string folder) : folder_(std::move(folder)) {}

    const std::string& Folder() const { return folder_; }
    std::string In(const char* name) const; // folder/name
    std::string Master() const;             // folder/MASTER
    std::string Projects() const;           // folder/PROJECTS
    std::string Settings() const;           // folder/Fabricor.ini

    // The flash tool's files below a folder given as a filesystem path, joined as
    // std::filesystem joins (an empty folder leaves the bare name).
    static std::filesystem::path ToolSettingsIn(const std::filesystem::path& folder);
    static std::filesystem::path ToolLogIn(const std::filesystem::path& folder);

private:
    std::string folder_;
};

} // namespace fabricor
