#pragma once

#include "base/status.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

namespace fabricor {

// Where bytes come from, read front to back in pieces of any size.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Up to `size` bytes into `buffer`: how many (0 at the end), or -1 with error() set.
    virtual long long ReadSome(char* buffer, size_t size) = 0;
    // Back to the first byte; false with error() set when that is not possible.
    virtual bool Rewind() = 0;
    virtual const std::string& error() const = 0;
    // How many bytes there are, when known (0: unknown): a reader need not hold a buffer larger
    // than the whole source.
    virtual size_t SizeHint() const { return 0; }
};

// Where bytes go. Whether they are kept (a file committed) is the owner's business.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual Status Write(std::string_view bytes) = 0;
};

// Bytes held in memory, which must outlive the source.
class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
    long long ReadSome(char* buffer, size_t size) override {
        size_t count = std::min(size, bytes_.size() - at_);
        std::copy_n(bytes_.data() + at_, count, buffer);
        at_ += count;
        return static_cast<long long>(count);
    }
    bool Rewind() override {
        at_ = 0;
        return true;
    }
    const std::string& error() const override { return error_; }
    size_t SizeHint() const override { return bytes_.size(); }

private:
    std::string_view bytes_;
    size_t at_ = 0;
    std::string error_;
};

// Collects what is written in a string.
class MemorySink final : public ByteSink {
public:
    Status Write(std::string_view bytes) override {
        bytes_ += bytes;
        return Status::Ok();
    }
    const std::string& bytes() const { return bytes_; }
    void Clear() { bytes_.clear(); }

private:
    std::string bytes_;
};

} // namespace fabricor
