#pragma once
// Lets the Qt event loop deliver the serial library's messages. The port
// component raises its trigger events on the thread that opened the port,
// when that thread handles its queued messages; one CommMessagePump on the
// window thread does that from the event loop, modal dialogs' loops included.
#include <QObject>
#include <QSocketNotifier>

namespace zop {

class CommMessagePump : public QObject {
    Q_OBJECT
public:
    // Watches the calling thread's message queue; create it on the window thread.
    explicit CommMessagePump(QObject* parent = nullptr);

    // Handles every message waiting now; returns how many.
    int PumpNow();

private:
    QSocketNotifier m_notifier;
};

} // namespace zop
