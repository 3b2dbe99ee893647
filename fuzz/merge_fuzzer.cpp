// S-record merge on any base firmware: it ends with one of its outcomes, and a new firmware it
// writes is byte for byte what the plain second reading of the merge rules gives (see
// tests/firmware/reference_merge.h). Runs in memory: the base is a byte source, the new firmware
// a sink. The first input byte picks the size of the pieces the base firmware is read in, so
// line ends fall anywhere across chunk boundaries. That the path-based merge leaves no partial
// file nor its staging file behind is the merge tests' and the hardening tests' business.

#include "firmware/merge.h"
#include "firmware/reference_merge.h"
#include "fuzz_support.h"

#include <cstdint>
#include <string>
#include <vector>

using namespace fabricor;

namespace {

struct Recorder final : MergeProgress {
    int64_t maximum = -1;
    int64_t position = -1;
    bool backwards = false;
    void SetMaximum(int64_t value) override { maximum = value; }
    void SetPosition(int64_t value) override {
        backwards = backwards || value < position;
        position = value;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    std::string base(reinterpret_cast<const char*>(data) + 1, size - 1);
    // Small chunks for small inputs; a few hundred reads at most for large ones.
    size_t chunk = data[0] < 0x80 ? (1 + data[0] % 37) * (1 + base.size() / 4096) : 0;

    static const std::string staging = [] {
        std::string image(16384, '\0');
        for (size_t i = 0; i < image.size(); ++i)
            image[i] = static_cast<char>(i * 7 + 3);
        return StagingRecordsText(image);
    }();
    FUZZ_CHECK(staging.size() == 512 * 78);

    MemorySource source(base);
    MemorySink sink;
    Recorder recorder;
    auto result = MergeFirmwareStreams(source, staging, sink, recorder, chunk);

    int64_t lines = 0;
    auto expected = test_support::ReferenceMerge(base, staging, &lines);
    FUZZ_CHECK(recorder.maximum == 512 + lines);
    FUZZ_CHECK(recorder.position <= recorder.maximum && !recorder.backwards);
    if (expected) {
        FUZZ_CHECK(result.outcome == MergeOutcome::Written);
        FUZZ_CHECK(sink.bytes() == *expected);
        FUZZ_CHECK(result.imagePlaced == (expected->find(staging) != std::string::npos));
    } else {
        FUZZ_CHECK(result.outcome == MergeOutcome::MergeFailed);
        FUZZ_CHECK(!result.error.empty());
    }
    return 0;
}
