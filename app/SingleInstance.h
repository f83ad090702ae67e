#pragma once
// Finds a running copy of the program started from the same executable on
// the same display and asks it to restore its window and come to the front.
// The new copy still opens its own window afterwards.
#include <QLocalServer>
#include <QObject>
#include <QString>
#include <QTimer>

namespace zop {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(QString name, QObject* parent = nullptr);

    // The name is derived from the user, the executable's path and the
    // display the window shows on, so copies started from another build, by
    // another user or in another session (a second X server, a remote
    // desktop) are strangers. `xDisplayOption` is the -display given on the
    // command line (read before the application takes it out), else empty.
    static QString DefaultName(const QString& xDisplayOption);
    // The value of -display (or --display) in the command line, else empty.
    static QString XDisplayOption(int argc, char** argv);
    // Which display a copy shows its window on, from the window system in
    // use: "x11:" and the X display, spellings of one local server made
    // alike (":1", ":1.0", "unix:1" and "unix:1.0" give ":1"); "wayland:"
    // and the compositor's socket path; any other window system (offscreen,
    // a framebuffer) its own name.
    static QString DisplayKey(
        const QString& platform, const QString& xDisplay, const QString& waylandDisplay, const QString& runtimeDir);

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
