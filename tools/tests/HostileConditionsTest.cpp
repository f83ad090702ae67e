// zop5-tool under conditions a hostile user or a full machine brings: huge
// and odd input files, a damaged configuration, full disks and resource
// limits. Whatever happens, the tool ends with a status and a message that
// say what went wrong, and leaves no file half written.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

#include "tests/support/TestEnvironment.h"
#include "tools/tests/ToolRunner.h"

namespace zop::test {
namespace {

namespace fs = std::filesystem;

class Hostile : public testing::Test {
protected:
    std::string Write(const std::string& name, const std::string& bytes)
    {
        const std::string path = m_dir.File(name);
        WriteBytes(path, bytes);
        return path;
    }
    // The tool with the shell's resource limits set first ("ulimit -t 5").
    ChildResult RunLimited(const std::string& limits, const std::vector<std::string>& args)
    {
        std::vector<std::string> argv { "sh", "-c", limits + " && exec \"$0\" \"$@\"", ToolPath() };
        argv.insert(argv.end(), args.begin(), args.end());
        ChildOptions options;
        options.Environment["XDG_CONFIG_HOME"] = m_dir.Path();
        for (int n = 1; n <= 4; ++n)
            options.Environment["ZOP5_COM" + std::to_string(n)] = "";
        return RunChild(argv, options);
    }
    TempDir m_dir;
};

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

} // namespace
} // namespace zop::test
