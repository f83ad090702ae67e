// zop5-tool ports: which of COM1..COM4 open, where they lead, and why the
// others do not.
#include <cstdio>
#include <cstdlib>
#include <getopt.h>
#include <string>
#include <string_view>

#include "comm/DevicePath.h"
#include "document/Cp1252.h"
#include "tools/HeadlessLink.h"
#include "tools/HeadlessWindow.h"
#include "tools/PortDiagnosis.h"
#include "tools/ToolCommand.h"
#include "tools/ToolOptions.h"

namespace zop {

namespace {

constexpr std::string_view Help = R"(Usage: zop5-tool ports

Tries COM1..COM4 as the window does at start-up and lists each port with its
device, whether it opens and, if not, why: no device mapped, no such device,
not a serial device, no permission (with the group that owns the device and
how to join it) or busy (held by another program). The port the window would
listen on is marked.

A port maps to its device through the environment variable ZOP5_COMn, then
the configuration file (group [Ports]), then the defaults /dev/ttyUSB0,
/dev/ttyUSB1, /dev/ttyS0 and /dev/ttyS1; an empty value means no device.

Exit status: 0 when a port opens, 1 when none does, 2 usage error.
)";

// Where the mapping of a port comes from.
std::string MappingSource(int number)
{
    const std::string variable = "ZOP5_COM" + std::to_string(number);
    if (std::getenv(variable.c_str()))
        return "from " + variable;
    return "from " + PortConfigPath() + " or the default";
}

} // namespace

int PortsCommand(int argc, char** argv)
{
    static const option options[] = {
        { "help", no_argument, nullptr, 'h' },
        { nullptr, 0, nullptr, 0 },
    };
    optind = 1;
    opterr = 0;
    for (int c; (c = getopt_long(argc, argv, ":h", options, nullptr)) != -1;) {
        if (c == 'h') {
            std::fwrite(Help.data(), 1, Help.size(), stdout);
            return ExitOk;
        }
        return ReportUsageError("ports", std::string("unknown or incomplete option: ") + argv[optind - 1]);
    }
    if (optind < argc)
        return ReportUsageError("ports", std::string("unexpected argument: ") + argv[optind]);

    try {
        HeadlessWindow window;
        HeadlessLink link(window);
        // The window's start-up probe: every port opened and closed, then the
        // first usable one opened.
        link.Commands().ProbePorts();
        const int listening = link.CheckedPort();
        bool anyOpens = false;
        for (int number = 1; number <= 4; ++number) {
            const std::string port = "COM" + std::to_string(number);
            const std::string path = ResolveDevicePath(port);
            const bool opens = window.Form()[ComItem(number)].Enabled;
            anyOpens = anyOpens || opens;
            std::string state;
            if (opens)
                state = number == listening ? "opens (the window listens here)" : "opens";
            else
                state = DiagnoseDevice(port, path).Text;
            std::printf("%s  %-20s %s  [%s]\n", port.c_str(), path.empty() ? "-" : path.c_str(), state.c_str(),
                MappingSource(number).c_str());
        }
        for (const std::string& message : window.Ui().Messages)
            std::fprintf(stderr, "%s\n", Cp1252ToUtf8(message).c_str());
        return anyOpens ? ExitOk : ExitFailure;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "zop5-tool ports: %s\n", error.what());
        return ExitFailure;
    }
}

} // namespace zop
