#pragma once
// The window's serial port component as the link's port, and the component's
// settings as the main window sets them.
#include "comm/VkPort.h"
#include "link/LinkPort.h"

namespace zop {

class ComponentPort final : public LinkPort {
public:
    explicit ComponentPort(TVskComPort& component)
        : m_component(component)
    {
    }

    uint16_t ComNumber() const override { return m_component.ComNumber(); }
    void SetComNumber(uint16_t number) override { m_component.SetComNumber(number); }
    bool Open() const override { return m_component.Open(); }
    bool DeviceLost() const override { return m_component.DeviceLost(); }
    void SetOpen(bool open) override { m_component.SetOpen(open); }
    uint16_t AddDataTrigger(std::string_view data, bool ignoreCase) override;
    uint16_t FindDataTrigger(std::string_view data, bool ignoreCase) const override;
    uint8_t GetChar() override { return static_cast<uint8_t>(m_component.GetChar()); }

private:
    TVskComPort& m_component;
};

// The main window's settings of its port: 9600 baud, no parity, 8 data bits,
// 1 stop bit, 4096-byte queues, XON/XOFF flow control on receive with the
// thresholds 3686 and 409, DTR and RTS raised, every batch of received bytes
// announced, opened only by the port probing (COM2 until then). Call while
// the port is closed.
void ApplyWindowPortSettings(TVskComPort& component);

} // namespace zop
