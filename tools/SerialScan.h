#pragma once
// Every serial device of the machine, found by name under the device folder
// and described from the system's own records (sysfs, /proc), without
// opening any of them unless asked. Nodes named ttyS* and the active console
// are never opened: on many machines one of them is the console.
#include <optional>
#include <string>
#include <vector>

#include "tools/PortDiagnosis.h"

namespace zop {

// Where the machine's folders are; tests point them at a made-up machine.
struct MachineRoots {
    std::string Dev = "/dev";
    std::string Sys = "/sys";
    std::string Proc = "/proc";
    // Where terminal programs leave lock files "LCK..ttyUSB0" holding their
    // process id (/var/lock is a link to it on current systems).
    std::string Lock = "/run/lock";
};

// The roots from ZOP5_DEV_ROOT, ZOP5_SYS_ROOT and ZOP5_LOCK_DIR, else the
// system's.
MachineRoots RootsFromEnvironment();

struct UsbIdentity {
    std::string VendorId; // four hex digits, as sysfs has them
    std::string ProductId;
    std::string Manufacturer;
    std::string Product;
    std::string Serial;
};

struct SerialDevice {
    std::string Node; // its path under the device folder
    std::vector<std::string> ById; // links in serial/by-id naming it
    std::optional<UsbIdentity> Usb;
    std::string Driver; // kernel driver, empty when sysfs does not say
    bool Present = false; // the node exists (a by-id link may lead nowhere)
    bool CharacterDevice = false;
    std::string Mode; // "crw-rw----"
    std::string Owner;
    std::string Group;
    std::optional<std::string> PermissionProblem; // with the group to join
    std::vector<DeviceHolder> Holders; // other programs that have it open or locked
    bool Console = false; // never opened
    std::vector<int> Ports; // the COM numbers that map to it
    std::optional<DeviceDiagnosis> Probe; // when asked to open it

    bool Locked() const;
};

struct ComMapping {
    int Number = 0;
    std::string Device; // empty: no device
    std::string Source; // "ZOP5_COM1", the configuration file, or "default"
};

struct ScanResult {
    std::vector<SerialDevice> Devices;
    std::vector<ComMapping> Ports; // COM1..COM4
    int HiddenUartless = 0; // ttyS nodes whose sysfs says no UART is there
};

enum class ProbeDevices { No, Yes };

ScanResult ScanSerialDevices(const MachineRoots& roots, ProbeDevices probe);

// Where COMn leads now and what says so.
ComMapping PortMapping(int number);

} // namespace zop
