#include "tools/PortsScan.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

#include "comm/DevicePath.h"
#include "tools/PortMapping.h"
#include "tools/ToolCommand.h"
#include "tools/ToolOptions.h"

namespace zop {

namespace {

std::string PortNames(const std::vector<int>& ports)
{
    std::string names;
    for (const int n : ports)
        names += (names.empty() ? "COM" : ", COM") + std::to_string(n);
    return names;
}

std::string Holding(const SerialDevice& device)
{
    if (device.Holders.empty())
        return "free";
    std::string locked;
    std::string open;
    for (const DeviceHolder& holder : device.Holders)
        (holder.Locks ? locked : open) += ((holder.Locks ? locked : open).empty() ? "" : ", ") + HolderText(holder);
    std::string text;
    if (!locked.empty())
        text = "busy: locked by " + locked;
    if (!open.empty())
        text += (text.empty() ? "open in " : "; also open in ") + open;
    return text;
}

std::string UsbText(const UsbIdentity& usb)
{
    std::string text = usb.VendorId + ":" + usb.ProductId;
    for (const std::string* part : { &usb.Manufacturer, &usb.Product })
        if (!part->empty())
            text += " " + *part;
    if (!usb.Serial.empty())
        text += ", serial " + usb.Serial;
    return text;
}

void PrintText(const ScanResult& scan)
{
    for (const SerialDevice& device : scan.Devices) {
        std::printf("%s\n", device.Node.c_str());
        for (const std::string& link : device.ById)
            std::printf("  by-id    %s\n", link.c_str());
        if (device.Usb)
            std::printf("  usb      %s\n", UsbText(*device.Usb).c_str());
        if (!device.Driver.empty())
            std::printf("  driver   %s\n", device.Driver.c_str());
        if (!device.Present) {
            std::printf("  state    no such device (is the adapter plugged in?)\n");
        } else {
            std::printf("  access   %s %s:%s, %s\n", device.Mode.c_str(), device.Owner.c_str(), device.Group.c_str(),
                device.PermissionProblem ? device.PermissionProblem->c_str() : "you may open it");
            std::printf("  state    %s\n", Holding(device).c_str());
        }
        if (device.Probe)
            std::printf("  probe    %s\n", device.Probe->Text.c_str());
        else if (device.Console)
            std::printf("  probe    never opened (may be the system console)\n");
        if (!device.Ports.empty())
            std::printf("  mapped   %s\n", PortNames(device.Ports).c_str());
    }
    if (scan.Devices.empty())
        std::printf("no serial devices found\n");
    if (scan.HiddenUartless > 0)
        std::printf("(%d ttyS nodes without a serial chip behind them not listed)\n", scan.HiddenUartless);
    std::printf("\n");
    for (const ComMapping& port : scan.Ports)
        std::printf(
            "COM%d  %-40s [%s]\n", port.Number, port.Device.empty() ? "-" : port.Device.c_str(), port.Source.c_str());
}

std::string Field(const char* name, const std::string& json, bool first = false)
{
    return std::string(first ? "" : ",") + "\"" + name + "\":" + json;
}

std::string JsonBool(bool value)
{
    return value ? "true" : "false";
}

std::string OptionalString(const std::optional<std::string>& text)
{
    return text ? JsonString(*text) : "null";
}

void PrintJson(const ScanResult& scan)
{
    std::string json = "{\"devices\":[";
    for (size_t i = 0; i < scan.Devices.size(); ++i) {
        const SerialDevice& device = scan.Devices[i];
        json += i ? ",{" : "{";
        json += Field("node", JsonString(device.Node), true);
        std::string links;
        for (const std::string& link : device.ById)
            links += (links.empty() ? "" : ",") + JsonString(link);
        json += Field("by_id", "[" + links + "]");
        if (device.Usb) {
            const UsbIdentity& usb = *device.Usb;
            json += Field("usb",
                "{" + Field("vendor_id", JsonString(usb.VendorId), true)
                    + Field("product_id", JsonString(usb.ProductId))
                    + Field("manufacturer", JsonString(usb.Manufacturer)) + Field("product", JsonString(usb.Product))
                    + Field("serial", JsonString(usb.Serial)) + "}");
        } else {
            json += Field("usb", "null");
        }
        json += Field("driver", device.Driver.empty() ? "null" : JsonString(device.Driver));
        json += Field("present", JsonBool(device.Present));
        json += Field("character_device", JsonBool(device.CharacterDevice));
        json += Field("mode", device.Present ? JsonString(device.Mode) : "null");
        json += Field("owner", device.Present ? JsonString(device.Owner) : "null");
        json += Field("group", device.Present ? JsonString(device.Group) : "null");
        json += Field("may_open", JsonBool(device.Present && !device.PermissionProblem));
        json += Field("permission_problem", OptionalString(device.PermissionProblem));
        json += Field("busy", JsonBool(device.Locked()));
        std::string holders;
        for (const DeviceHolder& holder : device.Holders)
            holders += std::string(holders.empty() ? "" : ",") + "{" + Field("pid", std::to_string(holder.Pid), true)
                + Field("command", JsonString(holder.Command)) + Field("locks", JsonBool(holder.Locks)) + "}";
        json += Field("held_by", "[" + holders + "]");
        json += Field("console", JsonBool(device.Console));
        json += Field("probe",
            device.Probe ? "{" + Field("opens", JsonBool(device.Probe->What == DeviceDiagnosis::Kind::Opens), true)
                    + Field("text", JsonString(device.Probe->Text)) + "}"
                         : "null");
        std::string ports;
        for (const int n : device.Ports)
            ports += (ports.empty() ? "" : ",") + JsonString("COM" + std::to_string(n));
        json += Field("ports", "[" + ports + "]") + "}";
    }
    json += "],\"ports\":[";
    for (size_t i = 0; i < scan.Ports.size(); ++i) {
        const ComMapping& port = scan.Ports[i];
        json += std::string(i ? "," : "") + "{" + Field("port", JsonString("COM" + std::to_string(port.Number)), true)
            + Field("device", port.Device.empty() ? "null" : JsonString(port.Device))
            + Field("source", JsonString(port.Source)) + "}";
    }
    json += "]" + Field("hidden_uartless", std::to_string(scan.HiddenUartless)) + "}\n";
    std::fwrite(json.data(), 1, json.size(), stdout);
}

} // namespace

int PrintSerialScan(const MachineRoots& roots, ProbeDevices probe, ScanFormat format)
{
    const ScanResult scan = ScanSerialDevices(roots, probe);
    if (format == ScanFormat::Json)
        PrintJson(scan);
    else
        PrintText(scan);
    return scan.Devices.empty() ? ExitFailure : ExitOk;
}

int MapPort(const std::string& port, const std::string& device)
{
    int number = 0;
    if (port.size() == 4 && (port[0] | 0x20) == 'c' && (port[1] | 0x20) == 'o' && (port[2] | 0x20) == 'm'
        && port[3] >= '1' && port[3] <= '4')
        number = port[3] - '0';
    if (number == 0)
        return ReportUsageError("ports", "--map takes COM1, COM2, COM3 or COM4, not '" + port + "'");
    for (const char c : device)
        if (static_cast<unsigned char>(c) < 0x20)
            return ReportUsageError("ports", "a device path with a control character cannot be stored");
    // A relative path would lead elsewhere from the window's folder.
    std::string stored = device;
    if (!stored.empty() && !stored.starts_with('/')) {
        char* cwd = getcwd(nullptr, 0);
        stored = std::string(cwd ? cwd : ".") + "/" + stored;
        std::free(cwd);
    }
    const std::string key = "COM" + std::to_string(number);
    const std::string config = PortConfigPath();
    try {
        WritePortMapping(config, number, stored);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "zop5-tool ports: %s\n", FailureText(error));
        return ExitFailure;
    }
    if (stored.empty())
        std::printf("%s maps to no device (written to %s)\n", key.c_str(), config.c_str());
    else
        std::printf("%s maps to %s (written to %s)\n", key.c_str(), stored.c_str(), config.c_str());
    if (std::getenv(("ZOP5_" + key).c_str()))
        std::fprintf(
            stderr, "zop5-tool ports: note: ZOP5_%s is set and takes precedence over the configuration\n", key.c_str());
    struct stat info { };
    if (!stored.empty() && stat(stored.c_str(), &info) != 0)
        std::fprintf(
            stderr, "zop5-tool ports: note: %s is not there now; the mapping applies once it is\n", stored.c_str());
    else if (!stored.empty())
        if (auto problem = PermissionProblem(stored, info))
            std::fprintf(stderr, "zop5-tool ports: note: %s\n", problem->c_str());
    return ExitOk;
}

} // namespace zop
