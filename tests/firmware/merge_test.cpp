#include "firmware/merge.h"

#include "base/atomic_file.h"
#include "firmware/reference_merge.h"
#include "firmware/sx_test_support.h"
#include "support/full_disk.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>

#include <psapi.h>
#else
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <fstream>
#include <optional>

namespace fabricor {
namespace {

using namespace fabricor::test_support;
namespace fs = std::filesystem;

class RecordingReporter final : public MergeReporter {
public:
    void Report(const std::string& message) override { messages.push_back(message); }
    std::vector<std::string> messages;
};

class RecordingProgress final : public MergeProgress {
public:
    void SetMaximum(int64_t value) override {
        maximum = value;
        ++maximumCalls;
    }
    void SetPosition(int64_t value) override {
        if (value < position)
            ++backwards;
        position = value;
        positions.push_back(value);
    }
    int64_t maximum = -1;
    int maximumCalls = 0;
    int64_t position = -1;
    int backwards = 0;
    std::vector<int64_t> positions;
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        auto end = text.find("\r\n", start);
        EXPECT_NE(end, std::string::npos) << "a line without CR LF";
        if (end == std::string::npos)
            break;
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

class Merge : public ::testing::Test {
protected:
    Merge() {
        fs::create_directory(project / "bin");
        fs::create_directory(project / "MASTER");
        image = Pattern(16384, 7);
        WriteFile(project / "bin" / "bank1.bin", std::string(image.begin(), image.end()));
    }

    std::string BinFolder() const { return (project / "bin").string() + "/"; }
    std::string OutFolder() const { return project.str() + "/"; }
    fs::path BasePath() const { return project / "MASTER" / "SX30418.sx"; }
    fs::path NewPath() const { return project / "New_SX30418.sx"; }

    MergeResult Run(const std::string& base, FileOutput& output = SystemFileOutput()) {
        WriteFile(BasePath(), base);
        auto result = MergeBankSx(BasePath().string(), "New_SX30418.sx", BinFolder(), OutFolder(),
                                  reporter, progress, output);
        // The hash taken while writing is the hash of the file as it lies on the disk.
        if (result.outcome == MergeOutcome::Written) {
            EXPECT_EQ(result.hash.hex.value_or(result.hash.error), Sha256Hex(ReadFile(NewPath())));
        }
        // Whatever else a test's base holds, no record the merge writes may have a wrong checksum.
        if (judgeEveryRun && result.outcome == MergeOutcome::Written) {
            auto verdict = AskSrecCat(NewPath(), project);
            EXPECT_EQ(verdict.complaints.find("checksum"), std::string::npos) << verdict.complaints;
        }
        return result;
    }

    // The merging phase alone, in memory, reading the base in pieces of `chunk` bytes.
    std::pair<MergeResult, std::string> Streamed(const std::string& base, size_t chunk) {
        MemorySource source(base);
        MemorySink sink;
        auto staging = StagingRecordsText(std::string_view(
            reinterpret_cast<const char*>(image.data()), image.size()));
        auto result = MergeFirmwareStreams(source, staging, sink, progress, chunk);
        // Nobody following the progress, the base is read once and merged the same.
        MemorySource again(base);
        MemorySink unfollowed;
        NoMergeProgress nobody;
        auto once = MergeFirmwareStreams(again, staging, unfollowed, nobody, chunk);
        EXPECT_EQ(once.outcome, result.outcome);
        EXPECT_EQ(unfollowed.bytes(), sink.bytes());
        if (result.outcome == MergeOutcome::Written) {
            EXPECT_EQ(once.baseLines, result.baseLines);
        }
        return {result, sink.bytes()};
    }

    // The new firmware must be readable by srec_cat and carry bank1.bin in the window.
    void ExpectJudgeAccepts() {
        auto verdict = AskSrecCat(NewPath(), project);
        EXPECT_TRUE(verdict.accepted) << verdict.complaints;
        EXPECT_EQ(verdict.complaints.find("checksum"), std::string::npos) << verdict.complaints;
        EXPECT_EQ(verdict.window, std::string(image.begin(), image.end()));
    }

