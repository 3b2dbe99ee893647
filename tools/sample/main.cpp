// Writes a sample base firmware, so that Update Device can be tried on a fresh machine.
// Refuses to replace an existing file: that may be a device's real firmware.

#include "base/atomic_file.h"
#include "base/run_temporaries.h"
#include "platform/arguments.h"
#include "platform/files.h"
#include "sample/sample_firmware.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage =
    "Usage: fabricor-sample-firmware [--] TARGET.sx\n"
    "\n"
    "Writes a sample base firmware (Motorola S-records, marked in its header as a sample and\n"
    "not for a device) to TARGET.sx. An existing file is never replaced.\n"
    "Exit status: 0 written; 1 the file exists or cannot be written; 2 usage error.\n";

int UsageError(const char* problem, const char* word) {
    std::fprintf(stderr, "fabricor-sample-firmware: %s%s%s\n%s", problem, word ? " " : "",
                 word ? word : "", kUsage);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    fabricor::platform::PrintUtf8();
    const std::vector<std::string> words = fabricor::platform::ProgramArguments(argc, argv);
    const char* target = nullptr;
    bool options = true;
    for (const std::string& each : words) {
        const char* word = each.c_str();
        if (options && std::strcmp(word, "--") == 0) {
            options = false;
            continue;
        }
        if (options && (std::strcmp(word, "--help") == 0 || std::strcmp(word, "-h") == 0)) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (options && word[0] == '-')
            return UsageError("unknown option", word);
        if (target)
            return UsageError("only one TARGET is written, not also", word);
        target = word;
    }
    if (!target || !*target)
        return UsageError("TARGET is missing", nullptr);
    fabricor::InstallInterruptCleanup();

    std::filesystem::path path = fabricor::platform::PathOfUtf8(target);
    std::error_code error;
    if (std::filesystem::exists(path, error) || error) {
        std::fprintf(stderr, "fabricor-sample-firmware: %s exists; left as it is\n", target);
        return 1;
    }
    fabricor::Status written =
        fabricor::WriteFileAtomically(path, fabricor::sample::SampleFirmwareText());
    if (!written) {
        std::fprintf(stderr, "fabricor-sample-firmware: %s\n", written.message().c_str());
        return 1;
    }
    std::printf("Sample firmware written to %s\n", target);
    return 0;
}
