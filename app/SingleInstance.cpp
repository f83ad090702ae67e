#include "app/SingleInstance.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFileInfo>
#include <QLocalSocket>
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

QString SingleInstance::DefaultName()
{
    const QString exe = QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath();
    const QByteArray hash = QCryptographicHash::hash(exe.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return QStringLiteral("TZop5Form-%1-%2").arg(getuid()).arg(QString::fromLatin1(hash));
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
