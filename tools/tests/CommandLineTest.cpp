// zop5-tool's own command line: the version, help on the tool and on each
// command, and the usage errors around them.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/TestEnvironment.h"

#include "tools/tests/ToolRunner.h"

namespace zop::test {
namespace {

// The commands `zop5-tool --help` lists under "Commands:".
std::vector<std::string> ListedCommands()
{
    const ChildResult help = RunTool({ "--help" });
    std::vector<std::string> names;
    bool listing = false;
    for (const std::string& line : Lines(help.Out)) {
        if (listing && line.starts_with("  "))
            names.push_back(line.substr(2, line.find(' ', 2) - 2));
        listing = listing || line == "Commands:";
    }
    return names;
}

TEST(ToolCommandLine, VersionIsTheProjectsOnStandardOutput)
{
    for (const char* option : { "--version", "-V" }) {
        const ChildResult version = RunTool({ option });
        EXPECT_EQ(version.ExitCode, 0) << option;
        EXPECT_EQ(version.Out, "zop5-tool " PROJECT_VERSION_TEXT "\n") << option;
        EXPECT_EQ(version.Err, "") << option;
    }
}

TEST(ToolCommandLine, HelpCommandPrintsWhatTheCommandsOwnHelpPrints)
{
    const std::vector<std::string> commands = ListedCommands();
    ASSERT_GE(commands.size(), 5u);
    for (const std::string& command : commands) {
        const ChildResult own = RunTool({ command, "--help" });
        const ChildResult asked = RunTool({ "help", command });
        EXPECT_EQ(asked.ExitCode, 0) << command << asked.Err;
        EXPECT_EQ(asked.Out, own.Out) << command;
        EXPECT_TRUE(asked.Out.starts_with("Usage: zop5-tool " + command)) << command;
    }
}

TEST(ToolCommandLine, HelpWithoutACommandIsTheToolsUsageAndMisuseIsAUsageError)
{
    struct Case {
        std::vector<std::string> Args;
        int ExitCode;
        const char* Out; // expected at the start of standard output
        const char* Err; // expected somewhere in standard error
    };
    const Case cases[] = {
        { { "help" }, 0, "Usage: zop5-tool COMMAND", "" },
        { { "--help" }, 0, "Usage: zop5-tool COMMAND", "" },
        { {}, 2, "", "Usage: zop5-tool COMMAND" },
        { { "help", "frobnicate" }, 2, "", "unknown command 'frobnicate'" },
        { { "help", "export", "measure" }, 2, "", "expected one command" },
        { { "frobnicate" }, 2, "", "unknown command 'frobnicate'" },
    };
    for (const Case& c : cases) {
        const ChildResult result = RunTool(c.Args);
        std::ostringstream name;
        for (const std::string& arg : c.Args)
            name << arg << ' ';
        EXPECT_EQ(result.ExitCode, c.ExitCode) << name.str();
        EXPECT_TRUE(result.Out.starts_with(c.Out)) << name.str() << result.Out;
        EXPECT_NE(result.Err.find(c.Err), std::string::npos) << name.str() << result.Err;
    }
}

// File names are the system's bytes: a name that is not valid UTF-8 is read
// and written as given, and printed as given.
TEST(ToolCommandLine, FileNamesThatAreNotUtf8AreReadAndWrittenAsGiven)
{
    TempDir dir;
    WaveformText waveform;
    for (size_t i = 0; i < waveform.Samples.size(); ++i)
        waveform.Samples[i] = static_cast<int32_t>(60 + i % 40);
    const std::string plain = dir.File("plain.zop");
    const std::string odd = dir.File("n\xff\xfe.zop");
    WriteBytes(plain, WaveformFileBytes(waveform));
    WriteBytes(odd, WaveformFileBytes(waveform));

    const ChildResult reference = RunTool({ "measure", plain });
    const ChildResult measured = RunTool({ "measure", "--names", odd });
    ASSERT_EQ(measured.ExitCode, 0) << measured.Err;
    EXPECT_EQ(measured.Out, odd + "\t" + reference.Out);

    const std::string plainCsv = dir.File("plain.csv");
    const std::string oddCsv = dir.File("o\xe9\x80.csv");
    ASSERT_EQ(RunTool({ "export", plain, plainCsv }).ExitCode, 0);
    const ChildResult exported = RunTool({ "export", odd, oddCsv });
    ASSERT_EQ(exported.ExitCode, 0) << exported.Err;
    EXPECT_EQ(ReadBytes(oddCsv), ReadBytes(plainCsv));

    const std::string missing = dir.File("m\xff.zop");
    const ChildResult refused = RunTool({ "measure", missing });
    EXPECT_EQ(refused.ExitCode, 1);
    EXPECT_EQ(refused.Err, missing + ": Incorrect file type (No such file or directory)\n");
}

} // namespace
} // namespace zop::test
