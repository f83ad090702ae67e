#include "app/SingleInstance.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocalSocket>
#include <QRegularExpression>
#include <cstring>
#include <unistd.h>

namespace zop {

namespace {
// The window message number the instrument software has always used for
// this request; it travels as the request's text.
constexpr char kRestoreRequest[] = "restore 0x0400 0 0\n";
} // namespace

SingleInstance::SingleInstance(QString name, QObject* parent)
    : QObject(parent)
    , m_name(std::move(name))
{
    m_server.setSocketOptions(QLocalServer::AbstractNamespaceOption);
    connect(&m_server, &QLocalServer::newConnection, this, &SingleInstance::OnConnection);
    m_retry.setInterval(1000);
    connect(&m_retry, &QTimer::timeout, this, [this] {
        if (m_server.listen(m_name))
            m_retry.stop();
    });
}

QString SingleInstance::DefaultName(const QString& xDisplayOption)
{
    const QString exe = QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath();
    const QString display = DisplayKey(QGuiApplication::platformName(),
        xDisplayOption.isEmpty() ? qEnvironmentVariable("DISPLAY") : xDisplayOption,
        qEnvironmentVariable("WAYLAND_DISPLAY"), qEnvironmentVariable("XDG_RUNTIME_DIR"));
    // Hashed: a display name or socket path may be longer than a local
    // socket's name can be.
    const QByteArray hash
        = QCryptographicHash::hash((exe + QChar(0) + display).toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return QStringLiteral("TZop5Form-%1-%2").arg(getuid()).arg(QString::fromLatin1(hash));
}

QString SingleInstance::XDisplayOption(int argc, char** argv)
{
    QString display;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "-display") == 0 || std::strcmp(argv[i], "--display") == 0)
            display = QString::fromLocal8Bit(argv[++i]);
    return display;
}

QString SingleInstance::DisplayKey(
    const QString& platform, const QString& xDisplay, const QString& waylandDisplay, const QString& runtimeDir)
{
    if (platform == QLatin1String("xcb")) {
        // [host]:number[.screen]: the screen only picks the default screen of
        // the same server, and no host or "unix" is the local server's socket.
        // A named host (localhost included: through TCP it may be a forwarded
        // session's server) and other forms stay as written.
        static const QRegularExpression form(QStringLiteral("^([^:]*):([0-9]+)(\\.[0-9]+)?$"));
        const QRegularExpressionMatch m = form.match(xDisplay);
        if (!m.hasMatch())
            return QStringLiteral("x11:") + xDisplay;
        const QString host = m.captured(1) == QLatin1String("unix") ? QString() : m.captured(1);
        return QStringLiteral("x11:%1:%2").arg(host, m.captured(2));
    }
    if (platform.startsWith(QLatin1String("wayland"))) {
        // The compositor's socket: WAYLAND_DISPLAY (default "wayland-0"),
        // relative to XDG_RUNTIME_DIR unless it is a path of its own.
        QString socket = waylandDisplay.isEmpty() ? QStringLiteral("wayland-0") : waylandDisplay;
        if (!QDir::isAbsolutePath(socket) && !runtimeDir.isEmpty())
            socket = runtimeDir + QLatin1Char('/') + socket;
        return QStringLiteral("wayland:") + QDir::cleanPath(socket);
    }
    return platform;
}

bool SingleInstance::RequestRestore(int timeoutMs)
{
    QLocalSocket socket;
    socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(kRestoreRequest);
    const bool sent = socket.waitForBytesWritten(timeoutMs);
    socket.disconnectFromServer();
    return sent;
}

bool SingleInstance::Listen()
{
    if (m_server.listen(m_name))
        return true;
    m_retry.start();
    return false;
}

void SingleInstance::OnConnection()
{
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->canReadLine())
                if (socket->readLine() == kRestoreRequest)
                    emit RestoreRequested();
        });
    }
}

} // namespace zop
