// SPDX-License-Identifier: MIT
#include "metricsserver.h"

#include "logging.h"

#include <protocol/timer.h>

#include <QDateTime>
#include <QTcpSocket>

#include <algorithm>

namespace vantor::cli {

namespace {

QByteArray response(int status, const QByteArray &reason, const QByteArray &body,
                    const QByteArray &extraHeaders = {}, bool withBody = true)
{
    const QByteArray type
        = status == 200 ? "text/plain; version=0.0.4; charset=utf-8" : "text/plain; charset=utf-8";
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\nContent-Type: " + type
        + "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n" + extraHeaders
        + "Connection: close\r\n\r\n" + (withBody ? body : QByteArray());
}

QByteArray error(int status, const QByteArray &reason, const QByteArray &extraHeaders = {},
                 bool withBody = true)
{
    return response(status, reason, reason + '\n', extraHeaders, withBody);
}

// The path of an origin-form target ("/metrics?x") or of an absolute-form one
// ("http://host:9100/metrics"), which a client talking to a proxy sends; empty when it is
// neither.
QByteArrayView targetPath(QByteArrayView target)
{
    if (target.startsWith('/'))
        return target;
    const qsizetype scheme = target.indexOf("://");
    if (scheme <= 0)
        return {};
    const QByteArray name = target.first(scheme).toByteArray().toLower();
    if (name != "http" && name != "https")
        return {};
    const QByteArrayView rest = target.sliced(scheme + 3);
    const qsizetype slash = rest.indexOf('/');
    const qsizetype query = rest.indexOf('?');
    if (slash < 0 || (query >= 0 && query < slash))
        return "/";
    return rest.sliced(slash);
}

// A client address as the per-address limit counts it.
QHostAddress clientOf(const QHostAddress &address)
{
    bool mapped = false;
    const quint32 v4 = address.toIPv4Address(&mapped);
    return mapped ? QHostAddress(v4) : address;
}

} // namespace

struct MetricsServer::Connection
{
    QTcpSocket *socket = nullptr;
    QHostAddress client;
    qint64 openedMs = 0;
    bool answered = false;
    QByteArray buffer;
};

MetricsServer::MetricsServer(protocol::Timer *sweep, std::function<qint64()> clockMs,
                             QObject *parent)
    : QObject(parent)
    , m_sweep(sweep)
    , m_clock(std::move(clockMs))
{
    if (!m_sweep) {
        m_ownSweep = std::make_unique<protocol::QtTimer>();
        m_sweep = m_ownSweep.get();
    }
    if (!m_clock)
        m_clock = [] {
            return QDateTime::currentMSecsSinceEpoch();
        };
    m_sweep->setInterval(kSweepMs);
    connect(m_sweep, &protocol::Timer::timeout, this, &MetricsServer::sweep);
    connect(&m_server, &QTcpServer::newConnection, this, &MetricsServer::onNewConnection);
}

MetricsServer::~MetricsServer()
{
    m_sweep->stop();
    while (!m_connections.empty())
        drop(m_connections.front().get(), nullptr);
}

bool MetricsServer::listen(const QHostAddress &address, quint16 port)
{
    return m_server.listen(address, port);
}

qsizetype MetricsServer::headEnd(QByteArrayView buffer)
{
    // Bare line feeds are accepted.
    const qsizetype crlf = buffer.indexOf("\r\n\r\n");
    const qsizetype lf = buffer.indexOf("\n\n");
    if (crlf < 0)
        return lf < 0 ? -1 : lf + 2;
    return lf < 0 || crlf < lf ? crlf + 4 : lf + 2;
}

QByteArray MetricsServer::respond(QByteArrayView head) const
{
    const qsizetype lineEnd = head.indexOf('\n');
    const QByteArray line = (lineEnd < 0 ? head : head.first(lineEnd)).toByteArray().trimmed();
    const QList<QByteArray> parts = line.split(' ');
    const bool headOnly = !parts.isEmpty() && parts[0] == "HEAD";
    if (parts.size() != 3 || parts[0].isEmpty())
        return error(400, "Bad Request", {}, !headOnly);
    const QByteArrayView target = targetPath(parts[1]);
    if (target.isEmpty())
        return error(400, "Bad Request", {}, !headOnly);
    if (parts[2] != "HTTP/1.0" && parts[2] != "HTTP/1.1") {
        if (!parts[2].startsWith("HTTP/"))
            return error(400, "Bad Request", {}, !headOnly);
        return error(505, "HTTP Version Not Supported", {}, !headOnly);
    }
    if (parts[0] != "GET" && !headOnly)
        return error(405, "Method Not Allowed", "Allow: GET, HEAD\r\n");
    const qsizetype query = target.indexOf('?');
    const QByteArrayView path = query < 0 ? target : target.first(query);
    if (path != "/metrics")
        return error(404, "Not Found", {}, !headOnly);
    // HEAD: the headers GET would have, Content-Length included, and no body.
    return response(200, "OK", m_text, {}, !headOnly);
}

MetricsServer::Connection *MetricsServer::oldestIncomplete(const QHostAddress *client) const
{
    for (const auto &c : m_connections) {
        if (!c->answered && (!client || c->client == *client))
            return c.get();
    }
    return nullptr;
}

void MetricsServer::drop(Connection *c, const char *why)
{
    const auto it = std::find_if(m_connections.begin(), m_connections.end(),
                                 [c](const auto &held) { return held.get() == c; });
    if (it == m_connections.end())
        return;
    std::unique_ptr<Connection> taken = std::move(*it);
    m_connections.erase(it);
    if (why)
        qCDebug(lcCli).noquote() << "dropped a connection from" << taken->client.toString() << why;
    // Nothing the socket says while it goes concerns the server any more.
    disconnect(taken->socket, nullptr, this, nullptr);
    taken->socket->abort();
    taken->socket->deleteLater();
    if (m_connections.empty())
        m_sweep->stop();
}

void MetricsServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        const QHostAddress client = clientOf(socket->peerAddress());
        const auto fromClient = std::count_if(m_connections.begin(), m_connections.end(),
                                              [&](const auto &c) { return c->client == client; });
        Connection *room = nullptr;
        bool full = false;
        if (fromClient >= kMaxPerClient) {
            full = true;
            room = oldestIncomplete(&client);
        } else if (connectionCount() >= kMaxConnections) {
            full = true;
            room = oldestIncomplete(nullptr);
        }
        if (full && !room) {
            qCInfo(lcCli).noquote()
                << "too many connections: refused one from" << client.toString();
            socket->abort();
            socket->deleteLater();
            continue;
        }
        if (room)
            drop(room, "to make room for a newer one");

