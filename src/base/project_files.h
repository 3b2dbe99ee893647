#pragma once

#include <filesystem>
#include <string>

namespace fabricor {

// Every file of a project, named once. A project is a folder holding the two documents, the
// bin folder (the image, its C dump, the merge's staging file and the update lock) and the new
// firmware. Paths are plain text: the folder as given, the separator, the name, so a folder
// given with a trailing separator keeps it, exactly as the workspace has always joined them.
class ProjectFiles {
public:
    static constexpr const char* kGeneralParametersName = "pargen.xml";
    static constexpr const char* kTranslateTableName = "var.xml";
    static constexpr const char* kBinFolderName = "bin";
    static constexpr const char* kImageName = "bank1.bin";
    static constexpr const char* kCSourceName = "bankg.c";
    static constexpr const char* kStagingName = "Bin.sx";
    static constexpr const char* kLockName = ".update.lock";
    // The base firmware in the master folder, and the new firmware's name: "New_" before it.
    static constexpr const char* kBaseFirmwareName = "SX30418.sx";
    static constexpr const char* kNewFirmwarePrefix = "New_";

    explicit ProjectFiles(std::string folder) : folder_(std::move(folder)) {}

    const std::string& Folder() const { return folder_; }
    std::string GeneralParameters() const; // folder/pargen.xml
    std::string TranslateTable() const;    // folder/var.xml
    std::string BinFolder() const;         // folder/bin, without a trailing separator
    std::string Image() const;             // folder/bin/bank1.bin
    std::string CSource() const;           // folder/bin/bankg.c
    std::string Staging() const;           // folder/bin/Bin.sx
    std::string Lock() const;              // folder/bin/.update.lock

    // What the merge takes: the bin folder and the project folder, each ending in a separator
    // (the project folder keeps the one it was given with, the bin folder is joined as above).
    std::string MergeBinFolder() const;
    std::string OutputFolder() const;
    std::string NewFirmware() const; // OutputFolder() + NewFirmwareName()
    // folder/New_SX30418.sx joined as the documents are (a trailing separator is doubled).
    std::string NewFirmwareInFolder() const;

    // The files in the merge's bin folder, which ends in a separator (see MergeBinFolder()).
    static std::string ImageInMergeBin(const std::string& mergeBinFolder);
    static std::string StagingInMergeBin(const std::string& mergeBinFolder);

    // The files below a folder given as a filesystem path, joined as std::filesystem joins
    // (a trailing separator is not doubled, an empty folder leaves the bare name).
    static std::filesystem::path GeneralParametersIn(const std::filesystem::path& folder);
    static std::filesystem::path TranslateTableIn(const std::filesystem::path& folder);
    static std::filesystem::path NewFirmwareIn(const std::filesystem::path& folder);

    static std::string NewFirmwareName(); // New_SX30418.sx
    static std::string BaseFirmwareIn(const std::string& masterFolder);

private:
    std::string InFolder(const char* name) const;
    std::string InBin(const char* name) const;

    std::string folder_;
};

} // namespace fabricor