    void ExpectFailedLeavingNothing() {
        EXPECT_EQ(reporter.messages, std::vector<std::string>{kMergeFailed});
        EXPECT_FALSE(fs::exists(NewPath()));
        EXPECT_FALSE(fs::exists(project / "bin" / "Bin.sx"));
        EXPECT_EQ(progress.position, progress.maximum);
        // No temporary file is left beside it either.
        for (auto& entry : fs::directory_iterator(project.path()))
            EXPECT_FALSE(entry.path().filename().string().starts_with(".New_")) << entry.path();
    }

    TempDir project;
    bool judgeEveryRun = true;
    std::vector<uint8_t> image;
    RecordingReporter reporter;
    RecordingProgress progress;
};

std::vector<std::string> ProgramRecords(uint32_t from, uint32_t to, uint32_t seed) {
    std::vector<std::string> lines;
    for (uint32_t address = from; address < to; address += 32)
        lines.push_back(Record(2, address, Pattern(32, seed + address)));
    return lines;
}

TEST_F(Merge, ContiguousWindowIsReplacedInPlace) {
    std::vector<std::string> base = {Record(0, 0, {'h', 'd', 'r'})};
    auto below = ProgramRecords(0x387000, 0x388000, 1);
    auto window = ProgramRecords(0x388000, 0x38C000, 2);
    auto above = ProgramRecords(0x38C000, 0x38D000, 3);
    base.insert(base.end(), below.begin(), below.end());
    base.insert(base.end(), window.begin(), window.end());
    base.insert(base.end(), above.begin(), above.end());
    base.push_back("S804000000FB");

    auto result = Run(Join(base, "\r\n"));
    ASSERT_EQ(result.outcome, MergeOutcome::Written) << result.error;
    EXPECT_TRUE(result.imagePlaced);
    EXPECT_TRUE(reporter.messages.empty());

    std::vector<std::string> expected = {base[0]};
    expected.insert(expected.end(), below.begin(), below.end());
    auto staging = ExpectedStaging(image);
    expected.insert(expected.end(), staging.begin(), staging.end());
    expected.insert(expected.end(), above.begin(), above.end());
    expected.push_back("S804000000FB");
    auto written = ReadFile(NewPath());
    EXPECT_EQ(written, Join(expected, "\r\n"));
    EXPECT_EQ(Lines(written).size(), base.size() - window.size() + 512);

    EXPECT_EQ(progress.maximum, static_cast<int64_t>(512 + base.size()));
    EXPECT_EQ(progress.maximumCalls, 1);
    EXPECT_EQ(progress.position, progress.maximum);
    EXPECT_EQ(progress.positions.front(), 0);
    EXPECT_EQ(progress.backwards, 0);
    EXPECT_FALSE(fs::exists(project / "bin" / "Bin.sx"));
    ExpectJudgeAccepts();
}

TEST_F(Merge, StagingRecordsAreExact) {
    auto result = Run(Record(2, 0x388000, Pattern(32, 9)) + "\n");
    ASSERT_EQ(result.outcome, MergeOutcome::Written);
    auto lines = Lines(ReadFile(NewPath()));
    ASSERT_EQ(lines.size(), 512u);
    for (const auto& line : lines)
        ASSERT_EQ(line.size(), 76u);
    EXPECT_TRUE(lines.front().starts_with("S224388000"));
    EXPECT_TRUE(lines.back().starts_with("S22438BFE0"));
    std::string lastBytes;
    for (size_t i = 16352; i < 16384; ++i)
        lastBytes += Hex(image[i], 2);
    EXPECT_EQ(lines.back().substr(10, 64), lastBytes);

    // An all-zero first record ends with the worked example's checksum.
    std::fill(image.begin(), image.end(), 0);
    WriteFile(project / "bin" / "bank1.bin", std::string(16384, '\0'));
    Run(Record(2, 0x388000, Pattern(32, 9)) + "\n");
    EXPECT_EQ(Lines(ReadFile(NewPath())).front(), "S224388000" + std::string(64, '0') + "23");
    ExpectJudgeAccepts();
}

TEST_F(Merge, ScatteredWindowRecordsGoInOnceAtTheFirst) {
    std::vector<std::string> base = {
        Record(2, 0x380000, Pattern(32, 1)), Record(2, 0x38A000, Pattern(32, 2)),
        Record(2, 0x390000, Pattern(32, 3)), Record(2, 0x388000, Pattern(32, 4)),
        Record(2, 0x391000, Pattern(32, 5)), Record(2, 0x38BFFF, Pattern(1, 6)),
    };
    auto result = Run(Join(base, "\n"));
    ASSERT_EQ(result.outcome, MergeOutcome::Written);
    std::vector<std::string> expected = {base[0]};
    auto staging = ExpectedStaging(image);
    expected.insert(expected.end(), staging.begin(), staging.end());
    expected.push_back(base[2]);
    expected.push_back(base[4]);
    EXPECT_EQ(ReadFile(NewPath()), Join(expected, "\r\n"));
    EXPECT_EQ(progress.maximum, 512 + 6);
    EXPECT_EQ(progress.position, 512 + 6);
    ExpectJudgeAccepts();
}

TEST_F(Merge, OtherRecordTypesAndLowerCaseAreCopiedUnchanged) {
    std::vector<std::string> base = {
        Record(1, 0x8000, Pattern(16, 1)),     // S1: 16-bit, never in the window
        Record(3, 0x01388000, Pattern(16, 2)), // S3: 32-bit, copied outside the window
        "s2243880" + Record(2, 0x388000, Pattern(32, 3)).substr(8), // lower case: an "other" line
        "S9030000FC",
        "just text",
        "S",
    };
    auto result = Run(Join(base, "\n"));
    ASSERT_EQ(result.outcome, MergeOutcome::Written) << result.error;
    EXPECT_FALSE(result.imagePlaced);
    EXPECT_EQ(ReadFile(NewPath()), Join(base, "\r\n"));
    EXPECT_EQ(progress.position, 512 + 6);
}

TEST_F(Merge, BaseWithoutWindowRecordsIsCopiedLineByLine) {
    auto records = ProgramRecords(0x300000, 0x301000, 4);
    records.insert(records.begin(), Record(0, 0, {'x'}));
    records.push_back("S804000000FB");
    for (const char* end : {"\n", "\r\n"}) {
        auto result = Run(Join(records, end));
        ASSERT_EQ(result.outcome, MergeOutcome::Written);
        EXPECT_FALSE(result.imagePlaced);
        EXPECT_EQ(ReadFile(NewPath()), Join(records, "\r\n")) << "line end " << (end[0] == '\r' ? "CRLF" : "LF");
        EXPECT_TRUE(reporter.messages.empty());
    }
}

TEST_F(Merge, LastLineWithoutLineEndAndMixedLineEnds) {
    std::string a = Record(2, 0x300000, Pattern(32, 1));
    std::string b = Record(2, 0x388000, Pattern(32, 2));
    std::string c = Record(2, 0x300020, Pattern(32, 3));
    auto result = Run(a + "\r\n" + b + "\n" + c);
    ASSERT_EQ(result.outcome, MergeOutcome::Written);
    auto staging = ExpectedStaging(image);
    std::vector<std::string> expected = {a};
    expected.insert(expected.end(), staging.begin(), staging.end());
    expected.push_back(c);
    EXPECT_EQ(ReadFile(NewPath()), Join(expected, "\r\n"));
    EXPECT_EQ(progress.maximum, 515);
    // A carriage return inside a line belongs to it; only the one before the line feed goes.
    Run("ab\rcd\r\n\r\rx\n");
    EXPECT_EQ(ReadFile(NewPath()), "ab\rcd\r\n\r\rx\r\n");
}

TEST_F(Merge, ChunkBoundariesAnywhereInALineChangeNothing) {
    std::vector<std::string> base = {
        "S0030000FC", Record(1, 0x1234, Pattern(8, 1)), Record(2, 0x387FE0, Pattern(32, 2)),
        Record(2, 0x388000, Pattern(32, 3)), "x", Record(2, 0x388020, Pattern(32, 4)),
        "ab\rcd", Record(3, 0x38C000, Pattern(4, 5)), Record(2, 0x38C000, Pattern(32, 6)),
    };
    std::vector<std::string> expected(base.begin(), base.begin() + 3);
    auto staging = ExpectedStaging(image);
    expected.insert(expected.end(), staging.begin(), staging.end());
    expected.insert(expected.end(), {"x", "ab\rcd", base[7], base[8]});
    judgeEveryRun = false; // the output is compared with the expected text, judged once below
    for (const char* end : {"\r\n", "\n"}) {
        // Small sizes put boundaries at every offset of a line; the others land near its end.
        for (size_t chunk : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 17, 31, 64, 77, 78, 79, 80, 81}) {
            auto [result, written] = Streamed(Join(base, end), chunk);
            ASSERT_EQ(result.outcome, MergeOutcome::Written) << chunk;
            ASSERT_EQ(written, Join(expected, "\r\n")) << "chunk " << chunk;
        }
    }
    ASSERT_EQ(Run(Join(base, "\n")).outcome, MergeOutcome::Written);
    EXPECT_EQ(ReadFile(NewPath()), Join(expected, "\r\n"));
    auto verdict = AskSrecCat(NewPath(), project);
    EXPECT_EQ(verdict.complaints.find("checksum"), std::string::npos) << verdict.complaints;
    // A blank line is found wherever the boundary falls.
    for (size_t chunk : {1, 2, 11, 12, 13}) {
        auto result = Streamed("S9030000FC\r\n\r\nS9030000FC\r\n", chunk).first;
        ASSERT_EQ(result.outcome, MergeOutcome::MergeFailed) << chunk;
        EXPECT_EQ(progress.maximum, 512 + 3);
    }
}

TEST_F(Merge, AgreesWithThePlainReadingOnRandomBases) {
    judgeEveryRun = false;
    const std::string staging = Join(ExpectedStaging(image), "\r\n");
    const std::vector<std::string> pieces = {
        Record(2, 0x388000, Pattern(32, 1)), Record(2, 0x38A000, Pattern(16, 2)),
        Record(2, 0x300000, Pattern(32, 3)), Record(1, 0x1234, Pattern(4, 4)),
        Record(3, 0x388000, Pattern(8, 5)),  "s2243880000000",
        "S2243880",                          "S224ZZ8000" + std::string(20, '0'),
        "S",                                 "text\rwith a return",
        "",                                  std::string(300, 'q'),
        "S1 5",                              "S2FF38bfff",
    };
    uint32_t seed = 2026;
    auto next = [&](uint32_t bound) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % bound;
    };
    int failures = 0, written = 0;
    for (int round = 0; round < 40; ++round) {
        std::string base;
        int count = static_cast<int>(next(12));
        for (int i = 0; i < count; ++i) {
            // Blank lines and malformed records are rarer than good lines.
            size_t pick = next(10) < 7 ? next(5) : next(static_cast<uint32_t>(pieces.size()));
            base += pieces[pick];
            if (i + 1 < count || next(2))
                base += next(2) ? "\r\n" : "\n";
        }
        size_t chunk = 1 + next(40);
        auto [result, output] = Streamed(base, chunk);
        int64_t lines = 0;
        auto expected = ReferenceMerge(base, staging, &lines);
        SCOPED_TRACE("round " + std::to_string(round) + ", chunk " + std::to_string(chunk));
        EXPECT_EQ(progress.maximum, 512 + lines);
        if (expected) {
            ++written;
            ASSERT_EQ(result.outcome, MergeOutcome::Written) << result.error;
            ASSERT_EQ(output, *expected);
        } else {
            ++failures;
            ASSERT_EQ(result.outcome, MergeOutcome::MergeFailed);
            EXPECT_FALSE(result.error.empty());
        }
    }
    // Both kinds of outcome were exercised.
    EXPECT_GT(failures, 3);
    EXPECT_GT(written, 3);
}

TEST_F(Merge, EmptyBaseGivesAnEmptyFirmware) {
    auto result = Run("");
    ASSERT_EQ(result.outcome, MergeOutcome::Written);
    EXPECT_FALSE(result.imagePlaced);
    EXPECT_EQ(ReadFile(NewPath()), "");
    EXPECT_EQ(progress.maximum, 512);
    EXPECT_EQ(progress.position, 512);
}

TEST_F(Merge, MergingFailuresLeaveNoFileUnderTheNewName) {
    std::string good = Record(2, 0x300000, Pattern(32, 1));
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"blank line", good + "\n\n" + good + "\n"},
        {"blank line with CR", good + "\r\n\r\n" + good + "\r\n"},
        {"S2 too short", good + "\nS2243880\n"},
        {"S1 too short", "S1050\n"},
        {"address not hex", good + "\nS22438G000" + std::string(66, '0') + "\n"},
        {"S1 address not hex", "S1 5 000\n"},
        {"blank after window", Record(2, 0x388000, Pattern(32, 2)) + "\n\n"},
    };
    for (const auto& [name, base] : cases) {
        SCOPED_TRACE(name);
        WriteFile(NewPath(), "an older firmware");
        reporter.messages.clear();
        auto result = Run(base);
        EXPECT_EQ(result.outcome, MergeOutcome::MergeFailed);
        EXPECT_FALSE(result.error.empty());
        ExpectFailedLeavingNothing();
    }
}

