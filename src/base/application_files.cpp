#include "base/application_files.h"

#include "base/folders.h"

namespace fabricor {

std::string ApplicationFiles::In(const char* name) const {
    return folder_ + kSeparator + name;
}

std::string ApplicationFiles::Master() const {
    return In(kMasterName);
}

std::string ApplicationFiles::Projects() const {
    return In(kProjectsName);
}

std::string ApplicationFiles::Settings() const {
    return In(kSettingsName);
}

std::filesystem::path ApplicationFiles::ToolSettingsIn(const std::filesystem::path& folder) {
    return folder / kToolSettingsName;
}

std::filesystem::path ApplicationFiles::ToolLogIn(const std::filesystem::path& folder) {
    return folder / kToolLogName;
}

} // namespace fabricor
