#pragma once

// What the benchmarks share: runs in a child process with their time and peak memory, the median
// of several, and a generated base firmware of a given size.

#include "firmware/srecord.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace fabricor::bench {

struct Measure {
    double seconds = 0;
    double cpuSeconds = 0; // user plus system time
    long peakKilobytes = 0;
    int status = 0;
};

// Runs `work` in a child process, so that its peak memory is its own. Everything written before
// is flushed first, so no run pays for the write-back of an earlier one.
inline Measure InChild(const std::function<int()>& work) {
    sync();
    auto start = std::chrono::steady_clock::now();
    pid_t child = fork();
    if (child == 0)
        _exit(work());
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    Measure measure;
    measure.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    measure.peakKilobytes = usage.ru_maxrss;
    measure.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    measure.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return measure;
}

inline Measure Shell(const std::string& command) {
    return InChild([&] {
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        return 127;
    });
}

enum class ErrorOutput { Shown, Hidden };

// Starts the program itself, without a shell in between, its output going nowhere.
inline Measure Program(std::vector<std::string> args, ErrorOutput errors = ErrorOutput::Shown) {
    return InChild([&] {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        if (errors == ErrorOutput::Hidden)
            dup2(null, STDERR_FILENO);
        std::vector<char*> argv;
        for (auto& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        return 127;
    });
}

// The run of median time, with the highest peak memory of all runs.
inline Measure Median(std::vector<Measure> runs) {
    std::sort(runs.begin(), runs.end(), [](auto& a, auto& b) { return a.seconds < b.seconds; });
    Measure middle = runs[runs.size() / 2];
    for (auto& run : runs)
        middle.peakKilobytes = std::max(middle.peakKilobytes, run.peakKilobytes);
    return middle;
}

// "1,16,128" as sizes in MB.
inline std::vector<int> SizeList(const std::string& text) {
    std::vector<int> sizes;
    std::stringstream list(text);
    for (std::string item; std::getline(list, item, ',');)
        sizes.push_back(std::stoi(item));
    return sizes;
}

// A data record of 32 pseudo-random bytes, CR LF after it.
inline std::string Record(int type, uint32_t address, uint32_t seed) {
    std::vector<uint8_t> data(32);
    for (uint8_t& byte : data) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<uint8_t>((seed >> 16) & 0xFF);
    }
    return FormatSRecord(type, address, data) + "\r\n";
}

// A base firmware of about `megabytes`: S2 records from 0x380000 (the bank window among them)
// up to the end of the 24-bit space, then S3 records above it.
inline void GenerateBase(const std::filesystem::path& path, int megabytes) {
    std::ofstream out(path, std::ios::binary);
    out << "S00F000068656C6C6F202020202000003C\r\n";
    const uint64_t target = static_cast<uint64_t>(megabytes) << 20;
    uint64_t written = 0;
    uint32_t address = 0x380000;
    std::string chunk;
    while (written < target) {
        std::string line =
            address < 0x1000000 ? Record(2, address, address) : Record(3, address, address);
        written += line.size();
        chunk += line;
        if (chunk.size() > (1 << 20)) {
            out << chunk;
            chunk.clear();
        }
        address += 32;
    }
    out << chunk << "S804000000FB\r\n";
}

} // namespace fabricor::bench
