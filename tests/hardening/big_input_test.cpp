// One line of 1 GiB (FABRICOR_BIG_LINE_MIB sets another size), made at test time, through every
// reader, the merge and the command line: each ends with its plain outcome, in bounded time, and
// the memory it takes stays within a small multiple of the input (the merge's stays flat).

#include "base/settings_file.h"
#include "documents/pargen.h"
#include "documents/var.h"
#include "hardening/hardening_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fabricor {
namespace {

using namespace fabricor::test_support;
namespace fs = std::filesystem;

size_t BigLineBytes() {
    const char* mib = std::getenv("FABRICOR_BIG_LINE_MIB");
    return (mib ? std::strtoull(mib, nullptr, 10) : 1024) << 20;
}

// A window record whose data never ends: the merge drops it after its first ten characters,
// the XML readers find no document in it, the settings file no section.
void WriteBigLine(const fs::path& file, size_t bytes) {
    int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    std::string block(1 << 20, 'F');
    std::memcpy(block.data(), "S224388000", 10);
    for (size_t written = 0; written < bytes; written += block.size()) {
        ASSERT_EQ(::write(fd, block.data(), block.size()), static_cast<ssize_t>(block.size()));
        block.assign(block.size(), 'F');
    }
    ::close(fd);
}

struct Measured {
    int status = -1;
    double seconds = 0;
    long peakMiB = 0;
};

// Runs the work in a child so its peak memory is its own.
Measured InChild(const std::function<int()>& work) {
    int pipes[2];
    EXPECT_EQ(::pipe(pipes), 0);
    Stopwatch watch;
    pid_t child = ::fork();
    if (child == 0) {
        ::close(pipes[0]);
        int status = work();
        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        long peak = usage.ru_maxrss / 1024;
        (void)!::write(pipes[1], &peak, sizeof peak);
        ::_exit(status);
    }
    ::close(pipes[1]);
    Measured measured;
    (void)!::read(pipes[0], &measured.peakMiB, sizeof measured.peakMiB);
    ::close(pipes[0]);
    int raw = 0;
    ::waitpid(child, &raw, 0);
    measured.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    measured.seconds = watch.Seconds();
    return measured;
}

TEST(BigInput, OneHugeLineEverywhere) {
    const size_t bytes = BigLineBytes();
    const long inputMiB = static_cast<long>(bytes >> 20);
    TempDir dir;
    Project project(dir);
    auto big = dir / "big.line";
    WriteBigLine(big, bytes);

    auto report = [&](const char* what, const Measured& m) {
        std::printf("%-34s %6.2f s  peak %6ld MiB  (input %ld MiB)\n", what, m.seconds, m.peakMiB, inputMiB);
    };
    // Within twice the input, plus what any test process holds.
    const long memoryLimit = 2 * inputMiB + 256;
    const double timeLimit = 60;

    auto pargen = InChild([&] {
        auto read = ReadGeneralParameters(big.string());
        return read.outcome == ReadOutcome::NotWellFormed && !read.error.empty() ? 0 : 1;
    });
    report("pargen.xml reader", pargen);
    EXPECT_EQ(pargen.status, 0);
    EXPECT_LT(pargen.peakMiB, memoryLimit);
    EXPECT_LT(pargen.seconds, timeLimit);

    auto var = InChild([&] {
        auto read = ReadTranslateTable(big.string());
        return read.outcome == ReadOutcome::NotWellFormed && read.rows.empty() ? 0 : 1;
    });
    report("var.xml reader", var);
    EXPECT_EQ(var.status, 0);
    EXPECT_LT(var.peakMiB, memoryLimit);

    auto settings = InChild([&] { return ReadIniValue(big, "lastproj", "projectname").empty() ? 0 : 1; });
    report("settings file reader", settings);
    EXPECT_EQ(settings.status, 0);
    EXPECT_LT(settings.peakMiB, memoryLimit);

    // The merge streams: its memory does not follow the line's length.
    fs::rename(big, project.master() / ProjectFiles::kBaseFirmwareName);
    WriteFile(project.bin() / "bank1.bin", std::string(kImageSize, '\0'));
    auto merge = InChild([&] {
        Recorder recorder;
        auto result = Merge(project, recorder);
        return result.outcome == MergeOutcome::Written && result.imagePlaced ? 0 : 1;
    });
    report("merge, as the base firmware", merge);
    EXPECT_EQ(merge.status, 0);
    EXPECT_LT(merge.peakMiB, 256);
    EXPECT_LT(merge.seconds, timeLimit);
    EXPECT_EQ(fs::file_size(project.newFirmware()), 512u * 78);

    auto cli = InChild([&] {
        auto run = Cli({"update", project.folder().string(), "--master", project.master().string(),
                               "--time", "2026-12-08T14:35:47"});
        return run.code;
    });
    report("fabricor-cli update", cli);
    EXPECT_EQ(cli.status, 0);
    EXPECT_LT(cli.peakMiB, 256);

    // Read back: refused with a message, never a project, in bounded memory.
    auto decode = InChild([&] {
        auto run =
            Cli({"decode", (project.master() / ProjectFiles::kBaseFirmwareName).string(),
                        "--output", (dir / "decoded").string()});
        return run.code == 1 && !run.err.empty() && !fs::exists(dir / "decoded") ? 0 : 1;
    });
    report("fabricor-cli decode", decode);
    EXPECT_EQ(decode.status, 0);
    EXPECT_LT(decode.peakMiB, 256);
    auto verify = InChild([&] {
        auto run = Cli({"verify", project.folder().string(),
                               (project.master() / ProjectFiles::kBaseFirmwareName).string()});
        return run.code == 2 && !run.err.empty() ? 0 : 1;
    });
    report("fabricor-cli verify", verify);
    EXPECT_EQ(verify.status, 0);
    EXPECT_LT(verify.peakMiB, 256);

    // As var.xml of the command line: exit 1 and a message, in bounded memory.
    fs::rename(project.master() / ProjectFiles::kBaseFirmwareName, project.folder() / "var.xml");
    auto build = InChild([&] {
        auto run = Cli({"build", project.folder().string(), "--time", "2026-12-08T14:35:47"});
        return run.code == 1 && run.err.find("var.xml") != std::string::npos ? 0 : 1;
    });
    report("fabricor-cli build, as var.xml", build);
    EXPECT_EQ(build.status, 0);
    EXPECT_LT(build.peakMiB, memoryLimit);
    auto check = InChild([&] {
        auto run = Cli({"check", project.folder().string()});
        return run.code == 1 && !(run.out + run.err).empty() ? 0 : 1;
    });
    report("fabricor-cli check, as var.xml", check);
    EXPECT_EQ(check.status, 0);
    EXPECT_LT(check.peakMiB, memoryLimit);

    // As a CSV file to import: read only up to its cap, refused with a line number, and the
    // project's var.xml untouched.
    TempDir other;
    WriteFile(other / "pargen.xml", kSamplePargen);
    WriteFile(other / "var.xml", "<TCP_TO_RTU/>");
    auto import = InChild([&] {
        auto run =
            Cli({"table", "import", other.str(), (project.folder() / "var.xml").string()});
        return run.code == 1 && run.err.find(" line 1: ") != std::string::npos ? 0 : 1;
    });
    report("fabricor-cli table import, as CSV", import);
    EXPECT_EQ(import.status, 0);
    EXPECT_LT(import.peakMiB, 256);
    EXPECT_LT(import.seconds, timeLimit);
    EXPECT_EQ(ReadFile(other / "var.xml"), "<TCP_TO_RTU/>");
}

} // namespace
} // namespace fabricor
