// SPDX-License-Identifier: MIT
#include "metricsserver.h"

#include "logging.h"

#include <QTcpSocket>
#include <QTimer>

namespace vantor::cli {

namespace {

using namespace Qt::Literals::StringLiterals;

QByteArray response(int status, const QByteArray &reason, const QByteArray &body,
                    const QByteArray &extraHeaders = {})
{
    const QByteArray type
        = status == 200 ? "text/plain; version=0.0.4; charset=utf-8" : "text/plain; charset=utf-8";
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\nContent-Type: " + type
        + "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n" + extraHeaders
        + "Connection: close\r\n\r\n" + body;
}

QByteArray error(int status, const QByteArray &reason, const QByteArray &extraHeaders = {})
{
    return response(status, reason, reason + '\n', extraHeaders);
}

// The end of the request head, or -1 while it is incomplete. Bare line feeds are accepted.
qsizetype headEnd(const QByteArray &buffer)
{
    const qsizetype crlf = buffer.indexOf("\r\n\r\n");
    const qsizetype lf = buffer.indexOf("\n\n");
    if (crlf < 0)
        return lf < 0 ? -1 : lf + 2;
    return lf < 0 || crlf < lf ? crlf + 4 : lf + 2;
}

} // namespace

MetricsServer::MetricsServer(QObject *parent)
    : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &MetricsServer::onNewConnection);
}

bool MetricsServer::listen(const QHostAddress &address, quint16 port)
{
    return m_server.listen(address, port);
}

QByteArray MetricsServer::respond(const QByteArray &head) const
{
    const qsizetype lineEnd = head.indexOf('\n');
    const QByteArray line = head.left(lineEnd).trimmed();
    const QList<QByteArray> parts = line.split(' ');
    if (parts.size() != 3 || parts[0].isEmpty() || !parts[1].startsWith('/'))
        return error(400, "Bad Request");
    if (parts[2] != "HTTP/1.0" && parts[2] != "HTTP/1.1") {
        if (!parts[2].startsWith("HTTP/"))
            return error(400, "Bad Request");
        return error(505, "HTTP Version Not Supported");
    }
    if (parts[0] != "GET")
        return error(405, "Method Not Allowed", "Allow: GET\r\n");
    const qsizetype query = parts[1].indexOf('?');
    const QByteArray path = query < 0 ? parts[1] : parts[1].left(query);
    if (path != "/metrics")
        return error(404, "Not Found");
    return response(200, "OK", m_text);
}

void MetricsServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        if (m_connections >= kMaxConnections) {
            qCInfo(lcCli) << "too many connections: dropped one";
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++m_connections;
        // The deadline covers the whole exchange: a slow request, or a client that never
        // reads the answer, cannot hold the connection longer.
        auto *deadline = new QTimer(socket);
        deadline->setSingleShot(true);
        connect(deadline, &QTimer::timeout, socket, [socket] {
            qCDebug(lcCli) << "request not complete in time: dropped";
            socket->abort();
            socket->deleteLater();
        });
        deadline->start(kRequestTimeoutMs);

        auto buffer = std::make_shared<QByteArray>();
        auto answered = std::make_shared<bool>(false);
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer, answered] {
            if (*answered) {
                socket->readAll(); // whatever comes after the request is not read
                return;
            }
            buffer->append(socket->read(kMaxRequestBytes + 1 - buffer->size()));
            const qsizetype end = headEnd(*buffer);
            QByteArray reply;
            if (end >= 0 && end <= kMaxRequestBytes)
                reply = respond(buffer->left(end));
            else if (buffer->size() > kMaxRequestBytes)
                reply = error(431, "Request Header Fields Too Large");
            else
                return;
            *answered = true;
            buffer->clear();
            socket->write(reply);
            socket->disconnectFromHost();
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QObject::destroyed, this, [this] { --m_connections; });
    }
}

} // namespace vantor::cli
