#pragma once
// The device layer over POSIX terminals (termios). Reads never block, the
// event wait is poll() on the device and a wake-up descriptor, and a device
// is opened exclusively (TIOCEXCL and flock) so that a port held by another
// program fails with "access denied" (5).
#include <termios.h>

#include "comm/DeviceProcs.h"

namespace zop {

DeviceProcs PosixDeviceProcs();
DeviceWaitProcs PosixWaitProcs();
void InstallPosixLayer();

// The Win32 error number the upper layers expect for an errno value
// (2 file not found, 3 path not found, 5 access denied, ...).
std::int32_t TranslateErrno(int error);

// The termios speed constant for a baud rate, or 0 when the rate is not one
// the terminal interface knows; and back (0 for B0 or an unknown constant).
unsigned SpeedForBaud(std::uint32_t baud);
std::uint32_t BaudForSpeed(unsigned speed);

// The settings record read from terminal settings; what termios cannot hold
// (thresholds, DTR control, ...) is taken from `shadow`.
DeviceSettings SettingsFromTermios(const termios& tio, const DeviceSettings& shadow);
// Raw binary terminal settings for a settings record; false (with the last
// device error set) when the record asks for what termios cannot do.
bool SettingsToTermios(const DeviceSettings& settings, termios& tio);

} // namespace zop
