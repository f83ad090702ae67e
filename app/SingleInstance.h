#pragma once
// Finds a running copy of the program started from the same executable and
// asks it to restore its window and come to the front. The new copy still
// opens its own window afterwards.
#include <QLocalServer>
#include <QObject>
#include <QString>
#include <QTimer>

namespace zop {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // The name is derived from the user and the executable's path, so copies
    // started from another build or by another user are strangers.
    explicit SingleInstance(QString name = DefaultName(), QObject* parent = nullptr);

    static QString DefaultName();

    // Sends the restore request to a running copy; true when one took it.
    bool RequestRestore(int timeoutMs = 1000);
    // Starts answering the restore requests of later copies. When another
    // copy already answers them (the first keeps the name; the name is freed
    // when that copy ends, crashed or not), this one returns false and takes
    // the name over once it is free, so a later copy still finds a running
    // one after the first has ended.
    bool Listen();
    bool Listening() const { return m_server.isListening(); }
    // How often a copy without the name tries to take it (default 1 s).
    void SetListenRetryInterval(int milliseconds) { m_retry.setInterval(milliseconds); }

signals:
    void RestoreRequested();

private:
    void OnConnection();

    QString m_name;
    QLocalServer m_server;
    QTimer m_retry;
};

} // namespace zop
