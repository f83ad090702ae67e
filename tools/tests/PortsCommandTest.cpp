// zop5-tool ports, run as a user runs it, with ports that lead nowhere, to a
// missing device, to a busy one, to a working one and to one the user may not
// open.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>
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

// A port that does not open is reported with the system's own reason;
// "busy" only when another program has locked the device or holds it
// exclusively.
TEST(Ports, AFailureIsReportedWithItsRealReason)
{
    TempDir dir;
    PseudoTerminal locked;
    PseudoTerminal exclusive;
    PseudoTerminal crowded;
    const int lockHolder = open(locked.DevicePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_EQ(flock(lockHolder, LOCK_EX | LOCK_NB), 0);
    const int exclusiveHolder = open(exclusive.DevicePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_EQ(ioctl(exclusiveHolder, TIOCEXCL), 0);
    const std::string lockedBy = "held by " + std::to_string(getpid());

    // A node left behind by an unplugged adapter: a device number no driver has.
    const std::string stale = dir.File("ttyUSB9");
    const bool haveStale = mknod(stale.c_str(), S_IFCHR | 0666, makedev(240, 77)) == 0;

    struct Case {
        const char* Name;
        std::string Device;
        std::vector<std::string> Prefix; // runs the tool through this
        std::string Expected;
    };
    std::vector<Case> cases = {
        { "no controlling terminal", "/dev/tty", { "setsid", "-w" },
            "no device behind this node: No such device or address" },
        { "vanished", dir.File("ttyACM3"), {}, "no such device" },
        { "locked by another program", locked.DevicePath(), {}, "busy: another program has locked it (" + lockedBy },
    };
#if !defined(__SANITIZE_ADDRESS__)
    // (The sanitizers' runtime needs descriptors of its own to check memory.)
    cases.push_back({ "out of descriptors", crowded.DevicePath(), { "prlimit", "--nofile=5" }, "Too many open files" });
#endif
    if (haveStale)
        cases.push_back({ "stale node", stale, {}, "no device behind this node" });
    if (geteuid() == 0 && access("/usr/bin/setpriv", X_OK) == 0) {
        // Admin rights pass the exclusive mode; an ordinary user meets it.
        chmod(exclusive.DevicePath().c_str(), 0666);
        cases.push_back({ "held exclusively", exclusive.DevicePath(),
            { "setpriv", "--reuid=65534", "--regid=65534", "--clear-groups" },
            "busy: another program has it open exclusively" });
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        std::vector<std::string> argv = c.Prefix;
        argv.push_back(ToolPath());
        argv.push_back("ports");
        ChildOptions options;
        options.Environment["ZOP5_COM1"] = c.Device;
        for (int n = 2; n <= 4; ++n)
            options.Environment["ZOP5_COM" + std::to_string(n)] = "";
        const ChildResult result = RunChild(argv, options);
        EXPECT_EQ(result.ExitCode, 1) << result.Out << result.Err;
        const std::string line = PortLine(result.Out, 1);
        EXPECT_NE(line.find(c.Expected), std::string::npos) << line << result.Err;
        if (c.Expected.find("busy") == std::string::npos) {
            EXPECT_EQ(line.find("busy"), std::string::npos) << line;
        }
    }
    close(lockHolder);
    close(exclusiveHolder);
}

TEST(Ports, TakesNoArguments)
{
    EXPECT_EQ(RunTool({ "ports", "COM1" }).ExitCode, 2);
    EXPECT_EQ(RunTool({ "ports", "--all" }).ExitCode, 2);
    EXPECT_EQ(RunTool({ "ports", "--probe" }).ExitCode, 2);
    EXPECT_EQ(RunTool({ "ports", "--map", "COM5", "/dev/ttyUSB0" }).ExitCode, 2);
    EXPECT_EQ(RunTool({ "ports", "--map", "COM1" }).ExitCode, 2);
    EXPECT_EQ(RunTool({ "ports", "--map", "COM1", "/dev/ttyUSB0", "--scan" }).ExitCode, 2);
    EXPECT_EQ(RunTool({ "ports", "--help" }).ExitCode, 0);
}

} // namespace
} // namespace zop::test
