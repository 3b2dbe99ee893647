// Writes a sample base firmware, so that Update Device can be tried on a fresh machine.
// Refuses to replace an existing file: that may be a device's real firmware.

#include "base/atomic_file.h"
#include "sample/sample_firmware.h"

#include <cstdio>
#include <filesystem>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fabricor-sample-firmware <target .sx file>\n");
        return 2;
    }
    std::filesystem::path target = argv[1];
    std::error_code error;
    if (std::filesystem::exists(target, error) || error) {
        std::fprintf(stderr, "fabricor-sample-firmware: %s exists; left as it is\n", argv[1]);
        return 1;
    }
    fabricor::Status written =
        fabricor::WriteFileAtomically(target, fabricor::sample::SampleFirmwareText());
    if (!written) {
        std::fprintf(stderr, "fabricor-sample-firmware: %s\n", written.message().c_str());
        return 1;
    }
    std::printf("Sample firmware written to %s\n", argv[1]);
    return 0;
}
