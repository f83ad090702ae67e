#include "app/CommMessagePump.h"

#include "comm/MessageWindow.h"

namespace zop {

CommMessagePump::CommMessagePump(QObject* parent)
    : QObject(parent)
    , m_notifier(MessageWakeDescriptor(), QSocketNotifier::Read)
{
    connect(&m_notifier, &QSocketNotifier::activated, this, [this] { PumpNow(); });
}

int CommMessagePump::PumpNow()
{
    try {
        return PumpMessages();
    } catch (...) {
        // A window procedure that lets a failure escape must not end the
        // event loop; the port component's own procedure never does.
        return 0;
    }
}

} // namespace zop
