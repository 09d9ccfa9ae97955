// SPDX-License-Identifier: MIT
// The metrics endpoint against clients that misbehave, in this process over loopback: its
// time limits on a fake clock, its connection limits at their edges, HEAD and absolute-form
// targets.

#include <fakes.h>

#include <cli/metricsserver.h>

#include <QTcpSocket>
#include <QTest>

#include <memory>
#include <vector>

using vantor::cli::MetricsServer;
using vantor::testing::FakeTimer;

namespace {

const QByteArray kText = "vantor_board_up 1\n";

} // namespace

class TestMetricsServer : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void requests_data();
    void requests();
    void connectionLimits_data();
    void connectionLimits();

private:
    // A connection from `from`, once the server holds it.
    std::unique_ptr<QTcpSocket> connectFrom(const QHostAddress &from);
    // Everything until the server closes the connection.
    static QByteArray replyOn(QTcpSocket &socket);

    FakeTimer m_sweep;
    qint64 m_now = 1'000'000;
    std::unique_ptr<MetricsServer> m_server;
};

void TestMetricsServer::init()
{
    m_server = std::make_unique<MetricsServer>(&m_sweep, [this] { return m_now; });
    m_server->setText(kText);
    QVERIFY(m_server->listen(QHostAddress::LocalHost, 0));
}

void TestMetricsServer::cleanup()
{
    m_server.reset();
}

std::unique_ptr<QTcpSocket> TestMetricsServer::connectFrom(const QHostAddress &from)
{
    auto socket = std::make_unique<QTcpSocket>();
    if (!socket->bind(from))
        return nullptr;
    socket->connectToHost(QHostAddress::LocalHost, m_server->port());
    if (!socket->waitForConnected(2000))
        return nullptr;
    return socket;
}

QByteArray TestMetricsServer::replyOn(QTcpSocket &socket)
{
    QByteArray bytes;
    // A connection left open shows as a wrong state in the caller's check.
    [[maybe_unused]] const bool closed = QTest::qWaitFor(
        [&] {
            bytes += socket.readAll();
            return socket.state() == QAbstractSocket::UnconnectedState;
        },
        3000);
    return bytes + socket.readAll();
}

void TestMetricsServer::requests_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<int>("laterMs"); // the clock moves on, then the rest is sent
    QTest::addColumn<QByteArray>("rest");
    QTest::addColumn<int>("status"); // 0: dropped without an answer
    QTest::addColumn<bool>("body");

    const QByteArray end = "\r\n\r\n";
    QTest::newRow("GET") << "GET /metrics HTTP/1.1" + end << 0 << QByteArray() << 200 << true;
    QTest::newRow("HEAD: headers only")
        << "HEAD /metrics HTTP/1.1" + end << 0 << QByteArray() << 200 << false;
    QTest::newRow("HEAD of another path")
        << "HEAD /admin HTTP/1.1" + end << 0 << QByteArray() << 404 << false;
    QTest::newRow("absolute-form target")
        << "GET http://127.0.0.1:9100/metrics HTTP/1.1\r\nHost: 127.0.0.1" + end << 0
        << QByteArray() << 200 << true;
    QTest::newRow("absolute-form, scheme in capitals, a query")
        << "GET HTTP://board/metrics?x=1 HTTP/1.1" + end << 0 << QByteArray() << 200 << true;
    QTest::newRow("absolute-form, another path")
        << "GET http://board/admin HTTP/1.1" + end << 0 << QByteArray() << 404 << true;
    QTest::newRow("absolute-form without a path")
        << "GET http://board HTTP/1.1" + end << 0 << QByteArray() << 404 << true;
    QTest::newRow("another scheme")
        << "GET ftp://board/metrics HTTP/1.1" + end << 0 << QByteArray() << 400 << true;
    QTest::newRow("another method names HEAD too")
        << "DELETE /metrics HTTP/1.1" + end << 0 << QByteArray() << 405 << true;
    QTest::newRow("head complete just within 1 s")
        << QByteArray("GET /metrics HTTP/1.1\r\n") << MetricsServer::kHeadTimeoutMs - 1
        << QByteArray("\r\n") << 200 << true;
    QTest::newRow("head still incomplete after 1 s")
        << QByteArray("GET /metr") << MetricsServer::kHeadTimeoutMs << QByteArray() << 0 << false;
    QTest::newRow("a byte at a time, too slowly")
        << QByteArray("G") << MetricsServer::kHeadTimeoutMs + 500 << QByteArray() << 0 << false;
}