TEST_F(Merge, WriteErrorPartWayLeavesNoFile) {
    WriteFile(NewPath(), "an older firmware");
    FullDisk full(100000);
    auto result = Run(Join(ProgramRecords(0x300000, 0x340000, 1), "\n"), full);
    EXPECT_EQ(result.outcome, MergeOutcome::MergeFailed);
    EXPECT_NE(result.error.find("No space"), std::string::npos) << result.error;
    ExpectFailedLeavingNothing();
}

TEST_F(Merge, BinaryBaseNeverCrashes) {
    auto noise = Pattern(300000, 42);
    std::string bytes(noise.begin(), noise.end());
    for (auto& c : bytes)
        if (c == '\n')
            c = 'n'; // no blank lines: every line is copied as it is
    bytes[1000] = '\n';
    bytes[0] = 'S';
    bytes[1] = '2';
    auto result = Run(bytes);
    if (result.outcome == MergeOutcome::Written) {
        EXPECT_GE(ReadFile(NewPath()).size(), bytes.size());
    } else {
        EXPECT_EQ(result.outcome, MergeOutcome::MergeFailed);
        ExpectFailedLeavingNothing();
    }
    bytes.assign(1000, '\0');
    result = Run(bytes);
    EXPECT_EQ(result.outcome, MergeOutcome::Written);
    EXPECT_EQ(ReadFile(NewPath()), bytes + "\r\n");
}

