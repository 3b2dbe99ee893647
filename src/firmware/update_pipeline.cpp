#include "firmware/update_pipeline.h"

#include "base/regular_file.h"
#include "documents/var.h"
#include "image/c_source.h"

namespace fabricor {

ProjectUpdate::ProjectUpdate(ProjectFiles files, std::chrono::milliseconds wait)
    : files_(std::move(files)), lock_(ProjectUpdateLock::Acquire(files_.Folder(), wait)) {
    result_.refused = lock_.refused();
    result_.refusal = lock_.message();
}

const UpdateResult& ProjectUpdate::BuildAndWrite(Clock& clock) {
    if (result_.refused)
        return result_;
    result_.built = true;
    result_.merge.reset();
    result_.build = BuildConfigurationImage(files_.TranslateTable(), files_.GeneralParameters(),
                                            clock, result_.image);
    result_.imageWritten = WriteConfigurationImage(files_.Folder(), result_.image);
    result_.sourceWritten = WriteImageCSource(files_.Folder(), result_.image);
    return result_;
}

bool ProjectUpdate::OnlyTranslateTableMissing() const {
    const BuildReport& build = result_.build;
    if (result_.refused || !result_.built || build.complete ||
        build.document != BuildReport::Document::TranslateTable)
        return false;
    if (!ReadRegularFile(files_.TranslateTable(), kDocumentReadLimit).missing)
        return false;
    // The general parameters as the build would read them, beside an empty table.
    const DocumentFile pargen = ReadDocumentFile(files_.GeneralParameters());
    if (!pargen.read.bytes)
        return false;
    ConfigurationImage trial{};
    FixedClock clock{LocalTime{}};
    const DocumentFile emptyTable =
        DocumentOfText(files_.TranslateTable(), std::string("<") + kTranslateTableRoot + "/>");
    return BuildConfigurationImage(emptyTable, pargen, clock, trial).complete;
}

Status ProjectUpdate::WriteEmptyTranslateTable(FileOutput& output) {
    if (result_.refused)
        return Status::Error(result_.refusal);
    const std::string path = files_.TranslateTable();
    // Written only in place of nothing: a table that appeared meanwhile is the user's.
    if (!ReadRegularFile(path, kDocumentReadLimit).missing)
        return Status::Error(path + ": already exists");
    return WriteTranslateTable(path, {}, output);
}

const UpdateResult& ProjectUpdate::Merge(const std::string& baseFirmware, MergeReporter& reporter,
                                         MergeProgress& progress) {
    if (result_.refused || (result_.built && !result_.MayMerge()))
        return result_;
    // Without a project folder there is no bin folder: "/bin/" never passes for one.
    const std::string bin = files_.Folder().empty() ? std::string() : files_.MergeBinFolder();
    result_.merge = MergeBankSx(baseFirmware, ProjectFiles::NewFirmwareName(), bin,
                                files_.OutputFolder(), reporter, progress);
    return result_;
}

} // namespace fabricor
