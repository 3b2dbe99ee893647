#include "firmware/merge.h"

#include "base/atomic_file.h"
#include "base/folders.h"
#include "base/regular_file.h"
#include "base/run_temporaries.h"
#include "firmware/firmware_window.h"
#include "firmware/srecord.h"
#include "platform/files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace fabricor {
namespace {

constexpr size_t kRecordDataBytes = 32;
constexpr size_t kShortSpan = 4096;

// Anything but a folder: what else it is is told when it is opened.
bool IsRegularFile(const std::string& path) {
    platform::FileStatus status;
    return platform::StatusOfName(path, status) == 0 && status.kind != platform::FileKind::Folder;
}

// The 512 records that carry the image, CR LF after each.
std::optional<std::string> BuildStagingText(const std::string& imagePath, std::string& error) {
    std::vector<uint8_t> image(16384, 0);
    RegularFile file = RegularFile::Open(imagePath, kFirmwareReadLimit);
    if (!file.ok()) {
        error = file.error();
        return std::nullopt;
    }
    // A short image leaves its missing tail zero; bytes past 16384 are not used.
    size_t filled = 0;
    while (filled < image.size()) {
        long long got =
            file.ReadSome(reinterpret_cast<char*>(image.data()) + filled, image.size() - filled);
        if (got < 0) {
            error = file.error();
            return std::nullopt;
        }
        if (got == 0)
            break;
        filled += static_cast<size_t>(got);
    }
    return StagingRecordsText(
        std::string_view(reinterpret_cast<const char*>(image.data()), image.size()));
}

std::optional<std::string> ReadWholeFile(const std::string& path, std::string& error) {
    FileRead read = ReadRegularFile(path, kFirmwareReadLimit);
    if (!read.bytes)
        error = read.error;
    return std::move(read.bytes);
}

// The merging phase: reads the base firmware as a stream of lines, whatever their length, and
// writes the new firmware through a bounded buffer. Only the first ten characters of a line are
// ever held, since they alone decide what becomes of it.
class LineMerger {
public:
    LineMerger(ByteSource& base, ByteSink& out, std::string_view staging, MergeProgress& progress,
               int64_t& position, size_t chunkSize)
        : base_(base), out_(out), staging_(staging), progress_(progress), position_(position),
          chunkSize_(chunkSize) {}

    // Nothing when every line went through; otherwise why it stopped.
    std::optional<std::string> Run() {
        std::unique_ptr<char[]> chunk(new char[chunkSize_]);
        output_.reserve(std::min(chunkSize_, kMergeChunkSize) + 4096);
        for (;;) {
            long long got = base_.ReadSome(chunk.get(), chunkSize_);
            if (got < 0)
                return "reading the base firmware: " + base_.error();
            if (got == 0)
                break;
            auto failure = Feed(std::string_view(chunk.get(), static_cast<size_t>(got)));
            // Shown once a chunk rather than once a line: a few hundred steps for a large base.
            progress_.SetPosition(position_);
            if (failure)
                return failure;
        }
        if (inLine_) {
            auto failure = EndLine();
            progress_.SetPosition(position_);
            if (failure)
                return failure;
        }
        return Flush();
    }

    bool imagePlaced() const { return placed_; }
    int64_t lines() const { return line_; }

private:
    enum class Fate { Undecided, Copy, Drop };