TEST_F(Merge, ChecksComeInOrderAndTouchNothing) {
    WriteFile(BasePath(), Record(2, 0x388000, Pattern(32, 1)) + "\n");
    struct Case {
        std::string base, name, bin, expected;
    };
    const std::vector<Case> cases = {
        {(project / "MASTER" / "none.sx").string(), "New_SX30418.sx", BinFolder(), kMergeBaseMissing},
        {(project / "MASTER").string(), "New_SX30418.sx", BinFolder(), kMergeBaseMissing},
        {BasePath().string(), "", BinFolder(), kMergeNewNameEmpty},
        {BasePath().string(), "New_SX30418.sx", "", kMergeBinMissing},
        {BasePath().string(), "New_SX30418.sx", (project / "nobin").string() + "/", kMergeBinMissing},
        {BasePath().string(), "New_SX30418.sx", (project / "MASTER").string() + "/", kMergeImageMissing},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        RecordingReporter one;
        RecordingProgress steps;
        steps.position = 77;
        auto result = MergeBankSx(c.base, c.name, c.bin, OutFolder(), one, steps);
        EXPECT_EQ(result.outcome, MergeOutcome::CheckFailed);
        EXPECT_EQ(one.messages, std::vector<std::string>{c.expected});
        EXPECT_EQ(steps.position, 0);
        EXPECT_EQ(steps.maximumCalls, 0);
        EXPECT_FALSE(fs::exists(NewPath()));
        EXPECT_FALSE(fs::exists(project / "bin" / "Bin.sx"));
    }
}

