#include "base/project_files.h"

#include "base/folders.h"

namespace fabricor {

std::string ProjectFiles::InFolder(const char* name) const {
    return folder_ + kSeparator + name;
}

std::string ProjectFiles::InBin(const char* name) const {
    return BinFolder() + kSeparator + name;
}

std::string ProjectFiles::GeneralParameters() const {
    return InFolder(kGeneralParametersName);
}

std::string ProjectFiles::TranslateTable() const {
    return InFolder(kTranslateTableName);
}

std::string ProjectFiles::BinFolder() const {
    return InFolder(kBinFolderName);
}

std::string ProjectFiles::Image() const {
    return InBin(kImageName);
}

std::string ProjectFiles::CSource() const {
    return InBin(kCSourceName);
}

std::string ProjectFiles::Staging() const {
    return InBin(kStagingName);
}

std::string ProjectFiles::Lock() const {
    return InBin(kLockName);
}

std::string ProjectFiles::MergeBinFolder() const {
    return BinFolder() + kSeparator;
}

std::string ProjectFiles::OutputFolder() const {
    return !folder_.empty() && folder_.back() == kSeparator ? folder_ : folder_ + kSeparator;
}

std::string ProjectFiles::NewFirmware() const {
    return OutputFolder() + NewFirmwareName();
}

std::string ProjectFiles::NewFirmwareInFolder() const {
    return folder_ + kSeparator + NewFirmwareName();
}

std::string ProjectFiles::ImageInMergeBin(const std::string& mergeBinFolder) {
    return mergeBinFolder + kImageName;
}

std::string ProjectFiles::StagingInMergeBin(const std::string& mergeBinFolder) {
    return mergeBinFolder + kStagingName;
}

std::filesystem::path ProjectFiles::GeneralParametersIn(const std::filesystem::path& folder) {
    return folder / kGeneralParametersName;
}

std::filesystem::path ProjectFiles::TranslateTableIn(const std::filesystem::path& folder) {
    return folder / kTranslateTableName;
}

std::filesystem::path ProjectFiles::NewFirmwareIn(const std::filesystem::path& folder) {
    return folder / NewFirmwareName();
}

std::string ProjectFiles::NewFirmwareName() {
    return std::string(kNewFirmwarePrefix) + kBaseFirmwareName;
}

std::string ProjectFiles::BaseFirmwareIn(const std::string& masterFolder) {
    return masterFolder + kSeparator + kBaseFirmwareName;
}

} // namespace fabricor