    std::optional<std::string> Feed(std::string_view bytes) {
        while (!bytes.empty()) {
            inLine_ = true;
            if (fate_ == Fate::Undecided && head_.empty()) {
                // The common case: the whole line lies in this chunk.
                const char* end =
                    static_cast<const char*>(std::memchr(bytes.data(), '\n', bytes.size()));
                if (end) {
                    std::string_view raw =
                        bytes.substr(0, static_cast<size_t>(end - bytes.data()) + 1);
                    bytes.remove_prefix(raw.size());
                    std::string_view content = raw.substr(0, raw.size() - 1);
                    if (!content.empty() && content.back() == '\r')
                        content.remove_suffix(1);
                    if (content.empty())
                        return "line " + std::to_string(line_ + 1) + ": blank line";
                    if (auto failure = Decide(content))
                        return failure;
                    if (fate_ == Fate::Copy) {
                        if (raw.size() == content.size() + 2) {
                            EmitUnchanged(raw);
                        } else {
                            Emit(content);
                            Emit("\r\n");
                        }
                    }
                    StartLine();
                    continue;
                }
            }
            if (fate_ == Fate::Undecided) {
                char c = bytes.front();
                if (c == '\n') {
                    bytes.remove_prefix(1);
                    if (auto failure = EndLine())
                        return failure;
                    continue;
                }
                if (head_.size() < kS3RecordHeadLength) {
                    head_ += c;
                    bytes.remove_prefix(1);
                    continue;
                }
                // Twelve characters followed by more of the line: they are all content.
                if (auto failure = Decide(head_))
                    return failure;
                if (fate_ == Fate::Copy)
                    Emit(head_);
                continue;
            }
            const char* end =
                static_cast<const char*>(std::memchr(bytes.data(), '\n', bytes.size()));
            size_t length = end ? static_cast<size_t>(end - bytes.data()) : bytes.size();
            std::string_view segment = bytes.substr(0, length);
            if (fate_ == Fate::Copy) {
                if (pendingReturn_ && (!segment.empty() || !end))
                    Emit("\r");
                pendingReturn_ = false;
                if (!segment.empty() && segment.back() == '\r') {
                    segment.remove_suffix(1);
                    if (!end)
                        pendingReturn_ = true;
                }
                Emit(segment);
            }
            if (end) {
                bytes.remove_prefix(length + 1);
                if (fate_ == Fate::Copy)
                    Emit("\r\n");
                StartLine();
            } else {
                bytes.remove_prefix(length);
            }
            if (output_.size() >= kMergeChunkSize)
                if (auto failure = Flush())
                    return failure;
        }
        // The next read reuses the chunk that span_ points into: a short span is copied after
        // the output held, a long one goes out at once without a copy. Small pieces of the base
        // thus do not each cost a write.
        if (span_.size() < kShortSpan) {
            Settle();
            if (output_.size() < kMergeChunkSize)
                return std::nullopt;
        }
        return Flush();
    }

    // A line that ended while its fate was still open: it is all in head_.
    std::optional<std::string> EndLine() {
        std::string_view content = head_;
        // A carriage return before the line end is not part of the line.
        if (!content.empty() && content.back() == '\r')
            content.remove_suffix(1);
        if (fate_ == Fate::Undecided) {
            if (content.empty())
                return "line " + std::to_string(line_ + 1) + ": blank line";
            if (auto failure = Decide(content))
                return failure;
            if (fate_ == Fate::Copy) {
                Emit(content);
                Emit("\r\n");
            }
        } else if (fate_ == Fate::Copy) {
            Emit("\r\n"); // a last line without line feed, streamed already
        }
        StartLine();
        if (output_.size() >= kMergeChunkSize)
            return Flush();
        return std::nullopt;
    }

    // Only the first twelve characters of content count: an S3 record's head, which is longer
    // than an S1 or S2 record's. An S3 line whose head cannot be read is copied like any other.
    std::optional<std::string> Decide(std::string_view content) {
        ++line_;
        ++position_;
        fate_ = Fate::Copy;
        const DataRecordHead head = ReadAddressRecordHead(content);
        if (head.kind == DataRecordHead::Kind::Other ||
            (head.type == 3 && head.kind != DataRecordHead::Kind::Address))
            return std::nullopt;
        if (head.kind != DataRecordHead::Kind::Address)
            return "line " + std::to_string(line_) + ": " + DataRecordHeadErrorText(head.kind);
        // The base may hold in the window only what the image replaces (see WindowPlace).
        switch (PlaceInWindow(head.type, head.address, head.dataBytes)) {
        case WindowPlace::Outside:
            return std::nullopt;
        case WindowPlace::Intrudes:
            return "line " + std::to_string(line_) + ": " +
                   IntrusionText(head.type, head.address, head.dataBytes);
        case WindowPlace::Window:
            break;
        }
        fate_ = Fate::Drop;
        if (!placed_) {
            placed_ = true;
            Emit(staging_);
            position_ += kStagingRecords;
        }
        return std::nullopt;
    }