TEST_F(Merge, OutputThatCannotBeCreatedIsAnOpenFailure) {
    WriteFile(BasePath(), Record(2, 0x388000, Pattern(32, 1)) + "\n");
    auto result = MergeBankSx(BasePath().string(), "New_SX30418.sx", BinFolder(),
                              (project / "absent").string() + "/", reporter, progress);
    EXPECT_EQ(result.outcome, MergeOutcome::OpenFailed);
    EXPECT_NE(result.error.find("absent"), std::string::npos);
    EXPECT_TRUE(reporter.messages.empty());
    EXPECT_FALSE(fs::exists(project / "bin" / "Bin.sx"));
}

TEST_F(Merge, ShortImageCarriesZerosBeyondItsEnd) {
    WriteFile(project / "bin" / "bank1.bin", std::string(100, '\x11'));
    std::fill(image.begin(), image.end(), 0);
    std::fill(image.begin(), image.begin() + 100, 0x11);
    auto result = Run(Record(2, 0x388000, Pattern(32, 1)) + "\n");
    ASSERT_EQ(result.outcome, MergeOutcome::Written);
    ExpectJudgeAccepts();
}

TEST_F(Merge, BareBaseNameIsFoundInTheCurrentDirectory) {
    WriteFile(BasePath(), Record(2, 0x388000, Pattern(32, 1)) + "\n");
    auto previous = fs::current_path();
    fs::current_path(project / "MASTER");
    auto result = MergeBankSx("SX30418.sx", "New_SX30418.sx", BinFolder(), OutFolder(), reporter,
                              progress);
    fs::current_path(previous);
    EXPECT_EQ(result.outcome, MergeOutcome::Written);
    ExpectJudgeAccepts();
}

