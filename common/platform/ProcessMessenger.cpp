#include "platform/ProcessMessenger.h"

#include "diag/DbgLog.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

#include <sys/socket.h>
#include <unistd.h>

namespace {
// The name lives in the abstract namespace: no socket file to go stale or be taken, but any
// local user may bind or connect to it, so each side checks who is at the other end.
bool PeerIsThisUser(const QLocalSocket& socket)
{
    struct ucred cred {};
    socklen_t len = sizeof(cred);
    const auto fd = static_cast<int>(socket.socketDescriptor());
    return fd >= 0 && ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0 &&
           len == sizeof(cred) && cred.uid == ::geteuid();
}

bool ConnectToOurs(QLocalSocket& socket, const QString& name, int timeoutMs)
{
    socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    socket.connectToServer(name);
    if (!socket.waitForConnected(timeoutMs)) {
        return false;
    }
    if (!PeerIsThisUser(socket)) {
        socket.abort();
        return false;
    }
    return true;
}
}  // namespace

LocalSocketMessenger::LocalSocketMessenger(QString serverName, QObject* parent)
    : QObject(parent), m_serverName(std::move(serverName))
{
}

LocalSocketMessenger::~LocalSocketMessenger() = default;

QString LocalSocketMessenger::DefaultServerName()
{
    // Named after the temporary folder, like the lock file beside it, so a test (or a user)
    // with its own TMPDIR has its own client.
    return QDir::tempPath() + QStringLiteral("/ORVANTA_VEXA-74744AA9-DECA-4877-AC53-1703C170986A");
}

QByteArray LocalSocketMessenger::EncodeFrame(const QString& message, const QString& sender)
{
    QString clean = sender;
    clean.remove(QLatin1Char('\t')).remove(QLatin1Char('\n'));
    return (message + QLatin1Char('\t') + clean + QLatin1Char('\n')).toUtf8();
}

bool LocalSocketMessenger::DecodeFrame(const QByteArray& bytes, QString* message, QString* sender)
{
    if (!bytes.endsWith('\n') || bytes.count('\n') != 1) {
        return false;
    }
    const QString text = QString::fromUtf8(bytes.left(bytes.size() - 1));
    const qsizetype tab = text.indexOf(QLatin1Char('\t'));
    if (tab <= 0) {
        return false;
    }
    *message = text.left(tab);
    *sender = text.mid(tab + 1);
    return true;
}

bool LocalSocketMessenger::Serve(Handler handler)
{
    m_handler = std::move(handler);
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::AbstractNamespaceOption);
    if (!m_server->listen(m_serverName)) {
        // Another process has the name: this client cannot be reached by a second start.
        DBG_LOG_W(L"listen %ls failed: %ls", m_serverName.toStdWString().c_str(),
                  m_server->errorString().toStdWString().c_str());
        m_server.reset();
        return false;
    }
    connect(m_server.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            if (!PeerIsThisUser(*socket)) {
                socket->abort();  // another user's process: not ours to obey
                continue;
            }
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (!socket->canReadLine()) {
                    if (socket->bytesAvailable() > 4096) {
                        socket->abort();  // not one of ours
                    }
                    return;
                }
                QString message;
                QString sender;
                if (DecodeFrame(socket->readLine(4096), &message, &sender) && m_handler) {
                    m_handler(message, sender);
                }
                socket->disconnectFromServer();
            });
        }
    });
    return true;
}

bool LocalSocketMessenger::Send(const QString& message, const QString& sender)
{
    QLocalSocket socket;
    if (!ConnectToOurs(socket, m_serverName, 1000)) {
        return false;
    }
    socket.write(EncodeFrame(message, sender));
    const bool written = socket.waitForBytesWritten(1000);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) {
        socket.waitForDisconnected(1000);
    }
    return written;
}

bool LocalSocketMessenger::IsServed(const QString& serverName, int timeoutMs)
{
    QLocalSocket socket;
    const bool bOurs = ConnectToOurs(socket, serverName, timeoutMs);
    socket.abort();
    return bOurs;
}
