// zop5-tool ports, run as a user runs it, with ports that lead nowhere, to a
// missing device, to a busy one, to a working one and to one the user may not
// open.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/file.h>
#include <unistd.h>

#include "tests/support/TestEnvironment.h"
#include "tools/tests/ToolRunner.h"

namespace zop::test {
namespace {

// The line of COMn in the listing.
std::string PortLine(const std::string& out, int number)
{
    for (const std::string& line : Lines(out))
        if (line.starts_with("COM" + std::to_string(number) + " "))
            return line;
    return "";
}

TEST(Ports, EachPortSaysWhetherItOpensAndWhyNot)
{
    TempDir dir;
    PseudoTerminal busy;
    PseudoTerminal working;
    // Another program holds the busy port as the serial library does.
    const int holder = open(busy.DevicePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);

    ChildOptions options;
    options.Environment["ZOP5_COM1"] = "";
    options.Environment["ZOP5_COM2"] = dir.File("ttyUSB7");
    options.Environment["ZOP5_COM3"] = busy.DevicePath();
    options.Environment["ZOP5_COM4"] = working.DevicePath();
    const ChildResult result = RunTool({ "ports" }, options);
    close(holder);

    EXPECT_EQ(result.ExitCode, 0) << result.Err;
    EXPECT_NE(PortLine(result.Out, 1).find("no device"), std::string::npos) << result.Out;
    EXPECT_NE(PortLine(result.Out, 2).find(dir.File("ttyUSB7")), std::string::npos) << result.Out;
    EXPECT_NE(PortLine(result.Out, 2).find("no such device"), std::string::npos) << result.Out;
    EXPECT_NE(PortLine(result.Out, 3).find("busy"), std::string::npos) << result.Out;
    EXPECT_NE(PortLine(result.Out, 4).find("opens (the window listens here)"), std::string::npos) << result.Out;
    EXPECT_NE(PortLine(result.Out, 4).find("from ZOP5_COM4"), std::string::npos) << result.Out;
}

TEST(Ports, NoPortThatOpensFailsWithTheWindowsWarning)
{
    TempDir dir;
    WriteBytes(dir.File("plain-file"), "not a terminal");
    ChildOptions options;
    options.Environment["ZOP5_COM2"] = dir.File("plain-file");
    const ChildResult result = RunTool({ "ports" }, options);
    EXPECT_EQ(result.ExitCode, 1);
    EXPECT_NE(PortLine(result.Out, 2).find("not a serial device"), std::string::npos) << result.Out;
    EXPECT_NE(result.Err.find("No free communication port available!"), std::string::npos) << result.Err;
}

// Runs `zop5-tool ports` as the user nobody with COM1 on `device`.
ChildResult PortsAsNobody(const std::string& device, const TempDir& config)
{
    ChildOptions options;
    options.Environment["ZOP5_COM1"] = device;
    for (int n = 2; n <= 4; ++n)
        options.Environment["ZOP5_COM" + std::to_string(n)] = "";
    options.Environment["XDG_CONFIG_HOME"] = config.Path();
    return RunChild({ "setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", ToolPath(), "ports" }, options);
}

TEST(Ports, PermissionFailureNamesTheOwningGroupAndHowToJoinIt)
{
    if (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0)
        GTEST_SKIP() << "needs root to run the tool as another user";
    const group* dialout = getgrnam("dialout");
    if (!dialout)
        GTEST_SKIP() << "no group dialout on this machine";
    TempDir config;
    PseudoTerminal device;
    // A serial device as the system sets it up: root's, group dialout, 0660.
    ASSERT_EQ(chown(device.DevicePath().c_str(), 0, dialout->gr_gid), 0);
    ASSERT_EQ(chmod(device.DevicePath().c_str(), 0660), 0);
    const ChildResult result = PortsAsNobody(device.DevicePath(), config);
    EXPECT_EQ(result.ExitCode, 1) << result.Err;
    const std::string line = PortLine(result.Out, 1);
    EXPECT_NE(line.find("permission denied (crw-rw----, owner 'root', group 'dialout')"), std::string::npos)
        << result.Out << result.Err;
    EXPECT_NE(line.find("sudo usermod -aG dialout nobody"), std::string::npos) << line;

    // A device only its owner may use: joining its group would not help.
    ASSERT_EQ(chmod(device.DevicePath().c_str(), 0600), 0);
    const std::string owner = PortLine(PortsAsNobody(device.DevicePath(), config).Out, 1);
    EXPECT_NE(owner.find("only its owner may open it"), std::string::npos) << owner;
    EXPECT_EQ(owner.find("usermod"), std::string::npos) << owner;
}

TEST(Ports, TakesNoArguments)
{
    EXPECT_EQ(RunTool({ "ports", "COM1" }).ExitCode, 2);
    EXPECT_EQ(RunTool({ "ports", "--all" }).ExitCode, 2);
    EXPECT_EQ(RunTool({ "ports", "--help" }).ExitCode, 0);
}

} // namespace
} // namespace zop::test
