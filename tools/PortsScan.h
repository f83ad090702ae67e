#pragma once
// The parts of `zop5-tool ports` that look beyond COM1..COM4: the list of
// every serial device of the machine, and writing a port's mapping.
#include <string>

#include "tools/SerialScan.h"

namespace zop {

enum class ScanFormat { Text, Json };

// Prints the devices and the four ports' mappings; the exit status.
int PrintSerialScan(const MachineRoots& roots, ProbeDevices probe, ScanFormat format);

// Maps `port` ("COM1".."COM4", any letter case) to `device`; the exit status.
int MapPort(const std::string& port, const std::string& device);

} // namespace zop
