// Faults injected into every save the program makes (settings, both documents, bank1.bin,
// bankg.c, the new firmware): a write that fails after N bytes, a read-only file, a full disk
// (a small tmpfs, when this process may mount one) and a process killed at random points of a
// save loop. After each fault the file is the previous one byte for byte or the new one whole,
// never truncated or empty. Each test prints how many faults it injected.

#include "base/atomic_file.h"
#include "base/settings_file.h"
#include "documents/pargen.h"
#include "documents/var.h"
#include "hardening/hardening_support.h"
#include "image/c_source.h"
#include "support/full_disk.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <csignal>
#include <functional>
#include <random>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fabricor {
namespace {

using namespace fabricor::test_support;
namespace fs = std::filesystem;

// One of the program's saves, in two versions that differ throughout.
struct Save {
    const char* name;
    std::function<fs::path(const Project&)> file;
    std::function<bool(const Project&, int version, FileOutput& output)> write;
    // Makes the save of that version, its bytes going through `output`.
    bool run(const Project& project, int version, FileOutput& output = SystemFileOutput()) const {
        return write(project, version, output);
    }
};

ConfigurationImage ImageVersion(int version) {
    ConfigurationImage image{};
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<uint8_t>(i * 13 + static_cast<size_t>(version) * 101);
    return image;
}

std::vector<Save> AllSaves() {
    return {
        {"settings", [](const Project& p) { return p.root / "Fabricor.ini"; },
         [](const Project& p, int v, FileOutput& output) {
             return WriteIniValue(p.root / "Fabricor.ini", "lastproj", "projectname",
                                  v ? "\\second project" : "\\first", output)
                 .ok();
         }},
        {"pargen.xml", [](const Project& p) { return p.folder() / "pargen.xml"; },
         [](const Project& p, int v, FileOutput& output) {
             auto settings = NewProjectGeneralParameters();
             settings.ip = v ? std::array<std::string, 4>{"192", "168", "1", "250"}
                             : std::array<std::string, 4>{"10", "0", "0", "7"};
             settings.offset = v ? "12345" : "0";
             return WriteGeneralParameters((p.folder() / "pargen.xml").string(),
                                           EncodeGeneralParameters(settings), output)
                 .ok();
         }},
        {"var.xml", [](const Project& p) { return p.folder() / "var.xml"; },
         [](const Project& p, int v, FileOutput& output) {
             std::vector<TMyRec> rows;
             for (int i = 0; i < (v ? 2000 : 1500); ++i)
                 rows.push_back(TMyRec{static_cast<uint8_t>(1 + (i + v) % 4), static_cast<uint16_t>(i),
                                       static_cast<uint8_t>(v + 1), static_cast<uint16_t>(i * 3 + v),
                                       static_cast<uint8_t>(i % 128), v ? "second" : "first"});
             return WriteTranslateTable((p.folder() / "var.xml").string(), rows, output).ok();
         }},
        {"bank1.bin", [](const Project& p) { return p.bin() / "bank1.bin"; },
         [](const Project& p, int v, FileOutput& output) {
             return WriteConfigurationImage(p.folder().string(), ImageVersion(v), output).ok();
         }},
        {"bankg.c", [](const Project& p) { return p.bin() / "bankg.c"; },
         [](const Project& p, int v, FileOutput& output) {
             return WriteImageCSource(p.folder().string(), ImageVersion(v), output).ok();
         }},
        {"New_SX30418.sx", [](const Project& p) { return p.newFirmware(); },
         [](const Project& p, int v, FileOutput& output) {
             // The image comes from outside this save; only the merge's own writes are faulted.
             auto image = ImageVersion(v);
             WriteFile(p.bin() / "bank1.bin", std::string(image.begin(), image.end()));
             Recorder recorder;
             return Merge(p, recorder, output).outcome == MergeOutcome::Written;
         }},
    };
}

// A project whose base firmware carries the window among other records.
struct Scene {
    Scene() : project(dir) {
        std::string base = "S0030000FC\r\n";
        for (uint32_t a = 0x387000; a < 0x38D000; a += 32) {
            char line[80];
            std::snprintf(line, sizeof line, "S224%06X%064d%02X\r\n", a, 0, 0);
            base += line;
        }
        base += "S804000000FB\r\n";
        WriteFile(project.master() / ProjectFiles::kBaseFirmwareName, base);
    }
    TempDir dir;
    Project project;
};

// Every entry of a folder, with its bytes, except what a save may legitimately leave behind.
std::map<std::string, std::string> Snapshot(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files[fs::relative(entry.path(), folder).string()] = ReadFile(entry.path());
    return files;
}

TEST(FaultInjection, AWriteFailingAfterAnyNumberOfBytesKeepsThePreviousFile) {
    int faults = 0;
    for (const auto& save : AllSaves()) {
        SCOPED_TRACE(save.name);
        Scene scene;
        const auto& project = scene.project;
        ASSERT_TRUE(save.run(project, 0));
        auto before = Snapshot(project.root);
        const auto old = ReadFile(save.file(project));
        ASSERT_FALSE(old.empty());

        // Byte counts from 0 up, closer together near the start, until the save gets through.
        bool succeeded = false;
        for (long long n = 0; !succeeded; n = n < 16 ? n + 1 : n + n / 5) {
            FullDisk full(n);
            bool ok = save.run(project, 1, full);
            if (ok) {
                succeeded = true;
                break;
            }
            ++faults;
            auto after = Snapshot(project.root);
            if (save.file(project) == project.newFirmware()) {
                // A merge that failed while merging leaves no new firmware at all, so that an
                // older one cannot pass for it; one that failed before (its staging file) leaves
                // the older one as it was. Never a partial one.
                if (fs::exists(project.newFirmware())) {
                    EXPECT_EQ(ReadFile(project.newFirmware()), old) << "after " << n << " bytes";
                }
                after.erase("P/New_SX30418.sx");
                before.erase("P/New_SX30418.sx");
                after.erase("P/bin/bank1.bin");
                before.erase("P/bin/bank1.bin");
            }
            ASSERT_EQ(after, before) << "after " << n << " bytes";
        }
        EXPECT_TRUE(succeeded);
        EXPECT_NE(ReadFile(save.file(project)), old);
    }
    std::printf("write failing part way: %d faults injected, every previous file intact\n", faults);
    EXPECT_GT(faults, 200);
}

TEST(FaultInjection, AReadOnlyFileIsNeverReplaced) {
    int faults = 0;
    for (const auto& save : AllSaves()) {
        SCOPED_TRACE(save.name);
        Scene scene;
        ASSERT_TRUE(save.run(scene.project, 0));
        auto file = save.file(scene.project);
        auto old = ReadFile(file);
        fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        const auto mode = fs::status(file).permissions();
        EXPECT_FALSE(save.run(scene.project, 1));
        ++faults;
        // The new firmware too: a file the merge could not replace is left exactly as it was.
        EXPECT_EQ(ReadFile(file), old);
        EXPECT_EQ(fs::status(file).permissions(), mode);
        EXPECT_EQ(TemporariesIn(file.parent_path()), 0u);
        EXPECT_FALSE(fs::exists(scene.project.bin() / ProjectFiles::kStagingName));
    }
    std::printf("read-only file: %d faults injected, every file intact\n", faults);
}

TEST(FaultInjection, ASaveKeepsTheModeOfTheFileItReplaces) {
    int saves = 0;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    for (const auto& save : AllSaves()) {
        SCOPED_TRACE(save.name);
        Scene scene;
        auto file = save.file(scene.project);
        std::error_code ignored;
        fs::remove(file, ignored);
        // A file saved where there was none gets the usual permissions.
        ASSERT_TRUE(save.run(scene.project, 0));
        EXPECT_EQ(static_cast<mode_t>(fs::status(file).permissions()), 0666 & ~mask);
        for (mode_t mode : {0600, 0640, 0644, 0660, 0664}) {
            SCOPED_TRACE(mode);
            fs::permissions(file, static_cast<fs::perms>(mode));
            ASSERT_TRUE(save.run(scene.project, ++saves % 2));
            EXPECT_EQ(static_cast<mode_t>(fs::status(file).permissions()), mode);
        }
    }
    std::printf("modes kept: %d saves over 0600, 0640, 0644, 0660 and 0664\n", saves);
}

TEST(FaultInjection, AReadOnlyFolderKeepsThePreviousFile) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders; the full disk and the write hook cover this";
    int faults = 0;
    for (const auto& save : AllSaves()) {
        SCOPED_TRACE(save.name);
        Scene scene;
        ASSERT_TRUE(save.run(scene.project, 0));
        auto file = save.file(scene.project);
        auto old = ReadFile(file);
        fs::permissions(file.parent_path(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
        EXPECT_FALSE(save.run(scene.project, 1));
        fs::permissions(file.parent_path(), fs::perms::owner_write, fs::perm_options::add);
        ++faults;
        if (fs::exists(file) || file != scene.project.newFirmware()) {
            EXPECT_EQ(ReadFile(file), old);
        }
    }
    std::printf("read-only folder: %d faults injected\n", faults);
}

// In a child with its own mount namespace, so the tmpfs vanishes with it whatever happens; then
// the same disk remounted read-only. Exit 0: every fault left the file intact; 77: no tmpfs here.
TEST(FaultInjection, AFullOrReadOnlyDiskKeepsThePreviousFile) {
    TempDir mountPoint;
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", mountPoint.path().c_str(), "tmpfs", 0, "size=2m") != 0)
            ::_exit(77);
        int faults = 0, broken = 0;
        for (const auto& save : AllSaves()) {
            for (size_t room : {size_t{0}, size_t{4096}, size_t{12288}, size_t{40960}}) {
                std::error_code ignored;
                for (const auto& entry : fs::directory_iterator(mountPoint.path()))
                    fs::remove_all(entry.path(), ignored);
                fs::path disk = mountPoint.path();
                Project project(disk);
                if (!save.run(project, 0))
                    continue; // too big for this disk even when empty
                auto file = save.file(project);
                auto old = ReadFile(file);
                // Fill the disk, then give back `room` bytes.
                {
                    std::string block(4096, 'x');
                    std::FILE* filler = std::fopen((disk / "filler").c_str(), "wb");
                    while (filler && std::fwrite(block.data(), 1, block.size(), filler) == block.size()
                           && std::fflush(filler) == 0) {
                    }
                    if (filler)
                        std::fclose(filler);
                    auto size = fs::file_size(disk / "filler");
                    fs::resize_file(disk / "filler", size > room ? size - room : 0);
                }
                bool ok = save.run(project, 1);
                if (ok)
                    continue; // it fitted
                ++faults;
                // The new firmware may also be gone: see the merge's rule above.
                bool intact = ReadFile(file) == old || (file == project.newFirmware() && !fs::exists(file));
                if (!intact) {
                    std::fprintf(stderr, "%s with %zu bytes free: file damaged\n", save.name, room);
                    ++broken;
                }
            }
        }
        std::printf("full disk: %d faults injected, %d files damaged\n", faults, broken);
        // The same disk made read-only: what a read-only folder is, even for root.
        int readOnlyFaults = 0;
        for (const auto& save : AllSaves()) {
            std::error_code ignored;
            ::mount("tmpfs", mountPoint.path().c_str(), nullptr, MS_REMOUNT, "size=2m");
            for (const auto& entry : fs::directory_iterator(mountPoint.path()))
                fs::remove_all(entry.path(), ignored);
            Project project(mountPoint.path());
            if (!save.run(project, 0))
                ::_exit(4);
            auto file = save.file(project);
            auto old = ReadFile(file);
            if (::mount("tmpfs", mountPoint.path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, "size=2m") != 0)
                ::_exit(5);
            bool ok = save.run(project, 1);
            ++readOnlyFaults;
            if (ok || ReadFile(file) != old) {
                std::fprintf(stderr, "%s on a read-only disk: %s\n", save.name, ok ? "saved" : "file damaged");
                ++broken;
            }
        }
        std::printf("read-only disk: %d faults injected, %d files damaged\n", readOnlyFaults, broken);
        std::fflush(stdout);
        ::_exit(broken == 0 && faults > 0 ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "no tmpfs can be mounted here";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(FaultInjection, AProcessKilledInTheMiddleOfASaveLeavesTheOldFileOrTheNewOne) {
    std::mt19937 random(20261208);
    int kills = 0, sawOld = 0, sawNew = 0;
    for (const auto& save : AllSaves()) {
        SCOPED_TRACE(save.name);
        Scene scene;
        const auto& project = scene.project;
        auto file = save.file(project);
        ASSERT_TRUE(save.run(project, 1));
        const auto second = ReadFile(file);
        ASSERT_TRUE(save.run(project, 0));
        const auto first = ReadFile(file);
        ASSERT_NE(first, second);

        for (int round = 0; round < 25; ++round) {
            int progress[2];
            ASSERT_EQ(::pipe(progress), 0);
            pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                ::close(progress[0]);
                for (int version = 1;; version ^= 1) {
                    if (!save.run(project, version))
                        ::_exit(3);
                    char tick = 1;
                    (void)!::write(progress[1], &tick, 1);
                }
            }
            ::close(progress[1]);
            // Let a few saves complete, then kill at a random moment of a later one.
            int ticks = 1 + static_cast<int>(random() % 3);
            auto start = std::chrono::steady_clock::now();
            char tick;
            for (int i = 0; i < ticks; ++i)
                ASSERT_EQ(::read(progress[0], &tick, 1), 1);
            auto perSave = (std::chrono::steady_clock::now() - start) / ticks;
            auto until = std::chrono::steady_clock::now() +
                         perSave * std::uniform_real_distribution<double>(0, 1.5)(random);
            while (std::chrono::steady_clock::now() < until) {
            }
            ::kill(child, SIGKILL);
            int status = 0;
            ::waitpid(child, &status, 0);
            ::close(progress[0]);
            ASSERT_TRUE(WIFSIGNALED(status)) << "the save loop stopped by itself";
            ++kills;
            auto now = ReadFile(file);
            if (now == first)
                ++sawOld;
            else if (now == second)
                ++sawNew;
            else
                ADD_FAILURE() << "killed in round " << round << ": " << now.size()
                              << " bytes, neither version";
            // Leave the file at the first version again for the next round.
            ASSERT_TRUE(save.run(project, 0));
        }
    }
    std::printf("killed mid-save: %d kills, file found as the first version %d times, as the second %d "
                "times, never damaged\n",
                kills, sawOld, sawNew);
}

} // namespace
} // namespace fabricor
