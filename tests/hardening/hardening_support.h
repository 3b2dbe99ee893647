#pragma once

// Shared by the hardening tests: a project laid out as the program expects it, and runs of the
// program's readers, builder, merge and command line on it.

#include "firmware/merge.h"
#include "image/configuration_image.h"
#include "support/cli_run.h"
#include "support/temp_dir.h"

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace fabricor::test_support {

struct Recorder final : MergeReporter, MergeProgress {
    std::vector<std::string> messages;
    void Report(const std::string& message) override { messages.push_back(message); }
    void SetMaximum(int64_t) override {}
    void SetPosition(int64_t) override {}
};

inline MergeResult Merge(const Project& project, Recorder& recorder,
                         FileOutput& output = SystemFileOutput()) {
    return MergeBankSx((project.master() / ProjectFiles::kBaseFirmwareName).string(),
                       "New_SX30418.sx", project.bin().string() + "/",
                       project.folder().string() + "/", recorder, recorder, output);
}

class Stopwatch {
public:
    double Seconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// Temporary files a save left beside its target.
inline size_t TemporariesIn(const std::filesystem::path& folder) {
    size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        count += entry.path().filename().string().rfind(".", 0) == 0 ? 1 : 0;
    return count;
}

inline size_t EntriesIn(const std::filesystem::path& folder) {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(folder),
                                             std::filesystem::directory_iterator()));
}

} // namespace fabricor::test_support
