// SPDX-License-Identifier: MIT
#pragma once

// A deliberately small HTTP server for one page: GET (and HEAD) /metrics answers the last
// exposition at once, never waiting on the board. Anything else gets an error status (400,
// 404, 405, 431, 505) or is dropped: requests larger than kMaxRequestBytes, request heads not
// complete within kHeadTimeoutMs, exchanges not over within kExchangeTimeoutMs (clients that
// never read the answer). Every answer closes its connection.
//
// Slow clients cannot lock a scraper out: at most kMaxConnections at once and kMaxPerClient
// from one address (an IPv4-mapped IPv6 address counts as its IPv4 address); a connection
// beyond either limit takes the place of the oldest one whose head is still incomplete
// (from its own address when that address is at its limit), and is refused when there is none.

#include <QByteArray>
#include <QByteArrayView>
#include <QHostAddress>
#include <QObject>
#include <QTcpServer>

#include <functional>
#include <memory>
#include <vector>

class QTcpSocket;

namespace vantor::protocol {
class Timer;
}

namespace vantor::cli {

class MetricsServer : public QObject
{
    Q_OBJECT
public:
    static constexpr qsizetype kMaxRequestBytes = 8 * 1024;
    static constexpr int kHeadTimeoutMs = 1000;
    static constexpr int kExchangeTimeoutMs = 5000;
    static constexpr int kMaxConnections = 32;
    static constexpr int kMaxPerClient = 8;
    // How often the time limits are checked.
    static constexpr int kSweepMs = 100;

    // Null sweep timer and clock: real ones. Tests pass fakes so that no limit is waited for.
    explicit MetricsServer(protocol::Timer *sweep = nullptr, std::function<qint64()> clockMs = {},
                           QObject *parent = nullptr);
    ~MetricsServer() override;

    bool listen(const QHostAddress &address, quint16 port);
    [[nodiscard]] QString errorString() const { return m_server.errorString(); }
    [[nodiscard]] QHostAddress address() const { return m_server.serverAddress(); }
    [[nodiscard]] quint16 port() const { return m_server.serverPort(); }
    [[nodiscard]] int connectionCount() const { return static_cast<int>(m_connections.size()); }

    // What the next scrape gets.
    void setText(const QByteArray &text) { m_text = text; }

    // The response to one complete request head (request line and headers).
    [[nodiscard]] QByteArray respond(QByteArrayView head) const;
    // Where a request head ends (just past its empty line), or -1 while it is incomplete.
    [[nodiscard]] static qsizetype headEnd(QByteArrayView buffer);

private:
    struct Connection;

    void onNewConnection();
    void onReadyRead(Connection &c);
    void sweep();
    // The oldest connection with its head still incomplete, of one address or of any.
    [[nodiscard]] Connection *oldestIncomplete(const QHostAddress *client) const;
    void drop(Connection *c, const char *why);

    QByteArray m_text;
    std::unique_ptr<protocol::Timer> m_ownSweep;
    protocol::Timer *m_sweep = nullptr;
    std::function<qint64()> m_clock;
    // Oldest first.
    std::vector<std::unique_ptr<Connection>> m_connections;
    QTcpServer m_server;
};

} // namespace vantor::cli
