#pragma once
// Why a serial device does not open, in words a user can act on: no device
// mapped, nothing at that path, not a terminal, no permission (naming the
// group that owns the device and how to join it), or held by another program.
#include <string>

namespace zop {

struct DeviceDiagnosis {
    enum class Kind { NoDevice, Missing, NotATerminal, NoPermission, Busy };
    Kind What = Kind::Busy;
    std::string Text; // one line, UTF-8
};

// Looks at `path` after opening it failed. `port` ("COM1") names the
// environment variable in the advice for an unmapped port.
DeviceDiagnosis DiagnoseDevice(const std::string& port, const std::string& path);

} // namespace zop
