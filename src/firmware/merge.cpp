#include "firmware/merge.h"

#include "app/workspace.h"
#include "base/atomic_file.h"
#include "base/run_temporaries.h"
#include "base/regular_file.h"
#include "documents/integer_text.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fabricor {
namespace {

constexpr size_t kDefaultChunkSize = 1 << 20;
std::atomic<size_t> chunkSize{kDefaultChunkSize};
constexpr size_t kRecordDataBytes = 32;
constexpr char kHexDigits[] = "0123456789ABCDEF";

bool IsRegularFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

void AppendHexByte(std::string& text, uint8_t byte) {
    text += kHexDigits[byte >> 4];
    text += kHexDigits[byte & 0x0F];
}

std::optional<uint32_t> ParseHexAddress(std::string_view digits) {
    uint32_t value = 0;
    for (char c : digits) {
        int digit = HexDigitValue(c);
        if (digit < 0)
            return std::nullopt;
        value = value * 16 + static_cast<uint32_t>(digit);
    }
    return value;
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
    std::string text;
    text.reserve(static_cast<size_t>(kStagingRecords) * 78);
    uint32_t address = kBankWindowFirst;
    for (int record = 0; record < kStagingRecords; ++record, address += kRecordDataBytes) {
        std::string line = "S224";
        AppendHexByte(line, static_cast<uint8_t>(address >> 16));
        AppendHexByte(line, static_cast<uint8_t>(address >> 8));
        AppendHexByte(line, static_cast<uint8_t>(address));
        for (size_t i = 0; i < kRecordDataBytes; ++i)
            AppendHexByte(line, image[record * kRecordDataBytes + i]);
        text += line;
        text += SxChecksum(line + "00");
        text += "\r\n";
    }
    return text;
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
    LineMerger(RegularFile& base, AtomicFileWriter& writer, const std::string& staging,
               MergeProgress& progress, int64_t& position)
        : base_(base), writer_(writer), staging_(staging), progress_(progress),
          position_(position) {}

    // Nothing when every line went through; otherwise why it stopped.
    std::optional<std::string> Run() {
        const size_t size = chunkSize.load();
        std::unique_ptr<char[]> chunk(new char[size]);
        output_.reserve(kDefaultChunkSize + 4096);
        for (;;) {
            long long got = base_.ReadSome(chunk.get(), size);
            if (got < 0)
                return "reading the base firmware: " + base_.error();
            if (got == 0)
                break;
            if (auto failure = Feed(std::string_view(chunk.get(), static_cast<size_t>(got))))
                return failure;
        }
        if (inLine_)
            if (auto failure = EndLine())
                return failure;
        return Flush();
    }

    bool imagePlaced() const { return placed_; }

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
                    std::string_view raw = bytes.substr(0, static_cast<size_t>(end - bytes.data()) + 1);
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
                if (head_.size() < 10) {
                    head_ += c;
                    bytes.remove_prefix(1);
                    continue;
                }
                // Ten characters followed by more of the line: they are all content.
                if (auto failure = Decide(head_))
                    return failure;
                if (fate_ == Fate::Copy)
                    Emit(head_);
                continue;
            }
            const char* end = static_cast<const char*>(std::memchr(bytes.data(), '\n', bytes.size()));
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
            if (output_.size() >= kDefaultChunkSize)
                if (auto failure = Flush())
                    return failure;
        }
        // The next read reuses the chunk that span_ points into.
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
        if (output_.size() >= kDefaultChunkSize)
            return Flush();
        return std::nullopt;
    }

    // Only the first ten characters of content count.
    std::optional<std::string> Decide(std::string_view content) {
        ++line_;
        progress_.SetPosition(++position_);
        fate_ = Fate::Copy;
        bool s1 = content.starts_with("S1");
        bool s2 = content.starts_with("S2");
        if (!s1 && !s2)
            return std::nullopt;
        size_t digits = s1 ? 4 : 6;
        if (content.size() < 4 + digits)
            return "line " + std::to_string(line_) + ": record too short for its address";
        auto address = ParseHexAddress(content.substr(4, digits));
        if (!address)
            return "line " + std::to_string(line_) + ": address is not hexadecimal";
        if (*address < kBankWindowFirst || *address > kBankWindowLast)
            return std::nullopt;
        fate_ = Fate::Drop;
        if (!placed_) {
            placed_ = true;
            Emit(staging_);
            position_ += kStagingRecords;
            progress_.SetPosition(position_);
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
            if (auto written = writer_.Write(part); !written.ok()) {
                output_.clear();
                span_ = {};
                return "writing the new firmware: " + written.message();
            }
        }
        output_.clear();
        span_ = {};
        return std::nullopt;
    }

    RegularFile& base_;
    AtomicFileWriter& writer_;
    const std::string& staging_;
    MergeProgress& progress_;
    int64_t& position_;

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
std::optional<int64_t> CountLines(RegularFile& base, std::string& error) {
    const size_t size = chunkSize.load();
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
        while ((at = static_cast<const char*>(std::memchr(at, '\n', static_cast<size_t>(end - at))))) {
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

void SetMergeChunkSizeForTesting(size_t bytes) {
    chunkSize = bytes == 0 ? kDefaultChunkSize : bytes;
}

std::string SxChecksum(const std::string& recordWithPlaceholder) {
    unsigned sum = 0;
    // Pairs from the third character up to the placeholder.
    for (size_t i = 2; i + 3 < recordWithPlaceholder.size(); i += 2) {
        int high = HexDigitValue(recordWithPlaceholder[i]);
        int low = HexDigitValue(recordWithPlaceholder[i + 1]);
        if (high >= 0 && low >= 0)
            sum += static_cast<unsigned>(high * 16 + low);
    }
    std::string digits;
    AppendHexByte(digits, static_cast<uint8_t>(~sum & 0xFF));
    return digits;
}

MergeResult MergeBankSx(const std::string& baseFileName, const std::string& newFileName,
                        const std::string& binFolder, const std::string& outputFolder,
                        MergeReporter& reporter, MergeProgress& progress) {
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
    const std::string imagePath = binFolder + kImageFileName;
    if (!IsRegularFile(imagePath))
        return checkFailed(kMergeImageMissing);

    const std::string stagingPath = binFolder + kStagingFileName;
    // Removed on every way out, an interruption included.
    RunTemporary stagingWhileMerging(stagingPath);
    const std::string outputPath = outputFolder + newFileName;
    auto openFailed = [&](std::string error) {
        ::unlink(stagingPath.c_str());
        result.outcome = MergeOutcome::OpenFailed;
        result.error = std::move(error);
        return result;
    };

    std::string error;
    auto stagingText = BuildStagingText(imagePath, error);
    if (!stagingText)
        return openFailed(error);
    if (auto written = WriteFileAtomically(stagingPath, *stagingText); !written.ok())
        return openFailed(written.message());
    counter = kStagingRecords;

    auto staging = ReadWholeFile(stagingPath, error);
    if (!staging)
        return openFailed(error);
    // A FIFO or a device in its place is refused here, at once, naming it.
    RegularFile base = RegularFile::Open(baseFileName, kFirmwareReadLimit);
    if (!base.ok())
        return openFailed(base.error());
    AtomicFileWriter writer(outputPath);
    if (auto opened = writer.Open(); !opened.ok())
        return openFailed(opened.message());

    std::optional<std::string> failure;
    bool targetUntouched = false;
    if (auto lines = CountLines(base, error)) {
        result.baseLines = *lines;
        counter += *lines;
        progress.SetMaximum(counter);
        int64_t position = 0;
        LineMerger merger(base, writer, *staging, progress, position);
        failure = merger.Run();
        result.imagePlaced = merger.imagePlaced();
        if (!failure)
            if (auto committed = writer.Commit(); !committed.ok()) {
                failure = "writing the new firmware: " + committed.message();
                targetUntouched = true; // it could not be replaced, so it is left as it was
            }
    } else {
        failure = error;
    }

    if (failure) {
        // Neither a partial file nor an older one may pass for this merge's result.
        writer.Abort();
        if (!targetUntouched)
            ::unlink(outputPath.c_str());
        result.outcome = MergeOutcome::MergeFailed;
        result.error = *failure;
        reporter.Report(kMergeFailed);
    }
    progress.SetPosition(counter);
    ::unlink(stagingPath.c_str());
    return result;
}

} // namespace fabricor
