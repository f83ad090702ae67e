// zop5-tool ports --scan and --map on a made-up machine: a device folder with
// a by-id link to a pseudo-terminal, an ACM node the user may not open, a
// node another program holds, and a ttyS node that is a FIFO (opening it
// would wait for ever), with the sysfs records of a USB adapter.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <set>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/TestEnvironment.h"
#include "tools/tests/ToolRunner.h"

namespace zop::test {
namespace {

using Json = nlohmann::json;

namespace fs = std::filesystem;

constexpr const char* AdapterName = "usb-Tracelet_ZOP5_Cable_TL0042-if00-port0";

class FakeMachine : public testing::Test {
protected:
    void SetUp() override
    {
        // Others (the user nobody) must see into it.
        chmod(m_root.Path().c_str(), 0755);
        Link(m_cable.DevicePath(), "dev/ttyUSB0");
        Link("../../ttyUSB0", std::string("dev/serial/by-id/") + AdapterName);
        Link(m_acm.DevicePath(), "dev/ttyACM0");
        Link(m_held.DevicePath(), "dev/ttyUSB1");
        ASSERT_EQ(mkfifo(Path("dev/ttyS0").c_str(), 0666), 0);
        ASSERT_EQ(mkfifo(Path("dev/ttyS1").c_str(), 0666), 0);

        // The USB adapter: its device, its interface and the tty under it.
        const std::string usb = "sys/devices/pci0000:00/0000:00:14.0/usb1/1-2";
        Write(usb + "/idVendor", "0403\n");
        Write(usb + "/idProduct", "6001\n");
        Write(usb + "/manufacturer", "Tracelet\n");
        Write(usb + "/product", "ZOP5 Cable\n");
        Write(usb + "/serial", "TL0042\n");
        fs::create_directories(Path("sys/bus/usb-serial/drivers/ftdi_sio"));
        fs::create_directories(Path("sys/bus/usb/drivers/cdc_acm"));
        fs::create_directories(Path(usb + "/1-2:1.0/ttyUSB0"));
        Link("../../../../../../../bus/usb-serial/drivers/ftdi_sio", usb + "/1-2:1.0/ttyUSB0/driver");
        Link("../../../devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/ttyUSB0", "sys/class/tty/ttyUSB0/device");
        const std::string modem = "sys/devices/pci0000:00/0000:00:14.0/usb1/1-3";
        Write(modem + "/idVendor", "2e8a\n");
        Write(modem + "/idProduct", "000a\n");
        fs::create_directories(Path(modem + "/1-3:1.0"));
        Link("../../../../../../bus/usb/drivers/cdc_acm", modem + "/1-3:1.0/driver");
        Link("../../../devices/pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0", "sys/class/tty/ttyACM0/device");
        // A terminal program (this test) left a lock file for the ACM node;
        // one that has ended left a stale one for the cable.
        Write("run/lock/LCK..ttyACM0", std::to_string(getpid()) + "\n");
        Write("run/lock/LCK..ttyUSB0", "2147483646\n");
        // A short process id in text takes as many bytes as a binary one.
        Write("run/lock/LCK..ttyUSB1", "  1\n");
        // ttyS0 has a serial chip, ttyS1 is a name the kernel reserves.
        Write("sys/class/tty/ttyS0/type", "4\n");
        Write("sys/class/tty/ttyS1/type", "0\n");
    }

    std::string Path(const std::string& relative) const { return m_root.File(relative); }
    void Link(const std::string& target, const std::string& at) const
    {
        fs::create_directories(fs::path(Path(at)).parent_path());
        fs::create_symlink(target, Path(at));
    }
    void Write(const std::string& relative, const std::string& text) const
    {
        fs::create_directories(fs::path(Path(relative)).parent_path());
        WriteBytes(Path(relative), text);
    }

