// zop5-tool under conditions a hostile user or a full machine brings: huge
// and odd input files, a damaged configuration, full disks and resource
// limits. Whatever happens, the tool ends with a status and a message that
// say what went wrong, and leaves no file half written.
#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/TestEnvironment.h"
#include "tools/tests/ToolRunner.h"

namespace zop::test {
namespace {

namespace fs = std::filesystem;

// Address space limits stop a sanitizer's shadow memory, not the program.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool UnderAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool UnderAddressSanitizer = true;
#else
constexpr bool UnderAddressSanitizer = false;
#endif
#else
constexpr bool UnderAddressSanitizer = false;
#endif

class Hostile : public testing::Test {
protected:
    std::string Write(const std::string& name, const std::string& bytes)
    {
        const std::string path = m_dir.File(name);
        WriteBytes(path, bytes);
        return path;
    }
    // The tool with the shell's resource limits set first ("ulimit -t 5"),
    // its configuration in the test's folder and its ports mapped to "no
    // device" unless `options` says otherwise.
    ChildResult RunLimited(const std::string& limits, const std::vector<std::string>& args, ChildOptions options = {})
    {
        std::vector<std::string> argv { "sh", "-c", limits + " && exec \"$0\" \"$@\"", ToolPath() };
        argv.insert(argv.end(), args.begin(), args.end());
        options.Environment.try_emplace("XDG_CONFIG_HOME", m_dir.Path());
        for (int n = 1; n <= 4; ++n)
            options.Environment.try_emplace("ZOP5_COM" + std::to_string(n), "");
        return RunChild(argv, options, std::chrono::seconds(30));
    }
    std::string ConfigPath() const { return m_dir.File("Tracelet ZOP5.ini"); }
    // A good waveform file.
    std::string Input()
    {
        WaveformText waveform;
        waveform.Samples.fill(150);
        return Write("in.zop", WaveformFileBytes(waveform));
    }
    TempDir m_dir;
};

// How each written format begins.
struct Format {
    const char* Extension;
    std::string_view Magic;
    bool Drawn; // by the window system's painting, which a build without Qt lacks
};
constexpr Format AllWrittenFormats[] = {
    { "pdf", "%PDF-", true },
    { "png", "\x89PNG", true },
    { "svg", "<?xml", true },
    { "bmp", "BM", true },
    { "wmf", "\xD7\xCD\xC6\x9A", false },
    { "csv", "index,", false },
};

// The formats this build writes.
std::vector<Format> WrittenFormats()
{
    std::vector<Format> formats;
    for (const Format& format : AllWrittenFormats)
        if (!format.Drawn || ZOP5_TOOL_DRAWS)
            formats.push_back(format);
    return formats;
}

// A file of `size` bytes that starts with `head`, the rest a hole that reads
// as zero bytes and takes no room on the disk.
void WriteSparse(const std::string& path, const std::string& head, off_t size)
{
    WriteBytes(path, head);
    ASSERT_EQ(truncate(path.c_str(), size), 0) << path;
}

TEST_F(Hostile, AFileWhoseFixedLineIsTooLongIsRefusedWithoutReadingOn)
{
    // Lines that are compared with fixed texts (the signature, the labels)
    // and already longer than any of them: the rest of a 64 GiB line is
    // never read. Reading it would take minutes of processor time; the limit
    // of ten seconds ends such a run with a signal.
    const std::string body = "desc\r\n07/12/2026\r\n10:15:00\r\n";
    struct Case {
        const char* Name;
        std::string Head;
    } cases[] = {
        { "signature.zop", "Zop5 V1.0 and then some" },
        { "zeros.zop", "Zop5 V1.0" },
        { "timelabel.zop", "Zop5 V1.0\r\n" + body + "1ms/div/div/div/div/div" },
        { "voltslabel.zop", "Zop5 V1.0\r\n" + body + "1ms/div\r\n0.1V/div" },
    };
    for (const Case& c : cases) {
        const std::string path = m_dir.File(c.Name);
        WriteSparse(path, c.Head, off_t { 64 } << 30);
        const ChildResult result = RunLimited("ulimit -t 5", { "measure", path });
        EXPECT_EQ(result.Signal, 0) << c.Name;
        EXPECT_EQ(result.ExitCode, 1) << c.Name;
        EXPECT_EQ(result.Err, path + ": Incorrect file type\n") << c.Name;
    }
}

TEST_F(Hostile, AConfigurationThatIsNoSmallRegularFileIsIgnoredWithOneLine)
{
    // Each store would hang the tool, fill its memory or feed it a value of
    // 100 MB; the tool reads none of them, says so once, and goes on with
    // the defaults. Nothing is written to them.
    const std::string input = Input();
    struct Case {
        const char* Name;
        std::function<void(const std::string&)> Make;
        const char* Reason;
    } cases[] = {
        { "pipe", [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); }, "not a regular file" },
        { "endless device", [](const std::string& p) { fs::create_symlink("/dev/zero", p); }, "not a regular file" },
        { "random device", [](const std::string& p) { fs::create_symlink("/dev/urandom", p); }, "not a regular file" },
        { "folder", [](const std::string& p) { fs::create_directory(p); }, "Is a directory" },
        { "huge value",
            [](const std::string& p) {
                WriteBytes(p, "[Configuration]\nViewMode=Dot\n[Ports]\nCOM1=/dev/null");
                ASSERT_EQ(truncate(p.c_str(), 100 << 20), 0);
            },
            "larger than 256 KiB" },
    };
    // Only COM1 comes from the configuration; the others stay "no device".
    ChildOptions portsFromConfiguration;
    portsFromConfiguration.Environment["ZOP5_COM1"] = std::nullopt;
    const std::string limits = UnderAddressSanitizer ? "ulimit -t 20" : "ulimit -t 20 && ulimit -v 1000000";
    for (const Case& c : cases) {
        const std::string config = ConfigPath();
        fs::remove_all(config);
        c.Make(config);
        const std::string ignored = "zop5-tool: ignoring the configuration file " + config + ": " + c.Reason + "\n";

        const ChildResult ports = RunLimited(limits, { "ports" }, portsFromConfiguration);
        EXPECT_FALSE(ports.TimedOut) << c.Name;
        EXPECT_EQ(ports.Signal, 0) << c.Name;
        EXPECT_TRUE(ports.Err.starts_with(ignored)) << c.Name << ": " << ports.Err;
        EXPECT_EQ(ports.Err.find(ignored, 1), std::string::npos) << c.Name << ": said once";
        EXPECT_NE(ports.Out.find("/dev/ttyUSB0"), std::string::npos) << c.Name << ": the default device";

        const ChildResult exported = RunLimited(limits, { "export", input, m_dir.File("out.csv") });
        EXPECT_EQ(exported.ExitCode, 0) << c.Name << ": " << exported.Err;
        EXPECT_EQ(exported.Err, ignored) << c.Name;
    }
    EXPECT_EQ(fs::file_size(ConfigPath()), 100u << 20) << "never written";
    std::string head(29, '\0');
    std::ifstream(ConfigPath(), std::ios::binary).read(head.data(), 29);
    EXPECT_EQ(head, "[Configuration]\nViewMode=Dot\n");
}

TEST_F(Hostile, AFullDeviceFailsTheExportInEveryFormat)
{
    // Qt's PDF writer reports no failed write: the tool once ended with 0
    // and an empty file.
    const std::string input = Input();
    for (const Format& format : WrittenFormats()) {
        const std::string out = m_dir.File(std::string("full.") + format.Extension);
        fs::create_symlink("/dev/full", out);
        const ChildResult result = RunLimited("true", { "export", input, out });
        EXPECT_EQ(result.ExitCode, 1) << format.Extension;
        EXPECT_NE(result.Err.find("No space left on device"), std::string::npos) << format.Extension << result.Err;
        EXPECT_EQ(fs::read_symlink(out), "/dev/full") << format.Extension;
    }
}

TEST_F(Hostile, AFileBeyondTheSizeLimitIsAnErrorThatKeepsThePreviousFile)
{
    // The shell's limit is in blocks of 512 bytes; every format is larger.
    const std::string input = Input();
    for (const Format& format : WrittenFormats()) {
        const std::string out = Write(std::string("kept.") + format.Extension, "previous");
        const std::vector<std::string> before = FolderEntries(m_dir.Path());
        const ChildResult result = RunLimited("ulimit -f 1", { "export", input, out });
        EXPECT_EQ(result.Signal, 0) << format.Extension;
        EXPECT_EQ(result.ExitCode, 1) << format.Extension;
        EXPECT_NE(result.Err.find("File too large"), std::string::npos) << format.Extension << result.Err;
        EXPECT_EQ(ReadBytes(out), "previous") << format.Extension;
        EXPECT_EQ(FolderEntries(m_dir.Path()), before) << format.Extension << ": a temporary was left";
    }
}

TEST_F(Hostile, OutOfMemoryIsReportedAsSuchAndLeavesNoFileHalfWritten)
{
    if (UnderAddressSanitizer)
        GTEST_SKIP() << "the sanitizer's shadow memory does not fit an address space limit";
    const std::string input = Input();
    const auto limit = [](int megabytes) { return "ulimit -v " + std::to_string(megabytes * 1024); };
    // From the least address space the program starts in, upwards in steps,
    // until every command has all it needs: each run either does its work or
    // says the memory ran out, never ends by a signal, never takes the good
    // file for a bad one, and never leaves a file half written.
    int least = 16;
    while (least < 1024 && RunLimited(limit(least), { "--help" }).ExitCode != 0)
        least += 4;
    ASSERT_LT(least, 1024) << "the program does not start at all";
    std::vector<std::vector<std::string>> commands { { "measure", input } };
    for (const Format& format : WrittenFormats())
        commands.push_back({ "export", input, m_dir.File(std::string("out.") + format.Extension) });
    bool failed = false;
    int lastFailure = least;
    for (int megabytes = least; megabytes < least + 200 && megabytes <= lastFailure + 12; megabytes += 2) {
        for (const std::vector<std::string>& command : commands) {
            const std::string what = command[0] + " " + command.back() + " in " + std::to_string(megabytes) + " MB";
            const bool exporting = command[0] == "export";
            if (exporting)
                WriteBytes(command.back(), "previous");
            const std::vector<std::string> before = FolderEntries(m_dir.Path());
            const ChildResult result = RunLimited(limit(megabytes), command);
            ASSERT_EQ(result.Signal, 0) << what << ": " << result.Err;
            EXPECT_EQ(result.Err.find("Incorrect file type"), std::string::npos) << what;
            EXPECT_EQ(FolderEntries(m_dir.Path()), before) << what << ": a temporary was left";
            if (result.ExitCode == 0) {
                if (exporting) {
                    const std::string extension = fs::path(command.back()).extension().string().substr(1);
                    const Format& format = *std::find_if(std::begin(AllWrittenFormats), std::end(AllWrittenFormats),
                        [&](const Format& f) { return extension == f.Extension; });
                    EXPECT_TRUE(ReadBytes(command.back()).starts_with(format.Magic)) << what;
                } else {
                    EXPECT_EQ(SplitTabs(result.Out).size(), 6u) << what;
                }
                continue;
            }
            failed = true;
            lastFailure = megabytes;
            EXPECT_EQ(result.ExitCode, 1) << what;
            EXPECT_EQ(result.Err, "zop5-tool " + command[0] + ": out of memory\n") << what;
            if (exporting) {
                EXPECT_EQ(ReadBytes(command.back()), "previous") << what;
            }
        }
    }
    EXPECT_TRUE(failed) << "no limit was tight enough to fail";
    EXPECT_LT(lastFailure, least + 188) << "some command fails in any address space";
}

} // namespace
} // namespace zop::test
