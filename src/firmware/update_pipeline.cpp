#include "firmware/update_pipeline.h"

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