    // zop5-tool ports ARGS on this machine, COM1 on the cable's by-id name and
    // COM2 on the held node; `prefix` runs it as another user.
    ChildResult Ports(std::vector<std::string> args, std::vector<std::string> prefix = {}) const
    {
        ChildOptions options;
        options.Environment["ZOP5_COM1"] = Path(std::string("dev/serial/by-id/") + AdapterName);
        options.Environment["ZOP5_COM2"] = Path("dev/ttyUSB1");
        options.Environment["ZOP5_COM3"] = "";
        options.Environment["ZOP5_COM4"] = "";
        options.Environment["ZOP5_SYS_ROOT"] = Path("sys");
        options.Environment["ZOP5_LOCK_DIR"] = Path("run/lock");
        prefix.push_back(ToolPath());
        prefix.push_back("ports");
        prefix.insert(prefix.end(), args.begin(), args.end());
        return RunChild(prefix, options);
    }

    // The device entry of `node` ("dev/ttyUSB0") in a JSON scan.
    const Json& Device(const Json& scan, const std::string& node) const
    {
        for (const Json& device : scan["devices"])
            if (device["node"].get<std::string>() == Path(node))
                return device;
        throw std::runtime_error("no entry for " + node);
    }

    TempDir m_root;
    PseudoTerminal m_cable;
    PseudoTerminal m_acm;
    PseudoTerminal m_held;
};

// Watches files for being opened, by anyone.
class OpenWatch {
public:
    OpenWatch()
        : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
    }
    ~OpenWatch() { close(m_fd); }
    void Add(const std::string& path, const std::string& name)
    {
        m_names[inotify_add_watch(m_fd, path.c_str(), IN_OPEN)] = name;
    }
    // The names of the files opened since the last call.
    std::set<std::string> Opened()
    {
        std::set<std::string> opened;
        alignas(inotify_event) char buffer[4096];
        for (ssize_t got; (got = read(m_fd, buffer, sizeof buffer)) > 0;)
            for (char* at = buffer; at < buffer + got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(at);
                opened.insert(m_names[event->wd]);
                at += sizeof(inotify_event) + event->len;
            }
        return opened;
    }

private:
    int m_fd;
    std::map<int, std::string> m_names;
};

TEST_F(FakeMachine, ScanDescribesEveryDeviceAndOpensNoneUnlessAsked)
{
    const int holder = open(m_held.DevicePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    OpenWatch watch;
    watch.Add(m_cable.DevicePath(), "cable");
    watch.Add(m_acm.DevicePath(), "acm");
    watch.Add(Path("dev/ttyS0"), "ttyS0");
    watch.Add(Path("dev/ttyS1"), "ttyS1");

    const ChildResult result = Ports({ "--scan", "--json", "--dev-root", Path("dev") });
    EXPECT_EQ(result.ExitCode, 0) << result.Err;
    EXPECT_EQ(watch.Opened(), std::set<std::string>());
    const Json scan = Json::parse(result.Out);
    SCOPED_TRACE(result.Out);

    const Json& cable = Device(scan, "dev/ttyUSB0");
    ASSERT_EQ(cable["by_id"].size(), 1u);
    EXPECT_EQ(cable["by_id"][0].get<std::string>(), Path(std::string("dev/serial/by-id/") + AdapterName));
    EXPECT_EQ(cable["usb"]["vendor_id"].get<std::string>(), "0403");
    EXPECT_EQ(cable["usb"]["product_id"].get<std::string>(), "6001");
    EXPECT_EQ(cable["usb"]["manufacturer"].get<std::string>(), "Tracelet");
    EXPECT_EQ(cable["usb"]["product"].get<std::string>(), "ZOP5 Cable");
    EXPECT_EQ(cable["usb"]["serial"].get<std::string>(), "TL0042");
    EXPECT_EQ(cable["driver"].get<std::string>(), "ftdi_sio");
    EXPECT_TRUE(cable["may_open"].get<bool>());
    EXPECT_FALSE(cable["busy"].get<bool>()) << "a stale lock file holds nothing";
    EXPECT_TRUE(cable["probe"].is_null());
    ASSERT_EQ(cable["ports"].size(), 1u);
    EXPECT_EQ(cable["ports"][0].get<std::string>(), "COM1");

    const Json& modem = Device(scan, "dev/ttyACM0");
    EXPECT_EQ(modem["driver"].get<std::string>(), "cdc_acm");
    EXPECT_TRUE(modem["busy"].get<bool>()) << "its lock file names a running program";
    EXPECT_EQ(modem["held_by"].at(0)["pid"].get<double>(), getpid());
    EXPECT_EQ(modem["usb"]["vendor_id"].get<std::string>(), "2e8a");
    EXPECT_TRUE(modem["ports"].empty());

    const Json& held = Device(scan, "dev/ttyUSB1");
    EXPECT_TRUE(held["busy"].get<bool>());
    EXPECT_TRUE(std::any_of(held["held_by"].begin(), held["held_by"].end(),
        [](const Json& holder) { return holder["pid"] == getpid() && holder["locks"] == true; }));
    EXPECT_TRUE(std::any_of(held["held_by"].begin(), held["held_by"].end(), [](const Json& holder) {
        return holder["pid"] == 1 && holder["locks"] == true;
    })) << "the lock file of process 1, four bytes of text";
    EXPECT_EQ(held["ports"][0].get<std::string>(), "COM2");

    const Json& console = Device(scan, "dev/ttyS0");
    EXPECT_TRUE(console["console"].get<bool>());
    EXPECT_FALSE(console["character_device"].get<bool>());
    EXPECT_THROW(Device(scan, "dev/ttyS1"), std::runtime_error); // no serial chip behind it
    EXPECT_EQ(scan["hidden_uartless"].get<double>(), 1);
    EXPECT_EQ(scan["ports"][0]["source"].get<std::string>(), "ZOP5_COM1");

    // Asked to, it opens each device but never a ttyS node, and finds the
    // lock by trying it.
    const ChildResult probed = Ports({ "--scan", "--probe", "--json", "--dev-root", Path("dev") });
    EXPECT_EQ(probed.ExitCode, 0) << probed.Err;
    const std::set<std::string> opened = watch.Opened();
    EXPECT_TRUE(opened.contains("acm") && opened.contains("cable")) << testing::PrintToString(opened);
    EXPECT_FALSE(opened.contains("ttyS0") || opened.contains("ttyS1")) << testing::PrintToString(opened);
    const Json after = Json::parse(probed.Out);
    SCOPED_TRACE(probed.Out);
    EXPECT_TRUE(Device(after, "dev/ttyUSB0")["probe"]["opens"].get<bool>());
    EXPECT_FALSE(Device(after, "dev/ttyUSB1")["probe"]["opens"].get<bool>());
    EXPECT_NE(Device(after, "dev/ttyUSB1")["probe"]["text"].get<std::string>().find("busy"), std::string::npos);
    EXPECT_TRUE(Device(after, "dev/ttyS0")["probe"].is_null());
    close(holder);

    // The text listing says the same.
    const ChildResult text = Ports({ "--scan", "--dev-root", Path("dev") });
    EXPECT_NE(text.Out.find("usb      0403:6001 Tracelet ZOP5 Cable, serial TL0042"), std::string::npos) << text.Out;
    EXPECT_NE(text.Out.find("never opened (may be the system console)"), std::string::npos) << text.Out;
    EXPECT_NE(text.Out.find("mapped   COM1"), std::string::npos) << text.Out;
}

TEST_F(FakeMachine, ScanTellsAUserWhoMayNotOpenANodeWhichGroupToJoin)
{
    if (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0)
        GTEST_SKIP() << "needs root to run the tool as another user";
    const group* dialout = getgrnam("dialout");
    if (!dialout)
        GTEST_SKIP() << "no group dialout on this machine";
    ASSERT_EQ(chown(m_acm.DevicePath().c_str(), 0, dialout->gr_gid), 0);
    ASSERT_EQ(chmod(m_acm.DevicePath().c_str(), 0660), 0);
    OpenWatch watch;
    watch.Add(m_acm.DevicePath(), "acm");

    setenv("ZOP5_DEV_ROOT", Path("dev").c_str(), 1); // the variable instead of the option
    const ChildResult result
        = Ports({ "--scan", "--json", "--probe" }, { "setpriv", "--reuid=65534", "--regid=65534", "--clear-groups" });
    unsetenv("ZOP5_DEV_ROOT");
    EXPECT_EQ(result.ExitCode, 0) << result.Err;
    const Json scan = Json::parse(result.Out);
    const Json& acm = Device(scan, "dev/ttyACM0");
    EXPECT_FALSE(acm["may_open"].get<bool>());
    EXPECT_EQ(acm["group"].get<std::string>(), "dialout");
    EXPECT_EQ(acm["mode"].get<std::string>(), "crw-rw----");
    EXPECT_NE(acm["permission_problem"].get<std::string>().find("sudo usermod -aG dialout nobody"), std::string::npos);
    EXPECT_FALSE(acm["probe"]["opens"].get<bool>());
    EXPECT_EQ(watch.Opened(), std::set<std::string>()); // known not to open: not tried
}

TEST_F(FakeMachine, MapWritesThePortIntoTheConfigurationKeepingTheRest)
{
    TempDir config;
    const std::string file = config.File("Tracelet ZOP5.ini");
    WriteBytes(file, "[Configuration]\nViewMode=Bar\n\n[Ports]\nCOM2=/dev/ttyUSB1\ncom1=/dev/old\n\n[Other]\nKey=1\n");
    ChildOptions options;
    options.Environment["XDG_CONFIG_HOME"] = config.Path();
    options.Environment["ZOP5_COM1"] = std::nullopt; // the configuration decides
    const std::string byId = Path(std::string("dev/serial/by-id/") + AdapterName);

    struct Step {
        std::vector<std::string> Args;
        std::string Expected; // the whole file afterwards
    };
    const std::vector<Step> steps = {
        { { "COM1", byId },
            "[Configuration]\nViewMode=Bar\n\n[Ports]\nCOM2=/dev/ttyUSB1\nCOM1=" + byId + "\n\n[Other]\nKey=1\n" },
        { { "com3", "/dev/serial/by-id/usb-A B,C" },
            "[Configuration]\nViewMode=Bar\n\n[Ports]\nCOM2=/dev/ttyUSB1\nCOM1=" + byId
                + "\nCOM3=\"/dev/serial/by-id/usb-A B,C\"\n\n[Other]\nKey=1\n" },
        { { "COM2", "" },
            "[Configuration]\nViewMode=Bar\n\n[Ports]\nCOM2=\nCOM1=" + byId
                + "\nCOM3=\"/dev/serial/by-id/usb-A B,C\"\n\n[Other]\nKey=1\n" },
    };
    for (const Step& step : steps) {
        std::vector<std::string> argv { ToolPath(), "ports", "--map" };
        argv.insert(argv.end(), step.Args.begin(), step.Args.end());
        const ChildResult result = RunChild(argv, options);
        EXPECT_EQ(result.ExitCode, 0) << result.Err;
        EXPECT_EQ(ReadBytes(file), step.Expected);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(config.Path()), fs::directory_iterator()), 1) << "no temporary left";

    // The port now leads to the cable, and a plugged-out device may be mapped.
    const ChildResult scan = RunChild({ ToolPath(), "ports", "--scan", "--json", "--dev-root", Path("dev") }, options);
    const Json mapped = Json::parse(scan.Out);
    EXPECT_EQ(Device(mapped, "dev/ttyUSB0")["ports"].at(0).get<std::string>(), "COM1");
    const ChildResult absent
        = RunChild({ ToolPath(), "ports", "--map", "COM4", "/dev/serial/by-id/usb-later" }, options);
    EXPECT_EQ(absent.ExitCode, 0);
    EXPECT_NE(absent.Err.find("not there now"), std::string::npos) << absent.Err;

    // A new file in a new folder; a configuration that is not a regular file
    // is left alone.
    options.Environment["XDG_CONFIG_HOME"] = config.File("new/folder");
    EXPECT_EQ(RunChild({ ToolPath(), "ports", "--map", "COM1", "/dev/ttyACM0" }, options).ExitCode, 0);
    EXPECT_EQ(ReadBytes(config.File("new/folder/Tracelet ZOP5.ini")), "[Ports]\nCOM1=/dev/ttyACM0\n");
    options.Environment["XDG_CONFIG_HOME"] = Path("dev");
    ASSERT_EQ(mkfifo(Path("dev/Tracelet ZOP5.ini").c_str(), 0600), 0);
    const ChildResult fifo = RunChild({ ToolPath(), "ports", "--map", "COM1", "/dev/ttyACM0" }, options);
    EXPECT_EQ(fifo.ExitCode, 1);
    EXPECT_NE(fifo.Err.find("not a configuration file"), std::string::npos) << fifo.Err;
}

} // namespace
} // namespace zop::test
