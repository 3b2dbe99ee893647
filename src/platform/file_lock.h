#pragma once

#include <cstdint>
#include <string>

// An advisory lock on a file, held by one open file at a time across all processes.
namespace fabricor::platform {

// Opens (creating it where allowed) a regular file to lock; never through a symbolic link, never
// blocking on something that is not a file. A descriptor, or -1.
int OpenLockFile(const std::string& path);

// Which file a descriptor is open on, whatever its name.
struct FileIdentity {
    uint64_t device = 0;
    uint64_t file = 0;
    bool operator==(const FileIdentity&) const = default;
};
FileIdentity IdentityOf(int fd);

enum class LockAttempt {
    Taken,       // held until the descriptor is closed
    Busy,        // another open of the file holds it
    Unsupported, // the file system has no locks
};
// Tries once, without waiting.
LockAttempt TryLockExclusive(int fd);

} // namespace fabricor::platform
