#pragma once

#include "base/atomic_file.h"

#include <algorithm>
#include <cerrno>

namespace fabricor::test_support {

// A file output that takes a number of bytes, then fails every write as a full disk would
// (ENOSPC): handed to a save in place of the system's files. Until FailAfter it takes
// everything.
class FullDisk final : public FileOutput {
public:
    FullDisk() = default;
    explicit FullDisk(long long room) : room_(room) {}

    // From now on, `bytes` more bytes, then nothing; negative: no limit.
    void FailAfter(long long bytes) { room_ = bytes; }

    long long Write(int fd, const char* bytes, size_t size) override {
        if (room_ < 0)
            return SystemFileOutput().Write(fd, bytes, size);
        if (room_ == 0) {
            errno = ENOSPC;
            return -1;
        }
        long long written =
            SystemFileOutput().Write(fd, bytes, std::min(size, static_cast<size_t>(room_)));
        if (written > 0)
            room_ -= written;
        return written;
    }

private:
    long long room_ = -1;
};

} // namespace fabricor::test_support
