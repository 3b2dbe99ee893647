#include "base/run_temporaries.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace fabricor {
namespace {

constexpr size_t kSlots = 64;
constexpr size_t kPathBytes = 4096;

// A slot is free, being filled, listed, or being removed by the handler.
enum SlotState : int { kFree, kFilling, kListed, kRemoving };

struct Slot {
    std::atomic<int> state{kFree};
    char path[kPathBytes];
};

// Fixed storage: the handler may only touch memory that exists before it runs.
std::array<Slot, kSlots> slots;

constexpr int kSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE};

void RemoveListedTemporaries() {
    for (Slot& slot : slots) {
        int listed = kListed;
        if (slot.state.compare_exchange_strong(listed, kRemoving))
            ::unlink(slot.path); // async-signal-safe
    }
}

extern "C" void OnInterrupt(int signal) {
    int saved = errno;
    RemoveListedTemporaries();
    // End the way the signal would have ended us: the parent sees which one it was.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    ::sigemptyset(&fallback.sa_mask);
    ::sigaction(signal, &fallback, nullptr);
    ::raise(signal); // delivered once the handler returns and the signal is unblocked
    errno = saved;
}

// Six letters or digits, different from call to call and from process to process.
std::string RandomSuffix() {
    static std::atomic<uint64_t> counter{0};
    uint64_t x =
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
        (static_cast<uint64_t>(::getpid()) << 32) ^ (++counter * 0x9E3779B97F4A7C15ull);
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

int CreateRunTemporary(const std::filesystem::path& target, std::string& path, int& slot) {
    const std::string stem = (target.parent_path() / ("." + target.filename().string() + ".tmp" +
                                                      std::to_string(::getpid()) + "-"))
                                 .string();
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = stem + RandomSuffix();
        // Listed before it exists: an interruption between the two removes nothing of anyone
        // else's, since the name carries this process's id.
        slot = RememberRunTemporary(path);
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
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
    for (int signal : kSignals) {
        struct sigaction current {};
        if (::sigaction(signal, nullptr, &current) != 0 || current.sa_handler == SIG_IGN)
            continue;
        struct sigaction cleanup {};
        cleanup.sa_handler = OnInterrupt;
        ::sigemptyset(&cleanup.sa_mask);
        for (int other : kSignals)
            ::sigaddset(&cleanup.sa_mask, other); // one clean-up at a time
        ::sigaction(signal, &cleanup, nullptr);
    }
}

std::optional<pid_t> TemporaryOwner(const std::string& fileName) {
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
    pid_t owner = static_cast<pid_t>(std::stol(fileName.substr(digits, dash - digits)));
    if (owner <= 0)
        return std::nullopt;
    return owner;
}

int RemoveStaleTemporaries(const std::filesystem::path& folder) {
    int removed = 0;
    std::error_code error;
    for (std::filesystem::directory_iterator entries(folder, error), end; !error && entries != end;
         entries.increment(error)) {
        const auto name = entries->path().filename().string();
        auto owner = TemporaryOwner(name);
        if (!owner || *owner == ::getpid())
            continue;
        // EPERM: it runs, under another user.
        if (::kill(*owner, 0) == 0 || errno != ESRCH)
            continue;
        std::error_code ignored;
        if (entries->is_regular_file(ignored) && ::unlink(entries->path().c_str()) == 0)
            ++removed;
    }
    return removed;
}

} // namespace fabricor
