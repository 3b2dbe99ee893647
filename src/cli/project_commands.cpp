#include "base/folders.h"
#include "base/project_files.h"
#include "base/sha256.h"
#include "cli/cli.h"
#include "cli/options.h"
#include "cli/terminal_progress.h"
#include "firmware/update_pipeline.h"
#include "platform/files.h"

#include <filesystem>
#include <memory>
#include <ostream>
#include <utility>

namespace fabricor::cli {
namespace {

constexpr const char* kTimeHelp =
    "  --time YYYY-MM-DDTHH:MM:SS  the local wall-clock time stamped into the image\n"
    "                              (default: the time of the build)\n"
    "  --help                      show this help\n";

void BuildHelp(std::ostream& out) {
    out << "Builds the configuration image from PROJECT/var.xml and PROJECT/pargen.xml and\n"
           "writes PROJECT/bin/bank1.bin and PROJECT/bin/bankg.c. The bin folder must exist.\n"
           "\n"
           "Options:\n"
        << kTimeHelp
        << "\n"
           "Exit status: 0 when the build read everything; 1 when it stopped early (the files\n"
           "are still written and the reason goes to stderr) or a file cannot be written;\n"
           "2 on a usage error.\n";
}

void UpdateHelp(std::ostream& out) {
    out << "Builds as 'fabricor-cli build' does; when the build read everything, merges the\n"
           "image into MASTER_DIR/"
        << ProjectFiles::kBaseFirmwareName << " and writes PROJECT/"
        << ProjectFiles::NewFirmwareName()
        << ".\n"
           "The flash tool is not started.\n"
           "\n"
           "Options:\n"
           "  --master MASTER_DIR         the folder that holds the base firmware\n"
        << kTimeHelp
        << "\n"
           "Exit status: 0 when the new firmware was written; 1 when the build stopped early\n"
           "(nothing is merged), a file cannot be written or the merge reports a failure;\n"
           "2 on a usage error.\n";
}

std::string WithoutTrailingSeparators(std::string folder) {
    while (folder.size() > 1 && folder.back() == kSeparator)
        folder.pop_back();
    return folder;
}

struct ProjectRequest {
    std::string project;
    std::optional<LocalTime> time;
};

// Reads PROJECT and --time; a usage error has already been printed when nothing comes back.
std::optional<ProjectRequest> ReadProjectRequest(const ParsedArguments& parsed, std::ostream& err,
                                                 const Command& command) {
    ProjectRequest request;
    request.project = WithoutTrailingSeparators(parsed.positional.front());
    if (request.project.empty()) {
        UsageError(command, err, "PROJECT is empty");
        return std::nullopt;
    }
    if (auto time = parsed.values.find("time"); time != parsed.values.end()) {
        request.time = ParseLocalTime(time->second);
        if (!request.time) {
            UsageError(command, err,
                       "'" + time->second + "' is not a time of the form YYYY-MM-DDTHH:MM:SS");
            return std::nullopt;
        }
    }
    return request;
}

// The build stage of the update, told on the streams: what was written on stdout, everything
// that went wrong on stderr.
const UpdateResult& BuildAndWrite(ProjectUpdate& update, const ProjectRequest& request,
                                  std::ostream& out, std::ostream& err) {
    std::unique_ptr<Clock> clock;
    if (request.time)
        clock = std::make_unique<FixedClock>(*request.time);
    else
        clock = std::make_unique<SystemClock>();
    const UpdateResult& built = update.BuildAndWrite(*clock);
    const ProjectFiles& files = update.files();
    for (const auto& [written, path] : {std::pair{&built.imageWritten, files.Image()},
                                        std::pair{&built.sourceWritten, files.CSource()}}) {
        if (written->ok())
            out << "Wrote " << path << "\n";
        else
            err << "fabricor-cli: " << written->message() << "\n";
    }
    if (built.build.rowsIgnored > 0)
        err << "fabricor-cli: note: var.xml has " << built.build.rowsIgnored
            << " rows beyond the 2000 the image holds; they were left out\n";
    if (!built.build.complete)
        err << "fabricor-cli: the build stopped early: " << built.build.description << "\n";
    return built;
}

class StreamReporter final : public MergeReporter {
public:
    explicit StreamReporter(std::ostream& err) : err_(err) {}
    void Report(const std::string& message) override { err_ << message << "\n"; }

private:
    std::ostream& err_;
};

int64_t FileSize(const std::string& path) {
    platform::FileStatus status;
    return platform::StatusOfName(path, status) == 0 ? static_cast<int64_t>(status.size) : 0;
}

int RunBuild(const ParsedArguments& parsed, std::ostream& out, std::ostream& err,
             TerminalProgress&) {
    auto request = ReadProjectRequest(parsed, err, kBuildCommand);
    if (!request)
        return kExitUsage;
    ProjectUpdate update{ProjectFiles(request->project)};
    if (update.refused()) {
        err << "fabricor-cli: " << update.refusal() << "\n";
        return kExitFailure;
    }
    return BuildAndWrite(update, *request, out, err).MayMerge() ? kExitOk : kExitFailure;
}

int RunUpdate(const ParsedArguments& parsed, std::ostream& out, std::ostream& err,
              TerminalProgress& progress, std::chrono::milliseconds lockWait) {
    auto request = ReadProjectRequest(parsed, err, kUpdateCommand);
    if (!request)
        return kExitUsage;
    auto master = parsed.values.find("master");
    if (master == parsed.values.end() || master->second.empty())
        return UsageError(kUpdateCommand, err, "--master MASTER_DIR is missing");

    // Build, write and merge under one lock: another run's Bin.sx or bank1.bin never mixes with
    // ours.
    ProjectUpdate update{ProjectFiles(request->project), lockWait};
    if (update.refused()) {
        err << "fabricor-cli: " << update.refusal() << "\n";
        return kExitFailure;
    }
    if (!BuildAndWrite(update, *request, out, err).MayMerge()) {
        err << "fabricor-cli: nothing merged\n";
        return kExitFailure;
    }

    const std::string base =
        ProjectFiles::BaseFirmwareIn(WithoutTrailingSeparators(master->second));
    StreamReporter reporter(err);
    progress.Start(FileSize(base));
    const MergeResult& merged = *update.Merge(base, reporter, progress).merge;
    progress.Finish();
    switch (merged.outcome) {
    case MergeOutcome::Written:
        out << "Wrote " << update.files().NewFirmware() << "\n";
        // Fingerprints of what goes into the device: the same project and --time give the same.
        // The new firmware's was taken as the merge wrote it: it is not read again.
        for (const auto& [hashed, hash] :
             {std::pair{update.files().Image(), Sha256OfFile(update.files().Image())},
              std::pair{update.files().NewFirmware(), merged.hash}}) {
            if (hash.hex)
                out << "SHA-256 " << platform::Utf8Name(platform::PathOfUtf8(hashed).filename())
                    << ": " << *hash.hex << "\n";
            else
                err << "fabricor-cli: " << hash.error << "\n";
        }
        if (!merged.imagePlaced)
            err << "fabricor-cli: note: " << base
                << " has no record in the configuration window; the new firmware is a copy "
                   "without the configuration\n";
        return kExitOk;
    case MergeOutcome::CheckFailed:
        return kExitFailure;
    case MergeOutcome::MergeFailed:
        err << "fabricor-cli: " << merged.error << "\n";
        return kExitFailure;
    case MergeOutcome::OpenFailed:
        err << "fabricor-cli: " << merged.error << "\n";
        return kExitFailure;
    }
    return kExitFailure;
}

} // namespace

const Command kBuildCommand = {
    .name = "build",
    .summary = "build PROJECT/bin/bank1.bin and bankg.c from the project's documents",
    .usage = "build PROJECT [--time YYYY-MM-DDTHH:MM:SS]",
    .help = BuildHelp,
    .valueOptions = {"time"},
    .positionals = {1, 1, "PROJECT is missing"},
    .run = RunBuild,
};

const Command kUpdateCommand = {
    .name = "update",
    .summary = "build, then merge the image into the base firmware as New_SX30418.sx",
    .usage = "update PROJECT --master MASTER_DIR [--time YYYY-MM-DDTHH:MM:SS]",
    .help = UpdateHelp,
    .valueOptions = {"time", "master"},
    .positionals = {1, 1, "PROJECT is missing"},
    .run =
        [](const ParsedArguments& parsed, std::ostream& out, std::ostream& err,
           TerminalProgress& progress) {
            return RunUpdate(parsed, out, err, progress, kProjectLockWait);
        },
};

int UpdateCommand(const Arguments& args, std::ostream& out, std::ostream& err,
                  TerminalProgress& progress, std::chrono::milliseconds lockWait) {
    Command waiting = kUpdateCommand;
    waiting.run = [lockWait](const ParsedArguments& parsed, std::ostream& out, std::ostream& err,
                             TerminalProgress& progress) {
        return RunUpdate(parsed, out, err, progress, lockWait);
    };
    return RunCommand(waiting, args, out, err, progress);
}

} // namespace fabricor::cli
