#pragma once

#include "base/clock.h"
#include "base/project_files.h"
#include "base/project_lock.h"
#include "base/status.h"
#include "firmware/merge.h"
#include "image/configuration_image.h"

#include <optional>
#include <string>

namespace fabricor {

// How far an update of a project got. One value for both stages, so every caller reads the
// same facts the same way.
struct UpdateResult {
    // Another run held the project's update lock for the whole wait: nothing was done.
    bool refused = false;
    std::string refusal;

    bool built = false; // the build stage ran
    ConfigurationImage image{};
    BuildReport build;
    Status imageWritten;  // bin/bank1.bin
    Status sourceWritten; // bin/bankg.c

    std::optional<MergeResult> merge; // set when the merge ran

    bool FilesWritten() const { return imageWritten.ok() && sourceWritten.ok(); }
    // The rule of the whole update: an image is merged only when its build read everything and
    // both of its files were written. A build that stopped early would put a configuration cut
    // short into the device, and a bank1.bin that could not be replaced is an older one.
    bool MayMerge() const { return built && build.complete && FilesWritten(); }
    bool Merged() const { return merge && merge->outcome == MergeOutcome::Written; }
};

// One update of a project: build the configuration image, write bin/bank1.bin and bin/bankg.c,
// then merge the image into the base firmware as New_SX30418.sx in the project folder. Update
// Device (build and write, then the update dialog), the update dialog's button (merge) and
// fabricor-cli (both) run it; they differ only in how they show messages and progress.
//
// The project's update lock is taken when the object is made and held for its life, so no other
// run reads a bank1.bin or a Bin.sx that this one is replacing. Within one process the lock
// nests: the update dialog's merge runs under Update Device's lock.
class ProjectUpdate {
public:
    explicit ProjectUpdate(ProjectFiles files, std::chrono::milliseconds wait = kProjectLockWait);

    bool refused() const { return result_.refused; }
    const std::string& refusal() const { return result_.refusal; }
    const UpdateResult& result() const { return result_; }
    const ProjectFiles& files() const { return files_; }

    // Builds from the two documents and writes both files; they are written even when the
    // build stopped early, so they show how far it got. Nothing when refused.
    const UpdateResult& BuildAndWrite(Clock& clock);

    // True when the build stopped only because var.xml does not exist: nothing of that name is
    // there, and pargen.xml builds whole beside an empty table. A Routing project made while the
    // translate table editor held refused rows is such a project, and it has no other way to a
    // table, its editor being off in Routing Mode.
    bool OnlyTranslateTableMissing() const;

    // Writes var.xml as the translate table editor saves an empty table (atomically), in place
    // of nothing: an error when refused or when a file of that name exists. BuildAndWrite then
    // builds with it.
    Status WriteEmptyTranslateTable(FileOutput& output = SystemFileOutput());

    // Merges bin/bank1.bin into baseFirmware (opened as given: a bare name is found in the
    // current directory). Nothing when refused, and nothing after a build stage whose image may
    // not be merged (see MayMerge); without a build stage, the image already in bin is merged.
    const UpdateResult& Merge(const std::string& baseFirmware, MergeReporter& reporter,
                              MergeProgress& progress);

private:
    ProjectFiles files_;
    ProjectUpdateLock lock_;
    UpdateResult result_;
};

} // namespace fabricor
