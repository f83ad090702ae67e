// zop5-tool's own command line: the version, help on the tool and on each
// command, and the usage errors around them.
#include <gtest/gtest.h>

#include <sstream>

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

} // namespace
} // namespace zop::test
