#pragma once
// Where a port name leads on this machine. "COMn" (also written "\\.\COMn")
// is looked up in the environment variable ZOP5_COMn, then in the group
// [Ports] of "$XDG_CONFIG_HOME/Tracelet ZOP5.ini" (default ~/.config), then
// in the built-in defaults for COM1..COM4. An empty result means "no device".
// Any other name is a device path already and is used as it is.
#include <string>

namespace zop {

std::string ResolveDevicePath(const std::string& name);

// The configuration file that holds the [Ports] group.
std::string PortConfigPath();

} // namespace zop
