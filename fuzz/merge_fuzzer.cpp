// S-record merge on any base firmware: it ends with one of its outcomes, never leaves a partial
// new firmware or the staging file behind, and a new firmware it writes is byte for byte what a
// plain second reading of the merge rules gives. The first input byte picks the size of the
// chunks the base firmware is read in, so line ends fall anywhere across chunk boundaries.

#include "firmware/merge.h"
#include "fuzz_support.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

using namespace fabricor;
namespace fs = std::filesystem;

namespace {

struct Recorder final : MergeReporter, MergeProgress {
    std::vector<std::string> messages;
    int64_t maximum = -1;
    int64_t position = -1;
    void Report(const std::string& message) override { messages.push_back(message); }
    void SetMaximum(int64_t value) override { maximum = value; }
    void SetPosition(int64_t value) override { position = value; }
};

bool Hex(std::string_view digits, uint32_t& value) {
    value = 0;
    for (char c : digits) {
        int d = c >= '0' && c <= '9' ? c - '0'
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                       : -1;
        if (d < 0)
            return false;
        value = value * 16 + static_cast<uint32_t>(d);
    }
    return true;
}

// The merge rules read plainly: nothing when the merge must fail.
std::optional<std::string> ExpectedOutput(const std::string& base, const std::string& staging,
                                          int64_t& lines) {
    std::vector<std::string> split;
    size_t start = 0;
    while (start < base.size()) {
        size_t end = base.find('\n', start);
        if (end == std::string::npos)
            end = base.size();
        std::string line = base.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        split.push_back(line);
        start = end + 1;
    }
    lines = static_cast<int64_t>(split.size());
    std::string out;
    bool placed = false;
    for (const auto& line : split) {
        if (line.empty())
            return std::nullopt;
        bool s1 = line.rfind("S1", 0) == 0, s2 = line.rfind("S2", 0) == 0;
        if (s1 || s2) {
            size_t digits = s1 ? 4 : 6;
            uint32_t address = 0;
            if (line.size() < 4 + digits || !Hex(std::string_view(line).substr(4, digits), address))
                return std::nullopt;
            if (address >= kBankWindowFirst && address <= kBankWindowLast) {
                if (!placed)
                    out += staging;
                placed = true;
                continue;
            }
        }
        out += line + "\r\n";
    }
    return out;
}

size_t Entries(const fs::path& folder) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    std::string base(reinterpret_cast<const char*>(data) + 1, size - 1);
    // Small chunks for small inputs; a few hundred reads at most for large ones.
    size_t chunk = data[0] < 0x80 ? (1 + data[0] % 37) * (1 + base.size() / 4096) : 0;

    const auto& scratch = fuzz::ScratchFolder();
    fs::create_directories(scratch / "master");
    fs::create_directories(scratch / "project" / "bin");
    auto basePath = scratch / "master" / kBaseFirmwareName;
    auto bin = scratch / "project" / "bin";
    auto output = scratch / "project" / "New_SX30418.sx";
    static const std::string image = [] {
        std::string bytes(16384, '\0');
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<char>(i * 7 + 3);
        return bytes;
    }();
    fuzz::WriteBytes(bin / kImageFileName, image);
    fuzz::WriteBytes(basePath, base);
    fs::remove(output);

    // The staging records, as a merge of a base holding only a window record produces them.
    static const std::string staging = [&] {
        fuzz::WriteBytes(basePath, "S2243880000000\n");
        Recorder quiet;
        MergeBankSx(basePath.string(), "New_SX30418.sx", bin.string() + "/",
                    (scratch / "project").string() + "/", quiet, quiet);
        auto text = fuzz::ReadBytes(scratch / "project" / "New_SX30418.sx");
        fs::remove(scratch / "project" / "New_SX30418.sx");
        return text;
    }();
    FUZZ_CHECK(staging.size() == 512 * 78);
    fuzz::WriteBytes(basePath, base);

    SetMergeChunkSizeForTesting(chunk);
    Recorder recorder;
    auto result = MergeBankSx(basePath.string(), "New_SX30418.sx", bin.string() + "/",
                              (scratch / "project").string() + "/", recorder, recorder);
    SetMergeChunkSizeForTesting(0);

    int64_t lines = 0;
    auto expected = ExpectedOutput(base, staging, lines);
    FUZZ_CHECK(Entries(bin) == 1); // the staging file is gone
    FUZZ_CHECK(recorder.maximum == 512 + lines && recorder.position == recorder.maximum);
    if (expected) {
        FUZZ_CHECK(result.outcome == MergeOutcome::Written);
        FUZZ_CHECK(recorder.messages.empty());
        FUZZ_CHECK(fuzz::ReadBytes(output) == *expected);
    } else {
        FUZZ_CHECK(result.outcome == MergeOutcome::MergeFailed);
        FUZZ_CHECK(recorder.messages.size() == 1 && recorder.messages[0] == kMergeFailed);
        FUZZ_CHECK(!fs::exists(output));
    }
    FUZZ_CHECK(Entries(scratch / "project") == (expected ? 2u : 1u)); // no temporary left
    return 0;
}
