#pragma once

// Shared by the fuzz targets: a private scratch folder and a check that stops the run with a
// message, so that a broken property is reported (and its input saved) like a crash.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>

namespace fabricor::fuzz {

// One folder per fuzzing process, removed at exit. In memory when the system offers it: every
// save syncs to disk, which would otherwise dominate each execution.
inline const std::filesystem::path& ScratchFolder() {
    static const std::filesystem::path folder = [] {
        std::error_code error;
        auto base = std::filesystem::is_directory("/dev/shm", error)
                        ? std::filesystem::path("/dev/shm")
                        : std::filesystem::temp_directory_path();
        auto pattern = (base / "fabricor-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) {
            std::perror("mkdtemp");
            std::abort();
        }
        static std::string kept = pattern;
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(kept, ignored);
        });
        return std::filesystem::path(pattern);
    }();
    return folder;
}

inline void WriteBytes(const std::filesystem::path& file, std::string_view bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", file.c_str());
        std::abort();
    }
}

inline std::string ReadBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

[[noreturn]] inline void Broken(const char* what, const char* file, int line) {
    std::fprintf(stderr, "\n*** property broken at %s:%d: %s\n", file, line, what);
    std::abort();
}

} // namespace fabricor::fuzz

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition))                                                                          \
            ::fabricor::fuzz::Broken(#condition, __FILE__, __LINE__);                              \
    } while (0)
