#include "base/run_temporaries.h"

#include "platform/files.h"
#include "platform/interrupt.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace fabricor {
namespace {

constexpr size_t kSlots = 64;
constexpr size_t kPathBytes = 4096;

// A slot is free, being filled, listed, or being removed by the handler.
enum SlotState : int { kFree, kFilling, kListed, kRemoving };

struct Slot {
    std::atomic<int> state{kFree};
    char path[kPathBytes]{};
};

// Fixed storage: the handler may only touch memory that exists before it runs. Constant
// initialised, so it costs the program neither start-up time nor memory until a slot is used.
constinit std::array<Slot, kSlots> slots{};

void RemoveListedTemporaries() {
    for (Slot& slot : slots) {
        int listed = kListed;
        if (slot.state.compare_exchange_strong(listed, kRemoving))
            platform::RemoveFileNow(slot.path);
    }
}

// Six letters or digits, different from call to call and from process to process.
std::string RandomSuffix() {
    static std::atomic<uint64_t> counter{0};
    uint64_t x =
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
        (static_cast<uint64_t>(platform::CurrentProcessId()) << 32) ^
        (++counter * 0x9E3779B97F4A7C15ull);
    // splitmix64 finaliser
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    x ^= x >> 31;
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string suffix;
    for (int i = 0; i < 6; ++i, x /= 62)
        suffix += kLetters[x % 62];
    return suffix;
}

bool IsSuffixCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

} // namespace

int RememberRunTemporary(const std::string& path) {
    if (path.size() >= kPathBytes)
        return -1;
    for (size_t i = 0; i < slots.size(); ++i) {
        int free = kFree;
        if (!slots[i].state.compare_exchange_strong(free, kFilling))
            continue;
        std::memcpy(slots[i].path, path.c_str(), path.size() + 1);
        slots[i].state.store(kListed);
        return static_cast<int>(i);
    }
    return -1;
}

void ForgetRunTemporary(int& slot) {
    if (slot < 0 || static_cast<size_t>(slot) >= slots.size())
        return;
    // A slot the handler has taken stays taken: the process is ending.
    int listed = kListed;
    slots[static_cast<size_t>(slot)].state.compare_exchange_strong(listed, kFree);
    slot = -1;
}

int CreateRunTemporary(const std::string& target, std::string& path, int& slot) {
    const std::filesystem::path targetPath = platform::PathOfUtf8(target);
    const std::string stem = platform::Utf8Name(
        targetPath.parent_path() /
        platform::PathOfUtf8("." + platform::Utf8Name(targetPath.filename()) + ".tmp" +
                             std::to_string(platform::CurrentProcessId()) + "-"));
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = stem + RandomSuffix();
        // Listed before it exists: an interruption between the two removes nothing of anyone
        // else's, since the name carries this process's id.
        slot = RememberRunTemporary(path);
        int fd = platform::CreateExclusive(path);
        if (fd >= 0)
            return fd;
        int error = errno;
        ForgetRunTemporary(slot);
        errno = error;
        if (error != EEXIST)
            break;
    }
    path.clear();
    return -1;
}

void InstallInterruptCleanup() {
    platform::OnInterrupt(RemoveListedTemporaries);
}

std::optional<platform::ProcessId> TemporaryOwner(const std::string& fileName) {
    // ".<name>.tmp<pid>-XXXXXX"
    if (fileName.size() < 1 + 4 + 1 + 1 + 6 || fileName.front() != '.')
        return std::nullopt;
    const size_t dash = fileName.size() - 7;
    if (fileName[dash] != '-')
        return std::nullopt;
    for (size_t i = dash + 1; i < fileName.size(); ++i)
        if (!IsSuffixCharacter(fileName[i]))
            return std::nullopt;
    size_t digits = dash;
    while (digits > 0 && fileName[digits - 1] >= '0' && fileName[digits - 1] <= '9')
        --digits;
    if (digits == dash || dash - digits > 9 || digits < 5 ||
        fileName.compare(digits - 4, 4, ".tmp") != 0)
        return std::nullopt;
    const platform::ProcessId owner = std::stoll(fileName.substr(digits, dash - digits));
    if (owner <= 0)
        return std::nullopt;
    return owner;
}

int RemoveStaleTemporaries(const std::string& folder) {
    int removed = 0;
    std::error_code error;
    for (std::filesystem::directory_iterator entries(platform::PathOfUtf8(folder), error), end;
         !error && entries != end; entries.increment(error)) {
        const auto name = platform::Utf8Name(entries->path().filename());
        auto owner = TemporaryOwner(name);
        if (!owner || *owner == platform::CurrentProcessId())
            continue;
        if (platform::ProcessMayRun(*owner))
            continue;
        std::error_code ignored;
        if (entries->is_regular_file(ignored) &&
            platform::RemoveFile(platform::Utf8Name(entries->path())) == 0)
            ++removed;
    }
    return removed;
}

} // namespace fabricor
