// SPDX-License-Identifier: MIT
#pragma once

// A deliberately small HTTP server for one page: GET /metrics answers the last exposition
// at once, never waiting on the board. Anything else gets an error status (400, 404, 405,
// 431, 505) or is dropped: requests larger than kMaxRequestBytes, requests not complete
// within kRequestTimeoutMs (also clients that never read the answer), and connections beyond
// kMaxConnections. Every answer closes its connection.

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QTcpServer>

namespace vantor::cli {

class MetricsServer : public QObject
{
    Q_OBJECT
public:
    static constexpr qsizetype kMaxRequestBytes = 8 * 1024;
    static constexpr int kRequestTimeoutMs = 5000;
    static constexpr int kMaxConnections = 32;

    explicit MetricsServer(QObject *parent = nullptr);

    bool listen(const QHostAddress &address, quint16 port);
    [[nodiscard]] QString errorString() const { return m_server.errorString(); }
    [[nodiscard]] QHostAddress address() const { return m_server.serverAddress(); }
    [[nodiscard]] quint16 port() const { return m_server.serverPort(); }

    // What the next scrape gets.
    void setText(const QByteArray &text) { m_text = text; }

    // The response to one complete request head (request line and headers).
    [[nodiscard]] QByteArray respond(const QByteArray &head) const;

private:
    void onNewConnection();

    QByteArray m_text;
    int m_connections = 0;
    // Last: its connections go first, while the count they keep still exists.
    QTcpServer m_server;
};

} // namespace vantor::cli
