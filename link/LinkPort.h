#pragma once
// The serial port as the link uses it: the window's port component with its
// number, its open state, its data triggers and the bytes it received. Every
// operation that fails throws (the component's exception family).
#include <cstdint>
#include <string_view>

namespace zop {

class LinkPort {
public:
    virtual ~LinkPort() = default;

    virtual uint16_t ComNumber() const = 0;
    // An open port moves to the new number and keeps its triggers.
    virtual void SetComNumber(uint16_t number) = 0;
    virtual bool Open() const = 0;
    // Closing keeps the triggers; opening again restores them.
    virtual void SetOpen(bool open) = 0;
    // Arms a data trigger; returns its handle.
    virtual uint16_t AddDataTrigger(std::string_view data, bool ignoreCase) = 0;
    // The handle of an armed data trigger with this pattern and case rule,
    // kept across closes and moves; 0 when there is none.
    virtual uint16_t FindDataTrigger(std::string_view data, bool ignoreCase) const = 0;
    // Takes one received byte.
    virtual uint8_t GetChar() = 0;
    // True while the port is open on a device that has vanished since (the
    // instrument's cable pulled, an adapter unplugged).
    virtual bool DeviceLost() const = 0;
};

} // namespace zop