long PeakKilobytes() {
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS counters{};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return long(counters.PeakWorkingSetSize / 1024);
#else
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
#endif
}

// A line of the window that long is dropped without being held either: the hardening tests'
// 1 GiB line goes through the merge as its base firmware (tests/hardening/big_input_test.cpp).
TEST_F(Merge, HundredMegabyteLineIsCopiedThroughInBoundedMemory) {
    {
        std::ofstream out(BasePath(), std::ios::binary);
        out << Record(2, 0x388000, Pattern(32, 1)) << "\r\n";
        std::string block(1 << 20, 'A');
        out << "S3";
        for (int i = 0; i < 100; ++i)
            out << block;
        out << "\r\n" << "S804000000FB";
    }
    long before = PeakKilobytes();
    auto result = MergeBankSx(BasePath().string(), "New_SX30418.sx", BinFolder(), OutFolder(),
                              reporter, progress);
    long growth = PeakKilobytes() - before;
    ASSERT_EQ(result.outcome, MergeOutcome::Written) << result.error;
    EXPECT_LT(growth, 16 * 1024) << "kilobytes";
    EXPECT_EQ(fs::file_size(NewPath()), 512u * 78 + 2 + 100u * (1 << 20) + 2 + 12 + 2);
    EXPECT_EQ(progress.maximum, 512 + 3);
}

} // namespace
} // namespace fabricor
