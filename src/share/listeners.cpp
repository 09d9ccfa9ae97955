// SPDX-License-Identifier: MIT
#include "listeners.h"

#include "logging.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace vantor::share {

namespace {

QString systemError(const QString &what)
{
    return QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno)));
}

// "*" for every interface, IPv6 addresses in brackets.
QString hostText(const QHostAddress &address)
{
    if (address == QHostAddress(QHostAddress::Any))
        return QStringLiteral("*");
    return address.protocol() == QAbstractSocket::IPv6Protocol
        ? QStringLiteral("[%1]").arg(address.toString())
        : address.toString();
}

QString peerText(const QTcpSocket &socket)
{
    return QStringLiteral("%1:%2").arg(hostText(socket.peerAddress())).arg(socket.peerPort());
}

} // namespace

// One pseudo-terminal: the share holds the controlling end and keeps a handle on the serial
// end, so that programs may open and close it without the line hanging up.
class PtyEnd : public QObject
{
public:
    static constexpr qsizetype kMaxPending = 4096;

    PtyEnd(ClientId id, ShareCore *core)
        : m_id(id)
        , m_core(core)
    {
    }
    ~PtyEnd() override
    {
        // Only a link that still points where this share put it.
        const QFileInfo info(m_linkPath);
        if (!m_linkPath.isEmpty() && info.isSymLink() && info.symLinkTarget() == m_serialPath)
            QFile::remove(m_linkPath);
        if (m_master >= 0)
            ::close(m_master);
        if (m_serial >= 0)
            ::close(m_serial);
    }

    bool start(const QString &linkPath, QString &error)
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        char name[128] = {};
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0
            || ::ptsname_r(m_master, name, sizeof name) != 0) {
            error = systemError(QStringLiteral("pseudo-terminal"));
            return false;
        }
        m_serialPath = QString::fromLocal8Bit(name);
        // Raw: no echo, no line editing, no flow-control or CR/LF bytes eaten.
        m_serial = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        termios tio {};
        if (m_serial < 0 || ::tcgetattr(m_serial, &tio) != 0) {
            error = systemError(m_serialPath);
            return false;
        }
        ::cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        ::cfsetispeed(&tio, B19200);
        ::cfsetospeed(&tio, B19200);
        ::tcsetattr(m_serial, TCSANOW, &tio);
        // Serial programs run in dialout, as for a real adapter.
        if (const group *dialout = ::getgrnam("dialout");
            !dialout || ::chown(name, static_cast<uid_t>(-1), dialout->gr_gid) != 0)
            qCInfo(lcShare).noquote() << m_serialPath << "stays in its own group:"
                                      << (dialout ? systemError(QStringLiteral("chown"))
                                                  : QStringLiteral("no group dialout"));
        if (::chmod(name, 0660) != 0) {
            error = systemError(QStringLiteral("chmod ") + m_serialPath);
            return false;
        }
        if (!pointLink(linkPath, error))
            return false;
        m_linkPath = linkPath;

        m_readNotifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
        connect(m_readNotifier, &QSocketNotifier::activated, this, &PtyEnd::onReadable);
        m_writeNotifier = new QSocketNotifier(m_master, QSocketNotifier::Write, this);
        m_writeNotifier->setEnabled(false);
        connect(m_writeNotifier, &QSocketNotifier::activated, this, &PtyEnd::flush);
        return true;
    }

    void send(const QByteArray &bytes)
    {
        m_pending += bytes;
        if (m_pending.size() > kMaxPending) {
            // Nobody is reading: keep the newest, a client that comes back discards it anyway.
            qCDebug(lcShare) << "dropped" << m_pending.size() - kMaxPending << "unread bytes for"
                             << m_linkPath;
            m_pending = m_pending.right(kMaxPending);
        }
        flush();
    }

