#include "base/sha256.h"

#include "base/regular_file.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace fabricor {
namespace {

// Pieces of a file read for its hash: large enough that the calls cost nothing beside the
// hashing, small enough not to show in the program's memory.
constexpr size_t kHashChunkSize = 64 * 1024;

// What a HashingSink gathers before handing it to its thread, and how many such pieces may wait
// there: the writer never runs more than this far ahead, so memory stays at a few hundred
// kilobytes.
constexpr size_t kHashPieceSize = 128 * 1024;
constexpr size_t kHashPiecesWaiting = 3;

std::optional<std::string> HexOf(Sha256Digest& digest) {
    std::optional<std::string> bytes = digest.Finish();
    if (!bytes)
        return std::nullopt;
    static const char* digits = "0123456789abcdef";
    std::string hex;
    for (unsigned char byte : *bytes) {
        hex += digits[byte >> 4];
        hex += digits[byte & 15];
    }
    return hex;
}

} // namespace

std::string Sha256Hex(std::string_view bytes) {
    Sha256Digest digest;
    digest.Add(bytes.data(), bytes.size());
    return HexOf(digest).value_or("");
}

FileHash Sha256OfFile(const std::string& path) {
    FileHash result;
    RegularFile file = RegularFile::Open(path, kFirmwareReadLimit);
    if (!file.ok()) {
        result.error = file.error();
        return result;
    }
    Sha256Digest digest;
    std::unique_ptr<char[]> chunk(new char[kHashChunkSize]);
    for (;;) {
        long long got = file.ReadSome(chunk.get(), kHashChunkSize);
        if (got < 0) {
            result.error = file.error();
            return result;
        }
        if (got == 0)
            break;
        digest.Add(chunk.get(), static_cast<size_t>(got));
    }
    result.hex = HexOf(digest);
    if (!result.hex)
        result.error = path + ": SHA-256 failed";
    return result;
}

// The thread that hashes the pieces in the order they were handed over.
class HashingSink::Behind {
public:
    explicit Behind(Sha256Digest& digest) : digest_(digest), thread_([this] { Run(); }) {}
    ~Behind() { Finish(); }

    // Takes the piece and gives back an empty one to fill, waiting while too many are queued.
    std::string HandOver(std::string piece) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return waiting_.size() < kHashPiecesWaiting; });
        waiting_.push_back(std::move(piece));
        std::string next;
        if (!spare_.empty()) {
            next = std::move(spare_.back());
            spare_.pop_back();
        }
        lock.unlock();
        changed_.notify_all();
        return next;
    }

    // Returns once every piece handed over is hashed.
    void Finish() {
        {
            std::lock_guard lock(mutex_);
            ended_ = true;
        }
        changed_.notify_all();
        if (thread_.joinable())
            thread_.join();
    }

private:
    void Run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [&] { return ended_ || !waiting_.empty(); });
            if (waiting_.empty())
                return;
            std::string piece = std::move(waiting_.front());
            waiting_.pop_front();
            lock.unlock();
            changed_.notify_all();
            digest_.Add(piece.data(), piece.size());
            piece.clear();
            lock.lock();
            spare_.push_back(std::move(piece));
        }
    }

    Sha256Digest& digest_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::string> waiting_;
    std::vector<std::string> spare_;
    bool ended_ = false;
    std::thread thread_; // last: started once the rest is in place
};

HashingSink::HashingSink(ByteSink& next) : next_(next) {}

HashingSink::~HashingSink() = default;

Status HashingSink::Write(std::string_view bytes) {
    Status written = next_.Write(bytes);
    if (!written.ok())
        return written;
    while (!bytes.empty()) {
        if (filling_.capacity() < kHashPieceSize)
            filling_.reserve(kHashPieceSize);
        const size_t room = kHashPieceSize - filling_.size();
        const std::string_view part = bytes.substr(0, room);
        filling_.append(part);
        bytes.remove_prefix(part.size());
        if (filling_.size() == kHashPieceSize)
            HandOver();
    }
    return written;
}

void HashingSink::HandOver() {
    if (!behind_ && !alone_) {
        try {
            behind_ = std::make_unique<Behind>(digest_);
        } catch (const std::system_error&) {
            alone_ = true; // no thread to be had: the writer hashes as it goes
        }
    }
    if (behind_) {
        filling_ = behind_->HandOver(std::move(filling_));
    } else {
        digest_.Add(filling_.data(), filling_.size());
        filling_.clear();
    }
}

std::optional<std::string> HashingSink::Hex() {
    if (behind_) {
        behind_->Finish();
        behind_.reset();
    }
    digest_.Add(filling_.data(), filling_.size());
    filling_.clear();
    return HexOf(digest_);
}

} // namespace fabricor