    void StartLine() {
        head_.clear();
        fate_ = Fate::Undecided;
        pendingReturn_ = false;
        inLine_ = false;
    }

    void Emit(std::string_view text) {
        Settle();
        output_ += text;
    }

    // Lines that are already in their output form go out straight from the chunk they were read
    // into, as one span, without a copy.
    void EmitUnchanged(std::string_view raw) {
        if (!span_.empty() && span_.data() + span_.size() == raw.data()) {
            span_ = std::string_view(span_.data(), span_.size() + raw.size());
            return;
        }
        Settle();
        span_ = raw;
    }

    // Whatever is in output_ comes before span_; anything appended later must follow it.
    void Settle() {
        if (!span_.empty()) {
            output_ += span_;
            span_ = {};
        }
    }

    std::optional<std::string> Flush() {
        for (std::string_view part : {std::string_view(output_), span_}) {
            if (part.empty())
                continue;
            if (auto written = out_.Write(part); !written.ok()) {
                output_.clear();
                span_ = {};
                return "writing the new firmware: " + written.message();
            }
        }
        output_.clear();
        span_ = {};
        return std::nullopt;
    }

    ByteSource& base_;
    ByteSink& out_;
    std::string_view staging_;
    MergeProgress& progress_;
    int64_t& position_;
    const size_t chunkSize_;

    std::string head_;
    std::string output_;
    std::string_view span_;
    Fate fate_ = Fate::Undecided;
    bool pendingReturn_ = false;
    bool inLine_ = false;
    bool placed_ = false;
    int64_t line_ = 0;
};

// Lines of the base firmware: its line feeds, plus a last line without one.
std::optional<int64_t> CountLines(ByteSource& base, size_t size, std::string& error) {
    std::unique_ptr<char[]> chunk(new char[size]);
    int64_t lines = 0;
    char last = '\n';
    for (;;) {
        long long got = base.ReadSome(chunk.get(), size);
        if (got < 0) {
            error = "reading the base firmware: " + base.error();
            return std::nullopt;
        }
        if (got == 0)
            break;
        const char* at = chunk.get();
        const char* end = at + got;
        while (
            (at = static_cast<const char*>(std::memchr(at, '\n', static_cast<size_t>(end - at))))) {
            ++lines;
            ++at;
        }
        last = chunk[static_cast<size_t>(got) - 1];
    }
    if (last != '\n')
        ++lines;
    if (!base.Rewind()) {
        error = "rewinding the base firmware: " + base.error();
        return std::nullopt;
    }
    return lines;
}

} // namespace

std::string StagingRecordsText(std::string_view image) {
    std::string text;
    text.reserve(static_cast<size_t>(kStagingRecords) * 78);
    uint8_t record[kRecordDataBytes];
    for (int k = 0; k < kStagingRecords; ++k) {
        const size_t from = static_cast<size_t>(k) * kRecordDataBytes;
        for (size_t i = 0; i < kRecordDataBytes; ++i)
            record[i] = from + i < image.size() ? static_cast<uint8_t>(image[from + i]) : 0;
        text += FormatSRecord(kS2RecordType, kBankWindowFirst + static_cast<uint32_t>(from), record);
        text += "\r\n";
    }
    return text;
}

