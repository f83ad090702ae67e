#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "document/FileError.h"
#include "document/SafeFile.h"
#include "document/WaveformFile.h"
#include "tests/support/TestEnvironment.h"

namespace zop {
namespace {

namespace fs = std::filesystem;

using test::ReadBytes;
using test::WriteBytes;

// The text of the FileError that `save` throws, or "" when it succeeds. Runs
// `save` as an unprivileged user in a child process when the tests run as
// root, whom folder permissions do not stop.
std::string FailureAsUser(const std::function<void()>& save)
{
    const auto run = [&]() -> std::string {
        try {
            save();
        } catch (const FileError& error) {
            return error.what();
        }
        return "";
    };
    if (geteuid() != 0)
        return run();
    int channel[2];
    if (pipe(channel) != 0)
        return "pipe failed";
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        std::string text = "could not drop privileges";
        if (setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0)
            text = run();
        (void)!write(channel[1], text.data(), text.size());
        _exit(0);
    }
    close(channel[1]);
    std::string text;
    char buffer[256];
    ssize_t got;
    while ((got = read(channel[0], buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<size_t>(got));
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return text;
}

TEST(SafeFile, ReplacesContentsAndKeepsPermissionsAndLinks)
{
    test::TempDir dir;
    const std::string target = dir.File("trace.zop");
    WriteFileReplacing(target, "first");
    EXPECT_EQ(ReadBytes(target), "first");
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);

    WriteFileReplacing(target, "second, longer than the first");
    EXPECT_EQ(ReadBytes(target), "second, longer than the first");
    struct stat info { };
    ASSERT_EQ(stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(test::FolderEntries(dir.Path()), std::vector<std::string> { "trace.zop" }) << "no temporary file is left";

    fs::create_symlink("trace.zop", dir.File("link.zop"));
    WriteFileReplacing(dir.File("link.zop"), "through the link");
    EXPECT_TRUE(fs::is_symlink(dir.File("link.zop")));
    EXPECT_EQ(ReadBytes(target), "through the link");

    // A link whose file does not exist yet gets its file made.
    ASSERT_EQ(mkdir(dir.File("sub").c_str(), 0755), 0);
    fs::create_symlink("sub/later.zop", dir.File("dangling.zop"));
    WriteFileReplacing(dir.File("dangling.zop"), "made through the link");
    EXPECT_TRUE(fs::is_symlink(dir.File("dangling.zop")));
    EXPECT_EQ(ReadBytes(dir.File("sub/later.zop")), "made through the link");
    fs::create_symlink("loop.zop", dir.File("loop.zop"));
    EXPECT_THROW(WriteFileReplacing(dir.File("loop.zop"), "x"), FileError);
    EXPECT_TRUE(fs::is_symlink(dir.File("loop.zop")));

    WriteFileReplacing(dir.File("empty.zop"), "");
    EXPECT_TRUE(fs::exists(dir.File("empty.zop")));
    EXPECT_EQ(fs::file_size(dir.File("empty.zop")), 0u);
}

TEST(SafeFile, AReadOnlyFolderOrFileKeepsTheOldFile)
{
    test::TempDir dir;
    ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
    const std::string folder = dir.File("readonly");
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    const std::string writable = folder + "/writable.zop";
    const std::string locked = folder + "/locked.zop";
    WriteBytes(writable, "old contents");
    WriteBytes(locked, "old contents");
    ASSERT_EQ(chmod(writable.c_str(), 0666), 0);
    ASSERT_EQ(chmod(locked.c_str(), 0444), 0);
    ASSERT_EQ(chmod(folder.c_str(), 0555), 0);

    // The file itself may be written but no temporary file can be made.
    EXPECT_EQ(FailureAsUser([&] { WriteFileReplacing(writable, "new contents"); }), "Permission denied");
    EXPECT_EQ(ReadBytes(writable), "old contents");
    EXPECT_EQ(FailureAsUser([&] { WriteFileReplacing(folder + "/new.zop", "x"); }), "Permission denied");

    ASSERT_EQ(chmod(folder.c_str(), 0777), 0);
    // A write-protected file in a writable folder is not replaced either.
    EXPECT_EQ(FailureAsUser([&] { WriteFileReplacing(locked, "new contents"); }), "Permission denied");
    EXPECT_EQ(ReadBytes(locked), "old contents");
    EXPECT_EQ(test::FolderEntries(folder), (std::vector<std::string> { "locked.zop", "writable.zop" }));
}

TEST(SafeFile, AFullDeviceKeepsTheOldFileAndLeavesNoTemporary)
{
    test::TempDir dir;
    const std::string target = dir.File("trace.zop");
    WriteBytes(target, "old contents");

    // The file size limit stops the write part-way, as a full disk would.
    test::FileSizeLimit limit(100);
    ASSERT_TRUE(limit.Active());
    std::string text;
    try {
        WriteFileReplacing(target, std::string(5000, 'n'));
    } catch (const FileError& error) {
        text = error.what();
    }
    limit.Lift();

    EXPECT_EQ(text, "File too large");
    EXPECT_EQ(ReadBytes(target), "old contents");
    EXPECT_EQ(test::FolderEntries(dir.Path()), std::vector<std::string> { "trace.zop" });

    // A device is written in place and reports its own failure.
    try {
        WriteFileReplacing("/dev/full", "bytes");
        ADD_FAILURE() << "writing to a full device succeeded";
    } catch (const FileError& error) {
        EXPECT_STREQ(error.what(), "No space left on device");
        EXPECT_EQ(error.ErrorNumber(), ENOSPC);
    }
}

TEST(SafeFile, AVanishedFolderOrAFolderInTheWayFails)
{
    test::TempDir dir;
    const std::string folder = dir.File("gone");
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    ASSERT_EQ(rmdir(folder.c_str()), 0);
    try {
        WriteFileReplacing(folder + "/trace.zop", "x");
        ADD_FAILURE();
    } catch (const FileError& error) {
        EXPECT_STREQ(error.what(), "No such file or directory");
    }

    ASSERT_EQ(mkdir(dir.File("trace.zop").c_str(), 0755), 0);
    try {
        WriteFileReplacing(dir.File("trace.zop"), "x");
        ADD_FAILURE();
    } catch (const FileError& error) {
        EXPECT_STREQ(error.what(), "Is a directory");
    }
    EXPECT_TRUE(fs::is_empty(dir.File("trace.zop")));
    EXPECT_EQ(test::FolderEntries(dir.Path()), std::vector<std::string> { "trace.zop" });
}

TEST(SafeFile, AFailedWaveformWriteChangesNoFlag)
{
    test::TempDir dir;
    FormState form;
    form.ShowProbe(10);
    form.SettingsPanel[0] = "1ms/div";
    form.SettingsPanel[1] = "10V/div";
    WaveformRecord record;
    record.ProbeFactor = 1;
    DocumentFlags flags;
    flags.Modified = flags.ProbeChanged = true;
    EXPECT_THROW(WriteWaveformFile(dir.File("gone/trace.zop"), form, record, flags), FileError);
    EXPECT_TRUE(flags.Modified);
    EXPECT_TRUE(flags.ProbeChanged);
    EXPECT_EQ(record.ProbeFactor, 1);
}

} // namespace
} // namespace zop
