#include "base/atomic_file.h"

#include "support/full_disk.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#ifdef _WIN32
#include <windows.h>

#include <thread>
#endif

namespace fabricor {
namespace {

using test_support::FullDisk;
using test_support::ReadFile;
using test_support::TempDir;
using test_support::WriteFile;
namespace fs = std::filesystem;

size_t EntriesIn(const fs::path& folder) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

TEST(AtomicFile, ReplacesTheWholeFile) {
    TempDir dir;
    WriteFile(dir / "a.txt", "a much longer old content");
    ASSERT_TRUE(WriteFileAtomically(dir / "a.txt", "new"));
    EXPECT_EQ(ReadFile(dir / "a.txt"), "new");
    EXPECT_EQ(EntriesIn(dir.path()), 1u);
}

TEST(AtomicFile, FailureKeepsTheOldFileAndLeavesNoTemporary) {
    TempDir dir;
    WriteFile(dir / "a.txt", "old");
    FullDisk full(3);
    auto status = WriteFileAtomically(dir / "a.txt", "new content", full);
    EXPECT_FALSE(status);
    EXPECT_NE(status.message().find("No space left on device"), std::string::npos);
    EXPECT_EQ(ReadFile(dir / "a.txt"), "old");
    EXPECT_EQ(EntriesIn(dir.path()), 1u);
}

TEST(AtomicFile, AFailureCarriesItsCodeAndItsCauseApartFromTheFile) {
    TempDir dir;
    auto target = dir / "missing" / "a.txt";
    auto status = WriteFileAtomically(target, "x");
    EXPECT_EQ(status.code(), StatusCode::SystemError);
    EXPECT_EQ(status.cause(), std::strerror(ENOENT));
    EXPECT_EQ(status.message(), target.string() + ": " + std::strerror(ENOENT));
    EXPECT_EQ(Status::Error("plain").cause(), "plain");
    EXPECT_EQ(Status::Error("plain").code(), StatusCode::Failed);
    EXPECT_EQ(Status::Ok().code(), StatusCode::Ok);
}

TEST(AtomicFile, ReadOnlyFileIsNotReplaced) {
    TempDir dir;
    WriteFile(dir / "a.txt", "old");
    fs::permissions(dir / "a.txt", fs::perms::owner_read | fs::perms::group_read);
    auto status = WriteFileAtomically(dir / "a.txt", "new");
    EXPECT_FALSE(status);
    EXPECT_NE(status.message().find("Permission denied"), std::string::npos);
    EXPECT_EQ(ReadFile(dir / "a.txt"), "old");
    EXPECT_EQ(EntriesIn(dir.path()), 1u);
}

TEST(AtomicFile, AFolderInPlaceOfTheFileIsRefusedButALinkToAFileIsReplacedItself) {
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links need a privilege on Windows";
#endif
    TempDir dir;
    fs::create_directory(dir / "a.txt");
    auto status = WriteFileAtomically(dir / "a.txt", "new");
    EXPECT_EQ(status.message(), (dir / "a.txt").string() + ": not a regular file (a folder)");
    EXPECT_TRUE(fs::is_directory(dir / "a.txt"));
    // A link to a private file: the link goes, what it led to stays.
    WriteFile(dir / "private", "secret");
    fs::permissions(dir / "private", fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink(dir / "private", dir / "c.txt");
    ASSERT_TRUE(WriteFileAtomically(dir / "c.txt", "new"));
    EXPECT_EQ(ReadFile(dir / "private"), "secret");
    EXPECT_FALSE(fs::is_symlink(dir / "c.txt"));
    EXPECT_EQ(fs::status(dir / "c.txt").permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
}

TEST(AtomicFile, MissingFolderReportsTheSystemError) {
    TempDir dir;
    auto status = WriteFileAtomically(dir / "missing" / "a.txt", "new");
    EXPECT_FALSE(status);
    EXPECT_NE(status.message().find("No such file or directory"), std::string::npos);
}

TEST(AtomicFile, AbandonedWriterRemovesItsTemporary) {
    TempDir dir;
    {
        AtomicFileWriter writer(dir / "a.bin");
        ASSERT_TRUE(writer.Open());
        ASSERT_TRUE(writer.Write("partial"));
        EXPECT_TRUE(fs::exists(writer.temporaryPath()));
    }
    EXPECT_EQ(EntriesIn(dir.path()), 0u);
}

TEST(AtomicFile, NewFileGetsOrdinaryPermissions) {
    TempDir dir;
    ASSERT_TRUE(WriteFileAtomically(dir / "a.txt", "x"));
    auto perms = fs::status(dir / "a.txt").permissions();
    EXPECT_NE(perms & fs::perms::owner_write, fs::perms::none);
    EXPECT_NE(perms & fs::perms::group_read, fs::perms::none);
}

#ifdef _WIN32
// Windows will not replace a file someone has open; a reader that lets go soon (a log viewer,
// a virus scanner) only delays the save, whose new text must arrive all the same.
TEST(AtomicFile, AReaderHoldingTheFileBrieflyDelaysTheSaveButDoesNotLoseIt) {
    TempDir dir;
    WriteFile(dir / "Progwerk.log", "old");
    HANDLE reader = CreateFileW((dir / "Progwerk.log").wstring().c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    std::thread letGo([reader] {
        Sleep(300);
        CloseHandle(reader);
    });
    const auto status = WriteFileAtomically(dir / "Progwerk.log", "new");
    letGo.join();
    EXPECT_TRUE(status) << status.message();
    EXPECT_EQ(ReadFile(dir / "Progwerk.log"), "new");
    EXPECT_EQ(EntriesIn(dir.path()), 1u);
}
#endif

} // namespace
} // namespace fabricor
