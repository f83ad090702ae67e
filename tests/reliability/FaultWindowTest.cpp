// Saves that fail underneath the window, and a damaged configuration store:
// the previous file survives, the document keeps its flags and its title, the
// user sees one message, and the program goes on.
#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QToolButton>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <random>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "document/WaveformFile.h"
#include "platform/Configuration.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/WindowUnderTest.h"

namespace zop {
namespace {

namespace fs = std::filesystem;

using test::ReadBytes;

// Folder and file permissions do not stop root, as CI runs. While this object
// lives, the calling thread (the window's) gives up the capabilities that
// override them, so a read-only folder stops it as it stops any user.
class FilePermissionsApply {
public:
    FilePermissionsApply()
    {
        m_header.version = _LINUX_CAPABILITY_VERSION_3;
        m_header.pid = 0;
        if (syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct reduced[2] = { m_saved[0], m_saved[1] };
        for (int cap : { CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER })
            reduced[cap / 32].effective &= ~(1u << (cap % 32));
        m_dropped = syscall(SYS_capset, &m_header, reduced) == 0;
    }
    ~FilePermissionsApply()
    {
        if (m_dropped)
            syscall(SYS_capset, &m_header, m_saved);
    }
    FilePermissionsApply(const FilePermissionsApply&) = delete;
    FilePermissionsApply& operator=(const FilePermissionsApply&) = delete;

private:
    __user_cap_header_struct m_header {};
    __user_cap_data_struct m_saved[2] {};
    bool m_dropped = false;
};

class SaveFaultTest : public test::WindowTest {
protected:
    // A file on disk, opened in the window and then edited: titled and unsaved.
    void OpenAndEdit(TZop5Form& form, const std::string& path)
    {
        WaveformFileContents contents;
        contents.Description = "kept";
        contents.TimeLabel = "1ms/div";
        contents.VoltsLabel = "1V/div";
        contents.Samples.fill(100);
        m_original = FormatWaveformFile(contents);
        ui.OpenResults = { FileDialogResult { test::WriteWaveformFile(path, contents), 1 } };
        form.Action(Cmd::OpenItem)->trigger();
        ASSERT_TRUE(ui.Messages.empty());
        emit form.DescriptionEdit()->textEdited("edited, not yet saved");
        // The probe moved to x10 since the file was opened.
        form.State().ShowProbe(10);
        form.Flags().ProbeChanged = true;
        form.SyncFromState();
        ASSERT_TRUE(form.Flags().Modified);
        ASSERT_TRUE(form.Flags().ProbeChanged);
    }

    // After a failed save: one error report, nothing else changed.
    void ExpectFailedSave(TZop5Form& form, const std::string& title, const std::string& text)
    {
        ASSERT_EQ(ui.Messages.size(), 1u) << testing::PrintToString(ui.Texts());
        EXPECT_EQ(ui.Messages[0].Kind, BoxKind::Error);
        EXPECT_EQ(ui.Messages[0].Text, text);
        EXPECT_TRUE(form.Flags().Modified);
        EXPECT_TRUE(form.Flags().ProbeChanged);
        EXPECT_EQ(form.Record().ProbeFactor, 1);
        EXPECT_EQ(form.windowTitle().toStdString(), title);
        EXPECT_EQ(form.DescriptionEdit()->text(), "edited, not yet saved");
        EXPECT_TRUE(form.Action(Cmd::SaveItem)->isEnabled());
    }