private:
    bool pointLink(const QString &linkPath, QString &error)
    {
        const QFileInfo info(linkPath);
        if (info.exists() && !info.isSymLink()) {
            error = QStringLiteral("%1 exists and is not a symbolic link").arg(linkPath);
            return false;
        }
        // Renamed over an old link: the path is never missing while it is re-pointed.
        const QByteArray link = QFile::encodeName(linkPath);
        const QByteArray temporary = link + ".new" + QByteArray::number(::getpid());
        ::unlink(temporary.constData());
        if (::symlink(QFile::encodeName(m_serialPath).constData(), temporary.constData()) != 0
            || ::rename(temporary.constData(), link.constData()) != 0) {
            error = systemError(linkPath);
            ::unlink(temporary.constData());
            return false;
        }
        return true;
    }

    void onReadable()
    {
        char buffer[Listeners::kReadChunk];
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            m_core->clientBytes(m_id, QByteArrayView(buffer, n));
        } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            // Cannot happen while the serial end is held; never spin on it.
            qCWarning(lcShare).noquote() << systemError(m_linkPath);
            m_readNotifier->setEnabled(false);
        }
    }

    void flush()
    {
        m_writeNotifier->setEnabled(false);
        while (!m_pending.isEmpty()) {
            const ssize_t n
                = ::write(m_master, m_pending.constData(), static_cast<size_t>(m_pending.size()));
            if (n > 0) {
                m_pending.remove(0, n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            m_writeNotifier->setEnabled(true);
            return;
        }
    }

    ClientId m_id;
    ShareCore *m_core;
    int m_master = -1;
    int m_serial = -1;
    QString m_serialPath;
    QString m_linkPath;
    QByteArray m_pending;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
};

Listeners::Listeners(QObject *parent)
    : QObject(parent)
{
}

Listeners::~Listeners()
{
    for (auto &[id, socket] : m_tcpClients) {
        socket->disconnect(this);
        socket->abort();
    }
}

bool Listeners::listenTcp(const serial::ListenAddress &address, bool readOnly, QString &error)
{
    auto *server = new QTcpServer(this);
    if (!server->listen(address.address, address.port)) {
        error = server->errorString();
        delete server;
        return false;
    }
    server->setMaxPendingConnections(kMaxClients);
    connect(server, &QTcpServer::newConnection, this,
            [this, server, readOnly] { onNewConnection(server, readOnly); });
    m_servers.push_back(server);
    qCInfo(lcShare).noquote()
        << (readOnly ? "listening read-only on" : "listening on")
        << QStringLiteral("%1:%2").arg(hostText(address.address)).arg(server->serverPort());
    return true;
}

QList<quint16> Listeners::tcpPorts() const
{
    QList<quint16> ports;
    for (const QTcpServer *server : m_servers)
        ports.append(server->serverPort());
    return ports;
}

bool Listeners::addPty(const QString &path, QString &error)
{
    const ClientId id = m_nextId++;
    auto pty = std::make_unique<PtyEnd>(id, m_core);
    if (!pty->start(path, error))
        return false;
    m_ptys.emplace(id, std::move(pty));
    m_core->addClient(id, path, false);
    return true;
}

void Listeners::onNewConnection(QTcpServer *server, bool readOnly)
{
    while (QTcpSocket *socket = server->nextPendingConnection()) {
        const QString peer = peerText(*socket);
        if (m_tcpClients.size() + m_ptys.size() >= static_cast<std::size_t>(kMaxClients)) {
            qCInfo(lcShare).noquote()
                << "client" << peer << "refused: already" << kMaxClients << "clients";
            socket->abort();
            socket->deleteLater();
            continue;
        }
        const ClientId id = m_nextId++;
        socket->setParent(this);
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        socket->setReadBufferSize(kReadChunk);
        m_tcpClients.emplace(id, socket);
        m_core->addClient(id, peer, readOnly);
        connect(socket, &QTcpSocket::readyRead, this, [this, id, socket] {
            while (socket->bytesAvailable() > 0 && m_tcpClients.contains(id)) {
                const QByteArray bytes = socket->read(kReadChunk);
                m_core->clientBytes(id, bytes);
            }
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, id] { dropTcpClient(id, {}); });
    }
}

void Listeners::dropTcpClient(ClientId id, const QString &why)
{
    const auto it = m_tcpClients.find(id);
    if (it == m_tcpClients.end())
        return;
    QTcpSocket *socket = it->second;
    m_tcpClients.erase(it);
    if (!why.isEmpty())
        qCInfo(lcShare).noquote() << "client" << peerText(*socket) << "dropped:" << why;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    m_core->removeClient(id);
}

void Listeners::sendToClient(ClientId client, const QByteArray &bytes)
{
    if (const auto pty = m_ptys.find(client); pty != m_ptys.end()) {
        pty->second->send(bytes);
        return;
    }
    const auto it = m_tcpClients.find(client);
    if (it == m_tcpClients.end())
        return;
    it->second->write(bytes);
    if (it->second->bytesToWrite() > kMaxUnsentBytes) {
        // Dropped later, not inside the core's call.
        QMetaObject::invokeMethod(
            this, [this, client] { dropTcpClient(client, QStringLiteral("it does not read")); },
            Qt::QueuedConnection);
    }
}

} // namespace vantor::share