void TestMetricsServer::requests()
{
    QFETCH(QByteArray, first);
    QFETCH(int, laterMs);
    QFETCH(QByteArray, rest);
    QFETCH(int, status);
    QFETCH(bool, body);

    const auto client = connectFrom(QHostAddress::LocalHost);
    QVERIFY(client);
    QTRY_COMPARE(m_server->connectionCount(), 1);
    client->write(first);
    if (laterMs > 0) {
        m_now += laterMs;
        m_sweep.fire();
    }
    if (!rest.isEmpty())
        client->write(rest);
    const QByteArray reply = replyOn(*client);
    QCOMPARE(client->state(), QAbstractSocket::UnconnectedState);
    if (status == 0) {
        QVERIFY2(reply.isEmpty(), reply.constData());
        QCOMPARE(m_server->connectionCount(), 0);
        return;
    }
    QVERIFY2(reply.startsWith("HTTP/1.1 " + QByteArray::number(status) + ' '), reply.constData());
    const qsizetype headEnd = reply.indexOf("\r\n\r\n") + 4;
    QVERIFY(headEnd > 4);
    const QByteArray payload = reply.mid(headEnd);
    if (status == 405)
        QVERIFY2(reply.contains("\r\nAllow: GET, HEAD\r\n"), reply.constData());
    if (status == 200)
        QVERIFY2(reply.contains("\r\nContent-Length: " + QByteArray::number(kText.size()) + "\r\n"),
                 reply.constData());
    QCOMPARE(payload.isEmpty(), !body);
    if (status == 200 && body)
        QCOMPARE(payload, kText);
}

void TestMetricsServer::connectionLimits_data()
{
    QTest::addColumn<QStringList>("from"); // one connection from each, in this order, all idle
    QTest::addColumn<int>("dropped");      // the one that made room for a newer one, or -1

    const auto many = [](int addresses, int each, int extraFrom = 0) {
        QStringList from;
        for (int a = 1; a <= addresses; ++a) {
            for (int i = 0; i < each; ++i)
                from << QStringLiteral("127.0.0.%1").arg(a);
        }
        if (extraFrom > 0)
            from << QStringLiteral("127.0.0.%1").arg(extraFrom);
        return from;
    };
    const int perClient = MetricsServer::kMaxPerClient;
    const int addresses = MetricsServer::kMaxConnections / perClient;
    QTest::newRow("one address at its limit") << many(1, perClient) << -1;
    QTest::newRow("one address past its limit") << many(1, perClient, 1) << 0;
    QTest::newRow("past one address's limit, the oldest of that address goes")
        << QStringList { "127.0.0.2" } + many(1, perClient, 1) << 1;
    QTest::newRow("every slot taken") << many(addresses, perClient) << -1;
    QTest::newRow("one past every slot") << many(addresses, perClient, addresses + 1) << 0;
}

// Idle connections hold their slots until a newer one needs one; the newest is then served.
void TestMetricsServer::connectionLimits()
{
    QFETCH(QStringList, from);
    QFETCH(int, dropped);

    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (const QString &address : std::as_const(from)) {
        clients.push_back(connectFrom(QHostAddress(address)));
        QVERIFY2(clients.back(), qPrintable(address));
    }
    const int held = static_cast<int>(clients.size()) - (dropped >= 0 ? 1 : 0);
    if (dropped >= 0) {
        QTRY_COMPARE(clients[std::size_t(dropped)]->state(), QAbstractSocket::UnconnectedState);
        QVERIFY(clients[std::size_t(dropped)]->readAll().isEmpty());
    }
    QTRY_COMPARE(m_server->connectionCount(), held);
    for (std::size_t i = 0; i < clients.size(); ++i) {
        if (int(i) != dropped)
            QVERIFY2(clients[i]->state() == QAbstractSocket::ConnectedState,
                     qPrintable(QStringLiteral("connection %1 was dropped").arg(i)));
    }
    QTcpSocket &newest = *clients.back();
    newest.write("GET /metrics HTTP/1.1\r\n\r\n");
    QVERIFY(replyOn(newest).startsWith("HTTP/1.1 200 "));
}

QTEST_GUILESS_MAIN(TestMetricsServer)
#include "test_metricsserver.moc"
