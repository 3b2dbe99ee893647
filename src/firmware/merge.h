#pragma once

#include "base/atomic_file.h"
#include "base/byte_stream.h"
#include "base/project_files.h"
#include "base/sha256.h"
#include "firmware/srecord.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace fabricor {

// The four check messages and the merging failure, in the merge's own words.
inline constexpr const char* kMergeBaseMissing = "File *.Sx Not Found,Abort Procedure";
inline constexpr const char* kMergeNewNameEmpty = "File New *.Sx Not Found,Abort Procedure";
inline constexpr const char* kMergeBinMissing = "Directory Bin Not Found,Abort Procedure";
inline constexpr const char* kMergeImageMissing = "File bank1.bin Not Found,Abort Procedure";
inline constexpr const char* kMergeFailed = "File New Sx Not Create,Abort Procedure";

// Load addresses of configuration bank 1.
inline constexpr uint32_t kBankWindowFirst = 0x388000;
inline constexpr uint32_t kBankWindowLast = 0x38BFFF;
inline constexpr int kStagingRecords = 512;

// The size of the pieces the base firmware is read and the new one written in.
inline constexpr size_t kMergeChunkSize = 256 << 10;

// Where the merge's messages go: a message box in the dialog, stderr in the command line.
class MergeReporter {
public:
    virtual ~MergeReporter() = default;
    virtual void Report(const std::string& message) = 0;
};

// The merge's progress: the maximum is 512 plus the base firmware's lines, the position counts
// lines handled and ends equal to the maximum once the checks have passed.
class MergeProgress {
public:
    virtual ~MergeProgress() = default;
    virtual void SetMaximum(int64_t maximum) = 0;
    virtual void SetPosition(int64_t position) = 0;
    // Whether anybody sees it: when nobody does, the base is not read ahead of the merge only
    // to count its lines for the maximum.
    virtual bool Followed() const { return true; }
};

enum class MergeOutcome {
    Written,      // the new firmware is complete (with or without the image, see imagePlaced)
    CheckFailed,  // one of the four checks failed and was reported; no file touched
    MergeFailed,  // reported as kMergeFailed; no file is left under the new firmware's name
    OpenFailed,   // a file could not be created or opened; not reported, see error
};

struct MergeResult {
    MergeOutcome outcome = MergeOutcome::Written;
    bool imagePlaced = false;   // whether the base firmware had a record in the bank window
    int64_t baseLines = 0;
    std::string error;          // system's text for OpenFailed, the cause for MergeFailed
    // When Written: the new firmware's SHA-256, taken from the bytes as they were written.
    FileHash hash;
};

// Copies the base firmware into outputFolder + newFileName, putting the 512 records built from
// the image in binFolder in place of the base's records of the bank window (at the position of
// the first of them). baseFileName is opened as given, so a bare name is found in the current
// directory. binFolder and outputFolder end with a path separator. Output lines end in CR LF.
// The records of the image pass through binFolder + "Bin.sx", which exists only while the merge
// runs. The new firmware is written atomically (see AtomicFileWriter) and hashed as it is
// written; both files' bytes go through `output`. Memory does not grow with the base firmware's
// size.
MergeResult MergeBankSx(const std::string& baseFileName, const std::string& newFileName,
                        const std::string& binFolder, const std::string& outputFolder,
                        MergeReporter& reporter, MergeProgress& progress,
                        FileOutput& output = SystemFileOutput());

// The merging phase on its own, on streams: copies `base` to `out` line by line, with the
// staging records in place of the base's records of the bank window (at the position of the
// first of them). A base record that intrudes on the window (see WindowPlace: an S1 or S3
// record there, an S2 record across its edge) fails the merge. Only the first twelve characters
// of a line decide its fate, so a line of any length streams through. `base` is read in pieces
// of chunkSize bytes (0: the normal size), twice when the progress is followed: once to count
// its lines for the progress maximum, then to merge. Reports nothing; the outcome is Written or MergeFailed with the cause
// in error. What becomes of `out` (kept, discarded) and the progress's last position are the
// caller's.
MergeResult MergeFirmwareStreams(ByteSource& base, std::string_view staging, ByteSink& out,
                                 MergeProgress& progress, size_t chunkSize = kMergeChunkSize);

// The 512 S2 records that carry a configuration image in the bank window, CR LF after each: the
// image's first 16,384 bytes, zero filled when it is shorter.
std::string StagingRecordsText(std::string_view image);

// Progress that nobody follows.
class NoMergeProgress final : public MergeProgress {
public:
    void SetMaximum(int64_t) override {}
    void SetPosition(int64_t) override {}
    bool Followed() const override { return false; }
};

} // namespace fabricor
