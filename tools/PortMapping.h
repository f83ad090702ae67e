#pragma once
// Writes which device a port leads to into the [Ports] group of the
// configuration file, keeping every other line of the file as it was. The
// file is replaced in one step (a temporary file renamed over it), so a
// reader never sees half of it and a failure leaves the old file.
#include <string>

namespace zop {

// Sets [Ports] COMn=device in the file at `configPath` (created with its
// folder when absent); an empty device maps the port to no device. A file
// that is not a regular file, or too large to be a configuration, is
// refused and left alone. Throws std::runtime_error with the reason.
void WritePortMapping(const std::string& configPath, int number, const std::string& device);

} // namespace zop
