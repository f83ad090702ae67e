// zop5-tool ports: which of COM1..COM4 open, where they lead, and why the
// others do not.
#include <cstdio>
#include <cstdlib>
#include <getopt.h>
#include <optional>
#include <string>
#include <string_view>

#include "comm/DevicePath.h"
#include "comm/VkPort.h"
#include "link/ComponentPort.h"
#include "tools/CommandLineWindow.h"
#include "tools/PortDiagnosis.h"
#include "tools/PortsScan.h"
#include "tools/ToolCommand.h"
#include "tools/ToolOptions.h"
#include "waveform/Cp1252.h"

namespace zop {

namespace {

constexpr std::string_view Help = R"(Usage: zop5-tool ports
       zop5-tool ports --scan [--probe] [--json] [--dev-root DIR] [--sys-root DIR]
       zop5-tool ports --map COMn DEVICE

Tries COM1..COM4 as the window does at start-up and lists each port with its
device, whether it opens and, if not, why: no device mapped, no such device,
not a serial device, no permission (with the group that owns the device and
how to join it) or busy (held by another program). The port the window would
listen on is marked.

A port maps to its device through the environment variable ZOP5_COMn, then
the configuration file (group [Ports]), then the defaults /dev/ttyUSB0,
/dev/ttyUSB1, /dev/ttyS0 and /dev/ttyS1; an empty value means no device.

--scan lists every serial device of the machine without opening any:
/dev/serial/by-id/* with the node each names, /dev/ttyUSB*, /dev/ttyACM*,
/dev/ttyAMA*, /dev/rfcomm* and /dev/ttyS*. For each: its by-id names, the
USB vendor and product id, manufacturer, product and serial number, the
kernel driver, owner, group and mode, whether you may open it (and the group
to join when not), which programs have it open or locked (also by a lock file
/run/lock/LCK..NAME, or ZOP5_LOCK_DIR), and which COMn maps to it. Then where
COM1..COM4 lead.
  --probe            also open each device to confirm (never ttyS* nor the
                     system console)
  --json             the same as one JSON document
  --dev-root DIR     look for devices in DIR instead of /dev (also ZOP5_DEV_ROOT)
  --sys-root DIR     read device details from DIR instead of /sys (also
                     ZOP5_SYS_ROOT)

--map COMn DEVICE writes the mapping into the configuration file's [Ports]
group, keeping its other settings; DEVICE need not be present yet, and a
/dev/serial/by-id/ path keeps the mapping when the adapter is plugged into
another socket. A relative path is stored as an absolute one. An empty
DEVICE ("") maps the port to no device.

Exit status: 0 when a port opens (--scan: a device was found; --map: the
mapping was written), 1 when none does, 2 usage error.
)";

// Where the mapping of a port comes from.
std::string MappingSource(int number)
{
    const std::string variable = "ZOP5_COM" + std::to_string(number);
    if (std::getenv(variable.c_str()))
        return "from " + variable;
    return "from " + PortConfigPath() + " or the default";
}

// Why the window's port component does not open COMn although its device
// opens (descriptors or memory for the port's threads, a setting the device
// refuses); empty when it opens now.
std::string PortFailure(int number)
{
    try {
        TVskComPort port;
        ApplyWindowPortSettings(port);
        port.SetComNumber(static_cast<uint16_t>(number));
        port.SetOpen(true);
        port.SetOpen(false);
        return {};
    } catch (const std::exception& error) {
        return error.what();
    }
}

} // namespace

int PortsCommand(int argc, char** argv)
{
    enum { ScanOption = 256, ProbeOption, JsonOption, DevRootOption, SysRootOption, MapOption };
    static const option options[] = {
        { "help", no_argument, nullptr, 'h' },
        { "scan", no_argument, nullptr, ScanOption },
        { "probe", no_argument, nullptr, ProbeOption },
        { "json", no_argument, nullptr, JsonOption },
        { "dev-root", required_argument, nullptr, DevRootOption },
        { "sys-root", required_argument, nullptr, SysRootOption },
        { "map", required_argument, nullptr, MapOption },
        { nullptr, 0, nullptr, 0 },
    };
    optind = 1;
    opterr = 0;
    bool scan = false;
    bool scanOptions = false;
    ProbeDevices probe = ProbeDevices::No;
    ScanFormat format = ScanFormat::Text;
    MachineRoots roots = RootsFromEnvironment();
    std::optional<std::string> map;
    for (int c; (c = getopt_long(argc, argv, ":h", options, nullptr)) != -1;) {
        switch (c) {
        case 'h':
            std::fwrite(Help.data(), 1, Help.size(), stdout);
            return ExitOk;
        case ScanOption:
            scan = true;
            break;
        case ProbeOption:
            probe = ProbeDevices::Yes;
            scanOptions = true;
            break;
        case JsonOption:
            format = ScanFormat::Json;
            scanOptions = true;
            break;
        case DevRootOption:
            roots.Dev = optarg;
            scanOptions = true;
            break;
        case SysRootOption:
            roots.Sys = optarg;
            scanOptions = true;
            break;
        case MapOption:
            map = optarg;
            break;
        default:
            return ReportUsageError("ports", std::string("unknown or incomplete option: ") + argv[optind - 1]);
        }
    }
    if (map) {
        if (scan || scanOptions)
            return ReportUsageError("ports", "--map does not go with --scan or its options");
        if (argc - optind != 1)
            return ReportUsageError("ports", "--map takes a port and one device path (\"\" for no device)");
        return MapPort(*map, argv[optind]);
    }
    if (optind < argc)
        return ReportUsageError("ports", std::string("unexpected argument: ") + argv[optind]);
    if (scanOptions && !scan)
        return ReportUsageError("ports", "--probe, --json, --dev-root and --sys-root go with --scan");
    if (scan)
        return PrintSerialScan(roots, probe, format);

    try {
        CommandLineWindow window;
        // The window's start-up probe: every port opened and closed, then the
        // first usable one opened.
        window.Model.Link().ProbePorts();
        const int listening = window.Model.CheckedPort();
        bool anyOpens = false;
        for (int number = 1; number <= 4; ++number) {
            const std::string port = "COM" + std::to_string(number);
            const std::string path = ResolveDevicePath(port);
            const bool opens = window.Model.Form()[ComItem(number)].Enabled;
            anyOpens = anyOpens || opens;
            std::string state;
            if (opens)
                state = number == listening ? "opens (the window listens here)" : "opens";
            else if (const DeviceDiagnosis why = DiagnoseDevice(port, path); why.What != DeviceDiagnosis::Kind::Opens)
                state = why.Text;
            else if (const std::string failure = PortFailure(number); !failure.empty())
                state = "the device opens, but the port does not: " + failure;
            else
                state = "did not open at the probe, but opens now (held for a moment by another program?)";
            std::printf("%s  %-20s %s  [%s]\n", port.c_str(), path.empty() ? "-" : path.c_str(), state.c_str(),
                MappingSource(number).c_str());
        }
        for (const std::string& message : window.Ui.Messages)
            std::fprintf(stderr, "%s\n", Cp1252ToUtf8(message).c_str());
        return anyOpens ? ExitOk : ExitFailure;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "zop5-tool ports: %s\n", FailureText(error));
        return ExitFailure;
    }
}

} // namespace zop