    test::TempDir dir;
    std::string m_original;
};

TEST_F(SaveFaultTest, SaveIntoAReadOnlyFolderKeepsTheOldFileAndTheFlags)
{
    TZop5Form form(ui, &clock);
    const std::string folder = dir.File("readonly");
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    const std::string path = folder + "/trace.zop";
    OpenAndEdit(form, path);
    ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
    {
        FilePermissionsApply permissions;
        form.Button(Cmd::SaveBtn)->click();
    }
    chmod(folder.c_str(), 0755);
    ExpectFailedSave(form, "Tracelet - trace.zop", "Permission denied");
    EXPECT_EQ(ReadBytes(path), m_original);
    EXPECT_EQ(test::FolderEntries(folder), std::vector<std::string> { "trace.zop" });

    // Once the folder may be written again the same command succeeds.
    ui.Messages.clear();
    form.Button(Cmd::SaveBtn)->click();
    EXPECT_TRUE(ui.Messages.empty());
    EXPECT_FALSE(form.Flags().Unsaved());
    IncomingImage saved;
    ASSERT_TRUE(LoadWaveformFile(path, saved));
    EXPECT_EQ(saved.Description, "edited, not yet saved");

    // Save As to a new name in a read-only folder: no file, flags and caption kept.
    const std::string written = ReadBytes(path);
    emit form.DescriptionEdit()->textEdited("edited again");
    ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
    ui.SaveResults = { FileDialogResult { folder + "/other.zop", 1 } };
    {
        FilePermissionsApply permissions;
        form.Action(Cmd::SaveasItem)->trigger();
    }
    chmod(folder.c_str(), 0755);
    ASSERT_EQ(ui.Messages.size(), 1u);
    EXPECT_EQ(ui.Messages[0].Text, "Permission denied");
    EXPECT_TRUE(form.Flags().Modified);
    EXPECT_EQ(form.windowTitle(), "Tracelet - trace.zop");
    EXPECT_EQ(ReadBytes(path), written);
    EXPECT_EQ(test::FolderEntries(folder), std::vector<std::string> { "trace.zop" });
}

TEST_F(SaveFaultTest, SaveOntoAFullDeviceKeepsTheOldFileAndTheFlags)
{
    TZop5Form form(ui, &clock);
    const std::string path = dir.File("trace.zop");
    OpenAndEdit(form, path);

    // A file size limit stops the write part-way, as a full disk does.
    test::FileSizeLimit limit(64);
    ASSERT_TRUE(limit.Active());
    form.Action(Cmd::SaveItem)->trigger();
    limit.Lift();

    ExpectFailedSave(form, "Tracelet - trace.zop", "File too large");
    EXPECT_EQ(ReadBytes(path), m_original);
    EXPECT_EQ(test::FolderEntries(dir.Path()), std::vector<std::string> { "trace.zop" });

    // A name that leads to a full device: the document keeps its caption and flags.
    ui.Messages.clear();
    fs::create_symlink("/dev/full", dir.File("full.zop"));
    ui.Answers = { Answer::Yes }; // "File exist. Overwrite it?"
    ui.SaveResults = { FileDialogResult { dir.File("full.zop"), 1 } };
    form.Action(Cmd::SaveasItem)->trigger();
    ASSERT_FALSE(ui.Messages.empty());
    const test::ShownMessage last = ui.Messages.back();
    EXPECT_EQ(last.Kind, BoxKind::Error);
    EXPECT_EQ(last.Text, "No space left on device");
    EXPECT_EQ(form.windowTitle(), "Tracelet - trace.zop");
    EXPECT_TRUE(form.Flags().Modified && form.Flags().ProbeChanged);
}

TEST_F(SaveFaultTest, SaveAfterTheFileOrItsFolderVanished)
{
    TZop5Form form(ui, &clock);
    const std::string folder = dir.File("vanishing");
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    const std::string path = folder + "/trace.zop";
    OpenAndEdit(form, path);

    // The folder went away while the document was shown.
    fs::remove_all(folder);
    form.Action(Cmd::SaveItem)->trigger();
    ExpectFailedSave(form, "Tracelet - trace.zop", "No such file or directory");
    EXPECT_FALSE(fs::exists(folder));

    // Only the file went away: Save writes it anew.
    ui.Messages.clear();
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    form.Action(Cmd::SaveItem)->trigger();
    EXPECT_TRUE(ui.Messages.empty()) << testing::PrintToString(ui.Texts());
    EXPECT_FALSE(form.Flags().Unsaved());
    IncomingImage saved;
    ASSERT_TRUE(LoadWaveformFile(path, saved));
    EXPECT_EQ(saved.Description, "edited, not yet saved");
    EXPECT_EQ(test::FolderEntries(folder), std::vector<std::string> { "trace.zop" });
}

// Garbage in the configuration store: the window starts in Smooth, runs, and
// closing it still works.
TEST(ConfigurationFaultTest, GarbageInTheStoreGivesSmoothAndTheWindowRuns)
{
    const QString path = Configuration().FilePath();
    std::mt19937 random(7);
    std::string noise(4096, '\0');
    for (char& c : noise)
        c = static_cast<char>(random());
    const std::vector<std::string> garbage {
        noise,
        "[Configuration]\nViewMode=" + std::string(100000, 'D') + "\n",
        "[Configuration\nViewMode=Dot\n\xFF\xFE\x00\x01",
        "[Configuration]\nViewMode=\"Bar\n[[[\n=\n\\\\\\\n",
        "[Configuration]\nViewMode=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x12QWidget)\n",
        "[Configuration]\nViewMode=@ByteArray(\\xff\\xfe)\n",
        "[Configuration]\nViewMode=Dot, Bar\n",
    };
    for (const std::string& bytes : garbage) {
        {
            std::ofstream out(path.toStdString(), std::ios::binary | std::ios::trunc);
            out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        }
        test::WindowUnderTest window;
        TZop5Form& form = window.Form();
        EXPECT_EQ(form.State().ViewMode, TraceMode::Smooth) << bytes.substr(0, 60);
        EXPECT_TRUE(form.Action(Cmd::SmoothItem)->isChecked());
        EXPECT_TRUE(window.Ui.Messages.empty());
        form.Action(Cmd::DotItem)->trigger();
        form.show();
        EXPECT_TRUE(form.close());
    }
    // A store that is a folder cannot be read or written: Smooth, and closing works.
    QFile::remove(path);
    ASSERT_TRUE(fs::create_directory(path.toStdString()));
    {
        test::WindowUnderTest window;
        TZop5Form& form = window.Form();
        EXPECT_EQ(form.State().ViewMode, TraceMode::Smooth);
        form.show();
        EXPECT_TRUE(form.close());
    }
    fs::remove_all(path.toStdString());
}

// A store that is no small regular file would block the start (a pipe),
// fill the memory (an endless device) or take seconds to parse (a huge
// file): the window starts as without a store, in Smooth, and closing it
// writes nothing through it.
TEST(ConfigurationFaultTest, AStoreThatIsNoSmallRegularFileCountsAsAbsentAndIsNeverWritten)
{
    const std::string path = Configuration().FilePath().toStdString();
    std::string huge = "[Configuration]\nViewMode=Dot\n";
    while (huge.size() <= 1 << 20)
        huge += ";" + std::string(1000, 'x') + "\n";
    struct Case {
        const char* Name;
        std::function<void()> Make;
        std::function<bool()> Unchanged;
    } cases[] = {
        { "pipe", [&] { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); },
            [&] { return fs::is_fifo(fs::symlink_status(path)); } },
        { "endless device", [&] { fs::create_symlink("/dev/zero", path); },
            [&] { return fs::is_symlink(path) && fs::read_symlink(path) == "/dev/zero"; } },
        { "random device", [&] { fs::create_symlink("/dev/urandom", path); },
            [&] { return fs::is_symlink(path) && fs::read_symlink(path) == "/dev/urandom"; } },
        { "huge file", [&] { std::ofstream(path, std::ios::binary) << huge; },
            [&] { return ReadBytes(path) == huge; } },
    };
    for (const Case& c : cases) {
        fs::remove_all(path);
        c.Make();
        {
            test::WindowUnderTest window;
            TZop5Form& form = window.Form();
            EXPECT_EQ(form.State().ViewMode, TraceMode::Smooth) << c.Name;
            EXPECT_TRUE(form.Action(Cmd::SmoothItem)->isChecked()) << c.Name;
            EXPECT_TRUE(window.Ui.Messages.empty()) << c.Name;
            form.Action(Cmd::DotItem)->trigger();
            form.show();
            EXPECT_TRUE(form.close()) << c.Name;
        }
        EXPECT_TRUE(c.Unchanged()) << c.Name << " was written";
    }
    fs::remove_all(path);
}

} // namespace
} // namespace zop
