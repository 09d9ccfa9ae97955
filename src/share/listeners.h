// SPDX-License-Identifier: MIT
#pragma once

// Where clients reach the share: raw TCP listeners (each client one connection) and
// pseudo-terminals (each one client for whatever program opens it), all handed to one
// ShareCore. Output to a client is bounded: a TCP client that stops reading is disconnected,
// a pseudo-terminal nobody reads drops what does not fit.

#include "sharecore.h"

#include <serial/listenaddress.h>

#include <QObject>
#include <QString>

#include <map>
#include <memory>

class QTcpServer;
class QTcpSocket;

namespace vantor::share {

class PtyEnd;

class Listeners final : public QObject, public ClientSink
{
    Q_OBJECT
public:
    // Bytes a TCP client may leave unread before it is dropped: many answers' worth.
    static constexpr qint64 kMaxUnsentBytes = 64 * 1024;
    static constexpr int kMaxClients = 64;
    // One read from a client at a time, at most this much.
    static constexpr qint64 kReadChunk = 4096;

    explicit Listeners(QObject *parent = nullptr);
    ~Listeners() override;

    // The core the clients' bytes go to; set before the first listen.
    void setCore(ShareCore *core) { m_core = core; }

    bool listenTcp(const serial::ListenAddress &address, bool readOnly, QString &error);
    // A pseudo-terminal with a symbolic link at `path` (group dialout, mode 0660).
    bool addPty(const QString &path, QString &error);
    // Where each TCP listener ended up listening, in the order they were added.
    [[nodiscard]] QList<quint16> tcpPorts() const;

    void sendToClient(ClientId client, const QByteArray &bytes) override;

private:
    void onNewConnection(QTcpServer *server, bool readOnly);
    void dropTcpClient(ClientId id, const QString &why);

    ShareCore *m_core = nullptr;
    ClientId m_nextId = 1;
    std::vector<QTcpServer *> m_servers;
    std::map<ClientId, QTcpSocket *> m_tcpClients;
    std::map<ClientId, std::unique_ptr<PtyEnd>> m_ptys;
};

} // namespace vantor::share
