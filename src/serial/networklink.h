// SPDX-License-Identifier: MIT
#pragma once

#include "deadline.h"
#include "deviceurl.h"
#include "rfc2217.h"
#include "seriallink.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>
#include <optional>

namespace vantor::serial {

// A board behind a network server: tcp://HOST:PORT (the raw byte stream) or
// rfc2217://HOST:PORT (telnet with the COM-PORT-OPTION), as ser2net, terminal servers and lab
// frameworks offer serial devices.
//
// It keeps the tty link's promises: nothing blocks (the name is looked up and the connection
// made in the background), events come only from the event loop, TCP_NODELAY is on, received
// data is bounded to kReceiveLimit bytes and counted against the receive threshold as it
// arrives, in whatever pieces. A send event comes once the server has the bytes (the system's
// queue for it is empty), not when they were handed to the system.
//
// Opening happens in the background: open() returns true once the connection is under way
// and isOpen() stays false until the link is usable, which openChanged(true) tells; if it
// cannot be, portFailed tells why (host not found, connection refused, connection timed out,
// RFC 2217 negotiation refused or not answered, the server's own text such as ser2net's
// "Port already in use", which is reported as busy). Bytes written while a first open is under
// way are held and sent once the link is usable, so a start-up sequence written right after
// open() goes out as it does on a tty; after a failure or a loss nothing is held (a return
// reads first and never writes on its own).
//
// rfc2217: the link is usable once BINARY is agreed both ways, COM-PORT-OPTION is agreed and
// the server has confirmed the line settings and "no flow control". discardInput() also asks
// the server to drop what it holds from the device (PURGE-DATA 1); nothing ever purges the
// server's transmit buffer, which may still hold a block just written.
// tcp: the line settings are the server's (logged once). A server that refuses a client sends
// text and closes at once; the link waits kSettleMinMs (twice the connection's own time, at
// most kSettleMaxMs) after connecting before it calls itself open, so that such a refusal is
// an open failure and not a lost line.
class NetworkLink final : public SerialLink
{
    Q_OBJECT
public:
    static constexpr qsizetype kReceiveLimit = 64 * 1024;
    static constexpr int kConnectTimeoutMs = 5000;
    static constexpr int kNegotiationTimeoutMs = 3000;
    static constexpr int kSettleMinMs = 100;
    static constexpr int kSettleMaxMs = 1000;
    // How often a block's arrival at the server is looked at while it is on its way.
    static constexpr int kSentPollMs = 1;
    // How long a connection should stay up after the last block reached the server, so that
    // the server passes it on before it sees the close (see closeGraceMs()).
    static constexpr int kCloseGraceMs = 100;

    explicit NetworkLink(QObject *parent = nullptr);
    ~NetworkLink() override;

    // The time limit of the open's stages (tests let theirs run out by hand); it must outlive
    // this link.
    void setDeadline(Deadline &deadline);

    void setPortName(const QString &device) override;
    [[nodiscard]] QString portName() const override { return m_portName; }
    bool setSettings(const QString &settings) override;
    [[nodiscard]] QString settings() const override { return m_settingsText; }
    void setReadLength(int n) override { m_readLength = n; }

    bool open() override;
    void close() override;
    [[nodiscard]] bool isOpen() const override;
    // An open is under way: connecting, negotiating or settling.
    [[nodiscard]] bool isOpening() const;

    void discardOutput() override;
    void discardInput() override;

    void setReceiveThreshold(int n) override { m_receiveThreshold = n; }
    void setSendThreshold(int n) override { m_sendThreshold = n; }

    bool write(const QByteArray &block) override;
    QByteArray read() override;
    [[nodiscard]] qsizetype bytesWaiting() const override { return m_received.size(); }

    [[nodiscard]] QString errorString() const override { return m_errorString; }
    [[nodiscard]] OpenFailure openFailure() const override { return m_openFailure; }

    [[nodiscard]] qint64 droppedBytes() const { return m_droppedTotal; }
    // How much longer the connection should stay open before a program that wrote to it ends:
    // ser2net drops what it has not yet passed to its device when the client closes, so a
    // command line that exits right after its last block gives the server this long.
    [[nodiscard]] int closeGraceMs() const;
    // Where the socket is connected from and to, for the log and tests; empty while closed.
    [[nodiscard]] quint16 localPort() const { return m_socket.localPort(); }

private:
    enum class Stage { Closed, Connecting, Negotiating, Settling, Open };

    void onConnected();
    void onReadyRead();
    void onBytesWritten();
    void onSocketError(QAbstractSocket::SocketError error);
    void onDisconnected();
    void onDeadline();
    void becomeOpen();
    bool failOpen(const OpenVerdict &verdict);
    void failOpenLater(const NetworkFacts &facts);
    void lose(const QString &reason);
    void finishLoss();
    void deliver(const QByteArray &data);
    void sendRaw(const QByteArray &bytes);
    void deliverSendEvent(quint64 writeSerial);
    void checkSent();
    // Bytes written that the server does not have yet (Qt's buffer and the system's queue).
    [[nodiscard]] qint64 bytesUnsent() const;
    void reportDropped();
    void resetSocket();
    [[nodiscard]] NetworkFacts facts() const;
    [[nodiscard]] bool isTelnet() const { return m_url.transport == Transport::Rfc2217; }

    QTcpSocket m_socket;
    std::unique_ptr<Deadline> m_ownDeadline;
    Deadline *m_deadline = nullptr;
    std::optional<Rfc2217Client> m_telnet;
    DeviceUrl m_url;
    Stage m_stage = Stage::Closed;
    QElapsedTimer m_connectClock;

    QString m_portName;
    QString m_openingName; // the name the open under way is for
    QString m_settingsText;
    int m_readLength = 0;
    int m_receiveThreshold = 0;
    int m_sendThreshold = 0;

    QByteArray m_received;
    QByteArray m_held;
    QByteArray m_serverText;
    qint64 m_droppedTotal = 0;
    qint64 m_droppedSinceFull = 0;

    QTimer m_sentPoll;
    QElapsedTimer m_lastSent;
    quint64 m_writeSerial = 0;
    bool m_sendEventArmed = false;
    // Each open gets a number; what was posted for an earlier one is dropped.
    quint64 m_attempt = 0;
    bool m_failing = false;
    // An open failed or the line was lost, and no open has succeeded nor close() come since.
    bool m_troubled = false;
    bool m_lost = false;
    bool m_toldRawSettings = false;
    QString m_errorString;
    OpenFailure m_openFailure = OpenFailure::None;
};

} // namespace vantor::serial
