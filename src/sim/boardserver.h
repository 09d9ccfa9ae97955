// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTcpServer>

class QSocketNotifier;
class QTcpSocket;

namespace vantor::sim {

class SimulatedBoard;

// The simulated board served as raw TCP, as ser2net's raw accepter serves a serial device:
// one client at a time, every byte passed both ways between it and the board's serial end
// (TCP_NODELAY), nothing else. A second client is told in one line that the port is in use
// (as ser2net tells it, so clients report it as busy) and closed. While no client is
// connected, what the board sends is dropped.
class BoardServer : public QObject
{
    Q_OBJECT
public:
    explicit BoardServer(SimulatedBoard &board, QObject *parent = nullptr);
    ~BoardServer() override;

    // The board must be running; port 0 takes any free port.
    bool listen(const QHostAddress &address, quint16 port);
    void close();

    [[nodiscard]] QHostAddress address() const { return m_server.serverAddress(); }
    [[nodiscard]] quint16 port() const { return m_server.serverPort(); }
    [[nodiscard]] QString errorString() const { return m_errorString; }
    [[nodiscard]] bool hasClient() const { return m_client != nullptr; }

    // The line a refused client gets.
    [[nodiscard]] static QByteArray refusal(const QString &holder);

signals:
    void clientConnected(const QString &peer);
    void clientRefused(const QString &peer);
    void clientDisconnected(const QString &peer);

private:
    void onNewConnection();
    void onClientReadable();
    void onClientGone();
    void onSerialReadable();
    void onSerialWritable();
    void writeToBoard(const QByteArray &bytes);
    void closeSerial();

    SimulatedBoard &m_board;
    QTcpServer m_server;
    QTcpSocket *m_client = nullptr;
    QString m_clientPeer;
    int m_serialFd = -1;
    QSocketNotifier *m_serialRead = nullptr;
    QSocketNotifier *m_serialWrite = nullptr;
    QByteArray m_toBoard;
    QString m_errorString;
};

// "127.0.0.1:4000", "[::1]:4000": where a peer is, for the log and the refusal.
[[nodiscard]] QString peerText(const QHostAddress &address, quint16 port);

} // namespace vantor::sim