        auto held = std::make_unique<Connection>();
        Connection *c = held.get();
        c->socket = socket;
        c->client = client;
        c->openedMs = m_clock();
        m_connections.push_back(std::move(held));
        connect(socket, &QTcpSocket::readyRead, this, [this, c] { onReadyRead(*c); });
        connect(socket, &QTcpSocket::disconnected, this, [this, c] { drop(c, nullptr); });
        if (!m_sweep->isActive())
            m_sweep->start();
        // Bytes may have come with the connection.
        if (socket->bytesAvailable() > 0)
            onReadyRead(*c);
    }
}

void MetricsServer::onReadyRead(Connection &c)
{
    if (c.answered) {
        c.socket->readAll(); // whatever comes after the request is not read
        return;
    }
    c.buffer.append(c.socket->read(kMaxRequestBytes + 1 - c.buffer.size()));
    const qsizetype end = headEnd(c.buffer);
    QByteArray reply;
    if (end >= 0 && end <= kMaxRequestBytes)
        reply = respond(QByteArrayView(c.buffer).first(end));
    else if (c.buffer.size() > kMaxRequestBytes)
        reply = error(431, "Request Header Fields Too Large");
    else
        return;
    c.answered = true;
    c.buffer.clear();
    c.socket->write(reply);
    c.socket->disconnectFromHost();
}

void MetricsServer::sweep()
{
    const qint64 now = m_clock();
    std::vector<Connection *> late;
    for (const auto &c : m_connections) {
        const qint64 age = now - c->openedMs;
        if (age >= kExchangeTimeoutMs || (!c->answered && age >= kHeadTimeoutMs))
            late.push_back(c.get());
    }
    for (Connection *c : late)
        drop(c,
             c->answered ? "that did not take its answer in time"
                         : "whose request was not complete in time");
}

} // namespace vantor::cli
