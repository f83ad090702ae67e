#pragma once
// The link's serial port for tests, in miniature: ports that open or not,
// data triggers kept across closes and moves (at most 20), the bytes waiting
// to be taken, and a log of opens and closes.
#include <algorithm>
#include <deque>
#include <functional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "link/LinkPort.h"

namespace zop::test {

// A port component in miniature: ports that open or not, triggers kept across
// closes and moves, a limit of 20 data triggers, bytes waiting to be taken.
class FakeLinkPort final : public LinkPort {
public:
    std::set<uint16_t> Usable; // the numbers that open
    int OpensLeft = 1000; // opens that succeed before every further one fails
    std::vector<std::string> Triggers; // handle 2 + position
    std::deque<uint8_t> Input;
    bool Lost = false; // the open port's device has vanished
    std::vector<std::string> Log; // "open 3", "close 3"

    uint16_t ComNumber() const override { return m_number; }
    void SetComNumber(uint16_t number) override
    {
        if (number == m_number)
            return;
        const bool wasOpen = m_open;
        if (wasOpen)
            SetOpen(false);
        m_number = number;
        if (wasOpen)
            SetOpen(true);
    }
    bool Open() const override { return m_open; }
    void SetOpen(bool open) override
    {
        if (open == m_open)
            return;
        if (open && (!Usable.contains(m_number) || OpensLeft-- <= 0))
            throw std::runtime_error("cannot open");
        m_open = open;
        Log.push_back((open ? "open " : "close ") + std::to_string(m_number));
    }
    uint16_t AddDataTrigger(std::string_view data, bool) override
    {
        if (Triggers.size() >= 20)
            throw std::runtime_error("no trigger slot free");
        Triggers.emplace_back(data);
        return static_cast<uint16_t>(Triggers.size() + 1);
    }
    uint16_t FindDataTrigger(std::string_view data, bool) const override
    {
        for (size_t i = 0; i < Triggers.size(); ++i)
            if (Triggers[i] == data)
                return static_cast<uint16_t>(i + 2);
        return 0;
    }
    bool DeviceLost() const override { return m_open && Lost; }
    uint8_t GetChar() override
    {
        if (Input.empty())
            throw std::runtime_error("input buffer empty");
        const uint8_t byte = Input.front();
        Input.pop_front();
        return byte;
    }
    int LineEndTriggers() const { return static_cast<int>(std::count(Triggers.begin(), Triggers.end(), "\r")); }

private:
    uint16_t m_number = 0;
    bool m_open = false;
};

// Feeds `bytes` as the port component would announce them: the bytes of a
// line, then the line end to every line-end trigger armed, then the line end
// itself (taken and dropped). A closed port receives nothing.
inline void Receive(FakeLinkPort& port, std::string_view bytes, const std::function<void(uint16_t)>& available,
    const std::function<void(uint16_t)>& lineEnd)
{
    std::string pending;
    for (const char c : bytes) {
        if (!port.Open())
            return;
        if (c != '\r') {
            pending += c;
            continue;
        }
        port.Input.insert(port.Input.end(), pending.begin(), pending.end());
        available(static_cast<uint16_t>(pending.size()));
        pending.clear();
        for (size_t i = 0; i < port.Triggers.size(); ++i)
            if (port.Triggers[i] == "\r")
                lineEnd(static_cast<uint16_t>(i + 2));
        port.Input.push_back('\r');
        available(1);
    }
}

} // namespace zop::test