MergeResult MergeFirmwareStreams(ByteSource& base, std::string_view staging, ByteSink& out,
                                 MergeProgress& progress, size_t chunkSize) {
    MergeResult result;
    if (chunkSize == 0)
        chunkSize = kMergeChunkSize;
    // No buffer larger than the base (a file that grows meanwhile is still read whole).
    if (size_t known = base.SizeHint(); known > 0)
        chunkSize = std::min(chunkSize, std::max<size_t>(known, 4096));
    std::optional<int64_t> lines;
    if (progress.Followed()) {
        std::string error;
        lines = CountLines(base, chunkSize, error);
        if (!lines) {
            result.outcome = MergeOutcome::MergeFailed;
            result.error = error;
            return result;
        }
        progress.SetMaximum(kStagingRecords + *lines);
    }
    int64_t position = 0;
    LineMerger merger(base, out, staging, progress, position, chunkSize);
    if (auto failure = merger.Run()) {
        result.outcome = MergeOutcome::MergeFailed;
        result.error = *failure;
    }
    // Unfollowed, the lines are those the merge went through: all of them once it is written.
    result.baseLines = lines.value_or(merger.lines());
    result.imagePlaced = merger.imagePlaced();
    return result;
}

MergeResult MergeBankSx(const std::string& baseFileName, const std::string& newFileName,
                        const std::string& binFolder, const std::string& outputFolder,
                        MergeReporter& reporter, MergeProgress& progress, FileOutput& output) {
    MergeResult result;
    progress.SetPosition(0);
    int64_t counter = 0;

    auto checkFailed = [&](const char* message) {
        result.outcome = MergeOutcome::CheckFailed;
        reporter.Report(message);
        return result;
    };
    if (!IsRegularFile(baseFileName))
        return checkFailed(kMergeBaseMissing);
    if (newFileName.empty())
        return checkFailed(kMergeNewNameEmpty);
    if (binFolder.empty() || !FolderExists(binFolder))
        return checkFailed(kMergeBinMissing);
    const std::string imagePath = ProjectFiles::ImageInMergeBin(binFolder);
    if (!IsRegularFile(imagePath))
        return checkFailed(kMergeImageMissing);

    const std::string stagingPath = ProjectFiles::StagingInMergeBin(binFolder);
    // Removed on every way out, an interruption included.
    RunTemporary stagingWhileMerging(stagingPath);
    const std::string outputPath = outputFolder + newFileName;
    auto openFailed = [&](std::string error) {
        platform::RemoveFile(stagingPath);
        result.outcome = MergeOutcome::OpenFailed;
        result.error = std::move(error);
        return result;
    };

    std::string error;
    auto stagingText = BuildStagingText(imagePath, error);
    if (!stagingText)
        return openFailed(error);
    if (auto written = WriteFileAtomically(stagingPath, *stagingText, output); !written.ok())
        return openFailed(written.message());
    counter = kStagingRecords;

    auto staging = ReadWholeFile(stagingPath, error);
    if (!staging)
        return openFailed(error);
    // A FIFO or a device in its place is refused here, at once, naming it.
    RegularFile base = RegularFile::Open(baseFileName, kFirmwareReadLimit);
    if (!base.ok())
        return openFailed(base.error());
    AtomicFileWriter writer(outputPath, output);
    if (auto opened = writer.Open(); !opened.ok())
        return openFailed(opened.message());

    RegularFileSource source(base);
    HashingSink hashed(writer);
    MergeResult merged = MergeFirmwareStreams(source, *staging, hashed, progress);
    result.baseLines = merged.baseLines;
    result.imagePlaced = merged.imagePlaced;
    counter += merged.baseLines;
    std::optional<std::string> failure;
    bool targetUntouched = false;
    if (merged.outcome != MergeOutcome::Written) {
        failure = merged.error;
    } else if (auto committed = writer.Commit(); !committed.ok()) {
        failure = "writing the new firmware: " + committed.message();
        targetUntouched = true; // it could not be replaced, so it is left as it was
    } else {
        result.hash.hex = hashed.Hex();
        if (!result.hash.hex)
            result.hash.error = outputPath + ": SHA-256 failed";
    }

    if (failure) {
        // Neither a partial file nor an older one may pass for this merge's result.
        writer.Abort();
        if (!targetUntouched)
            platform::RemoveFile(outputPath);
        result.outcome = MergeOutcome::MergeFailed;
        result.error = *failure;
        reporter.Report(kMergeFailed);
    }
    progress.SetPosition(counter);
    platform::RemoveFile(stagingPath);
    return result;
}

} // namespace fabricor
