// SPDX-License-Identifier: MIT
#include "boardserver.h"

#include "logging.h"
#include "simulatedboard.h"

#include <QFile>
#include <QSocketNotifier>
#include <QTcpSocket>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace vantor::sim {

QString peerText(const QHostAddress &address, quint16 port)
{
    QHostAddress plain = address;
    bool mapped = false;
    const quint32 v4 = address.toIPv4Address(&mapped);
    if (mapped)
        plain = QHostAddress(v4);
    const QString host = plain.protocol() == QAbstractSocket::IPv6Protocol
        ? QStringLiteral("[%1]").arg(plain.toString())
        : plain.toString();
    return QStringLiteral("%1:%2").arg(host).arg(port);
}

BoardServer::BoardServer(SimulatedBoard &board, QObject *parent)
    : QObject(parent)
    , m_board(board)
{
    connect(&m_server, &QTcpServer::newConnection, this, &BoardServer::onNewConnection);
}

BoardServer::~BoardServer()
{
    close();
}

QByteArray BoardServer::refusal(const QString &holder)
{
    return QStringLiteral("vantor-sim: port already in use by %1; one client at a time\r\n")
        .arg(holder)
        .toLatin1();
}

bool BoardServer::listen(const QHostAddress &address, quint16 port)
{
    close();
    m_errorString.clear();
    const QByteArray path = QFile::encodeName(m_board.serialPath());
    m_serialFd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_serialFd < 0) {
        m_errorString = QStringLiteral("%1: %2").arg(m_board.serialPath(),
                                                     QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    if (!m_server.listen(address, port)) {
        m_errorString = m_server.errorString();
        closeSerial();
        return false;
    }
    m_serialRead = new QSocketNotifier(m_serialFd, QSocketNotifier::Read, this);
    connect(m_serialRead, &QSocketNotifier::activated, this, &BoardServer::onSerialReadable);
    m_serialWrite = new QSocketNotifier(m_serialFd, QSocketNotifier::Write, this);
    m_serialWrite->setEnabled(false);
    connect(m_serialWrite, &QSocketNotifier::activated, this, &BoardServer::onSerialWritable);
    qCInfo(lcSim).noquote() << "serving the board as raw TCP on"
                            << peerText(m_server.serverAddress(), m_server.serverPort());
    return true;
}

void BoardServer::close()
{
    m_server.close();
    if (m_client) {
        disconnect(m_client, nullptr, this, nullptr);
        m_client->abort();
        m_client->deleteLater();
        m_client = nullptr;
    }
    closeSerial();
}

void BoardServer::closeSerial()
{
    for (QSocketNotifier *notifier : { m_serialRead, m_serialWrite }) {
        if (notifier) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
    }
    m_serialRead = nullptr;
    m_serialWrite = nullptr;
    if (m_serialFd >= 0)
        ::close(m_serialFd);
    m_serialFd = -1;
    m_toBoard.clear();
}

void BoardServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        const QString peer = peerText(socket->peerAddress(), socket->peerPort());
        if (m_client) {
            qCInfo(lcSim).noquote()
                << "refused" << peer << "- the board is in use by" << m_clientPeer;
            socket->write(refusal(m_clientPeer));
            socket->disconnectFromHost();
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            emit clientRefused(peer);
            continue;
        }
        m_client = socket;
        m_clientPeer = peer;
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(socket, &QTcpSocket::readyRead, this, &BoardServer::onClientReadable);
        connect(socket, &QTcpSocket::disconnected, this, &BoardServer::onClientGone);
        qCInfo(lcSim).noquote() << "client" << peer << "connected";
        emit clientConnected(peer);
    }
}

void BoardServer::onClientReadable()
{
    if (m_client)
        writeToBoard(m_client->readAll());
}

void BoardServer::onClientGone()
{
    if (!m_client)
        return;
    QTcpSocket *gone = std::exchange(m_client, nullptr);
    disconnect(gone, nullptr, this, nullptr);
    gone->deleteLater();
    m_toBoard.clear();
    qCInfo(lcSim).noquote() << "client" << m_clientPeer << "disconnected";
    emit clientDisconnected(std::exchange(m_clientPeer, {}));
}

void BoardServer::writeToBoard(const QByteArray &bytes)
{
    m_toBoard += bytes;
    onSerialWritable();
}

void BoardServer::onSerialWritable()
{
    while (!m_toBoard.isEmpty() && m_serialFd >= 0) {
        const ssize_t n = ::write(m_serialFd, m_toBoard.constData(), m_toBoard.size());
        if (n > 0) {
            m_toBoard.remove(0, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break;
    }
    if (m_serialWrite)
        m_serialWrite->setEnabled(!m_toBoard.isEmpty());
}

void BoardServer::onSerialReadable()
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_serialFd, buffer, sizeof buffer);
        if (n > 0) {
            if (m_client) {
                m_client->write(buffer, n);
                m_client->flush();
            }
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
            // The board's line went away (it hung up): never spin on it.
            qCWarning(lcSim) << "the board's line closed";
            if (m_serialRead)
                m_serialRead->setEnabled(false);
        }
        break;
    }
}

} // namespace vantor::sim
