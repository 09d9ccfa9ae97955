// SPDX-License-Identifier: MIT
// The network link against servers in this process on loopback: raw TCP and RFC 2217 (ser2net's
// recorded bytes played by a scripted server), every way an open fails, the held start-up
// bytes, thresholds over answers in pieces, a loss; and the device link's choice of transport.
// The link's time limits (5 s to connect, 3 s to negotiate, the raw settle) are let run out
// by hand, so nothing here waits for them.

#include <serial/devicelink.h>
#include <serial/listenaddress.h>
#include <serial/networklink.h>
#include <sim/boardserver.h>
#include <sim/simulatedboard.h>

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using vantor::serial::CommEvent;
using vantor::serial::DeviceLink;
using vantor::serial::NetworkLink;
using vantor::serial::OpenFailure;
using vantor::serial::Transport;

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// Recorded from ser2net 4.3.11 (see test_rfc2217).
const char *const kOpening = "ff fb 03 ff fd 03 ff fb 01 ff fe 01 ff fd 00 ff fb 00 ff fd 2c";
const char *const kReplies = "ff fa 2c 65 00 00 4b 00 ff f0 ff fa 2c 66 08 ff f0"
                             " ff fa 2c 67 01 ff f0 ff fa 2c 68 01 ff f0 ff fa 2c 69 01 ff f0";

class FakeDeadline final : public vantor::serial::Deadline
{
public:
    void start(int ms) override
    {
        m_active = true;
        m_limit = ms;
        ++starts;
    }
    void stop() override { m_active = false; }
    bool isActive() const override { return m_active; }
    int limitMs() const override { return m_limit; }
    // The time ran out.
    void fire()
    {
        if (m_active) {
            m_active = false;
            emit expired();
        }
    }
    int starts = 0;

private:
    bool m_active = false;
    int m_limit = 0;
};

// One accepted client at a time, everything it sent kept.
struct Server
{
    Server()
    {
        server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this] {
            client = server.nextPendingConnection();
            QObject::connect(client, &QTcpSocket::readyRead, client,
                             [this] { received += client->readAll(); });
            if (onAccept)
                onAccept(*client);
        });
    }
    QString url(const char *scheme) const
    {
        return QStringLiteral("%1://127.0.0.1:%2").arg(QLatin1String(scheme)).arg(server.serverPort());
    }
    bool waitForClient() { return QTest::qWaitFor([this] { return client != nullptr; }, 5000); }
    bool waitForBytes(const QByteArray &tail)
    {
        return QTest::qWaitFor([&] { return received.endsWith(tail); }, 5000);
    }
    void send(const QByteArray &bytes)
    {
        client->write(bytes);
        client->flush();
    }

    QTcpServer server;
    QTcpSocket *client = nullptr;
    QByteArray received;
    std::function<void(QTcpSocket &)> onAccept;
};

// A port nothing listens on: bound, then let go.
quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

int countEvents(const QSignalSpy &spy, CommEvent event)
{
    int n = 0;
    for (const QList<QVariant> &args : spy)
        n += args.at(0).value<CommEvent>() == event ? 1 : 0;
    return n;
}

} // namespace

class TestNetworkLink : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<CommEvent>(); }
    void deviceNames_data();
    void deviceNames();
    void urlHostIsReachable();
    void rawOpensAfterSettling();
    void rawAnswersInPiecesCountedAsOnATty();
    void heldBytesGoOutOnOpen();
    void nothingHeldAfterAFailure();
    void rfc2217Negotiates();
    void openFailures_data();
    void openFailures();
    void lossIsReportedOnceAndReopens();
    void deviceLinkPicksTheTransport();
    void boardServerServesOneClient();
};

void TestNetworkLink::deviceNames_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<int>("transport");
    QTest::addColumn<QString>("host"); // empty: refused
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("why");
    const int tty = int(Transport::Tty);
    const int tcp = int(Transport::Tcp);
    const int telnet = int(Transport::Rfc2217);
    QTest::newRow("tty path") << "/dev/ttyUSB0" << tty << "" << 0 << "unknown kind of network "
                                                                      "device (tcp://HOST:PORT or "
                                                                      "rfc2217://HOST:PORT)";
    QTest::newRow("bare tty name") << "ttyS0" << tty << "" << 0 << "unknown kind of network "
                                                                   "device (tcp://HOST:PORT or "
                                                                   "rfc2217://HOST:PORT)";
    QTest::newRow("raw, name") << "tcp://lab-host:4000" << tcp << "lab-host" << 4000 << "";
    QTest::newRow("raw, IPv4") << "tcp://192.0.2.7:4000" << tcp << "192.0.2.7" << 4000 << "";
    QTest::newRow("rfc2217, IPv6") << "rfc2217://[fd00::5]:4001" << telnet << "fd00::5" << 4001
                                   << "";
    QTest::newRow("scheme in capitals, trailing slash")
        << "RFC2217://lab:23/" << telnet << "lab" << 23 << "";
    QTest::newRow("unknown scheme") << "ssh://lab:22" << tcp << "" << 0
                                    << "unknown kind of network device (tcp://HOST:PORT or "
                                       "rfc2217://HOST:PORT)";
    QTest::newRow("no port") << "tcp://lab" << tcp << "" << 0
                             << "no port (tcp://HOST:PORT or rfc2217://HOST:PORT)";
    QTest::newRow("port 0") << "tcp://lab:0" << tcp << "" << 0
                            << "the port must be a number from 1 to 65535";
    QTest::newRow("port too big") << "tcp://lab:65536" << tcp << "" << 0
                                  << "the port must be a number from 1 to 65535";
    QTest::newRow("IPv6 without brackets") << "tcp://fd00::5:4000" << tcp << "" << 0
                                           << "an IPv6 address goes in brackets: [ADDRESS]:PORT";
    QTest::newRow("brackets around no IPv6") << "tcp://[lab]:4000" << tcp << "" << 0
                                             << "not an IPv6 address in the brackets";
    QTest::newRow("no host") << "tcp://:4000" << tcp << "" << 0 << "no host";
    QTest::newRow("a path after the port") << "tcp://lab:4000/x" << tcp << "" << 0
                                           << "the port must be a number from 1 to 65535";
}

void TestNetworkLink::deviceNames()
{
    QFETCH(QString, device);
    QFETCH(int, transport);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(QString, why);
    QCOMPARE(int(vantor::serial::transportOf(device)), transport);
    QString error;
    const auto url = vantor::serial::parseDeviceUrl(device, &error);
    QCOMPARE(url.has_value(), !host.isEmpty());
    QCOMPARE(error, why);
    if (!url)
        return;
    QCOMPARE(url->host, host);
    QCOMPARE(int(url->port), port);
    // Written back, it reads the same.
    QCOMPARE(vantor::serial::parseDeviceUrl(vantor::serial::deviceUrlText(*url)), url);
}

// A listener's printed URL: its own address, or for every interface one that is reachable.
void TestNetworkLink::urlHostIsReachable()
{
    using vantor::serial::urlHost;
    QCOMPARE(urlHost(QHostAddress(QHostAddress::LocalHost)), QStringLiteral("127.0.0.1"));
    QCOMPARE(urlHost(QHostAddress(QStringLiteral("192.0.2.7"))), QStringLiteral("192.0.2.7"));
    QCOMPARE(urlHost(QHostAddress(QHostAddress::LocalHostIPv6)), QStringLiteral("[::1]"));
    for (const auto any : { QHostAddress::Any, QHostAddress::AnyIPv4, QHostAddress::AnyIPv6 }) {
        const QString host = urlHost(QHostAddress(any));
        QVERIFY(!host.isEmpty());
        QVERIFY2(host != u"0.0.0.0" && host != u"[::]" && host != u"::", qPrintable(host));
    }
    // ":PORT" listens on every interface, IPv4 and IPv6 alike.
    const auto every = vantor::serial::parseListenAddress(QStringLiteral(":0"));
    QVERIFY(every);
    QTcpServer server;
    QVERIFY(server.listen(every->address, 0));
    QTcpServer v6;
    const bool hasIpv6 = v6.listen(QHostAddress::LocalHostIPv6, 0);
    for (const QHostAddress &to : { QHostAddress(QHostAddress::LocalHost),
                                    QHostAddress(QHostAddress::LocalHostIPv6) }) {
        if (to.protocol() == QAbstractSocket::IPv6Protocol && !hasIpv6)
            continue; // a machine without IPv6
        QTcpSocket client;
        client.connectToHost(to, server.serverPort());
        QVERIFY2(client.waitForConnected(3000), qPrintable(to.toString()));
    }
    QCOMPARE(vantor::serial::parseListenAddress(QStringLiteral("4000"))->address,
             QHostAddress(QHostAddress::LocalHost));
}

void TestNetworkLink::rawOpensAfterSettling()
{
    Server s;
    FakeDeadline deadline;
    NetworkLink link;
    link.setDeadline(deadline);
    link.setPortName(s.url("tcp"));
    QSignalSpy opened(&link, &NetworkLink::openChanged);
    QSignalSpy failed(&link, &NetworkLink::portFailed);

    QVERIFY(link.open());
    // Under way, nothing reported from inside the call.
    QVERIFY(!link.isOpen());
    QVERIFY(link.isOpening());
    QCOMPARE(opened.count(), 0);
    QVERIFY(s.waitForClient());
    QTRY_COMPARE(deadline.limitMs(), NetworkLink::kSettleMinMs);
    QVERIFY(!link.isOpen());
    deadline.fire();
    QVERIFY(link.isOpen());
    QCOMPARE(opened.count(), 1);
    QCOMPARE(failed.count(), 0);
    QCOMPARE(link.openFailure(), OpenFailure::None);

    // The bytes go as they are, 0xFF included.
    QVERIFY(link.write(hex("18 ff 0d 11 13")));
    QVERIFY(s.waitForBytes(hex("18 ff 0d 11 13")));
    QCOMPARE(s.received, hex("18 ff 0d 11 13"));
    link.close();
    QCOMPARE(opened.count(), 2);
    QVERIFY(!link.isOpen());
}

void TestNetworkLink::rawAnswersInPiecesCountedAsOnATty()
{
    Server s;
    FakeDeadline deadline;
    NetworkLink link;
    link.setDeadline(deadline);
    link.setPortName(s.url("tcp"));
    QVERIFY(link.open());
    QVERIFY(s.waitForClient());
    QTRY_COMPARE(deadline.limitMs(), NetworkLink::kSettleMinMs);
    deadline.fire();
    QVERIFY(link.isOpen());

    QSignalSpy events(&link, &NetworkLink::commEvent);
    link.setReceiveThreshold(168);
    const QByteArray answer = QByteArray(100, char(0xff)) + QByteArray(68, char(0x5a));
    s.send(answer.left(60));
    QTRY_COMPARE(link.bytesWaiting(), 60);
    s.send(answer.mid(60, 100));
    QTRY_COMPARE(link.bytesWaiting(), 160);
    QCOMPARE(countEvents(events, CommEvent::ReceiveThreshold), 0);
    s.send(answer.mid(160));
    QTRY_COMPARE(countEvents(events, CommEvent::ReceiveThreshold), 1);
    QCOMPARE(link.read(), answer);

    // The send event comes from the event loop, after the write has returned.
    link.setSendThreshold(1);
    QVERIFY(link.write(hex("28")));
    QCOMPARE(countEvents(events, CommEvent::SendThreshold), 0);
    QTRY_COMPARE(countEvents(events, CommEvent::SendThreshold), 1);

    // A flood is bounded as on a tty.
    s.send(QByteArray(2 * NetworkLink::kReceiveLimit, 'x'));
    QTRY_VERIFY(link.droppedBytes() > 0 || link.bytesWaiting() == NetworkLink::kReceiveLimit);
    QTRY_COMPARE(link.droppedBytes(), NetworkLink::kReceiveLimit);
    QCOMPARE(link.bytesWaiting(), NetworkLink::kReceiveLimit);
}

// The panel's start-up writes right after open(): the bytes wait for the link, then go out in
// order, and their send event follows.
void TestNetworkLink::heldBytesGoOutOnOpen()
{
    Server s;
    FakeDeadline deadline;
    NetworkLink link;
    link.setDeadline(deadline);
    link.setPortName(s.url("tcp"));
    QSignalSpy events(&link, &NetworkLink::commEvent);
    QVERIFY(link.open());
    link.setSendThreshold(1);
    QVERIFY(link.write(hex("08")));
    QVERIFY(link.write(hex("18")));
    QVERIFY(s.waitForClient());
    QTRY_COMPARE(deadline.limitMs(), NetworkLink::kSettleMinMs);
    QCoreApplication::processEvents();
    QVERIFY(s.received.isEmpty());
    deadline.fire();
    QVERIFY(s.waitForBytes(hex("08 18")));
    QCOMPARE(s.received, hex("08 18"));
    QTRY_COMPARE(countEvents(events, CommEvent::SendThreshold), 1);
}

// After a failure the next open holds nothing: the return reads first, written by no one.
void TestNetworkLink::nothingHeldAfterAFailure()
{
    FakeDeadline deadline;
    NetworkLink link;
    link.setDeadline(deadline);
    link.setPortName(QStringLiteral("tcp://127.0.0.1:%1").arg(freePort()));
    QSignalSpy failed(&link, &NetworkLink::portFailed);
    QVERIFY(link.open());
    QTRY_COMPARE(failed.count(), 1);
    QCOMPARE(link.openFailure(), OpenFailure::ConnectionRefused);

    QVERIFY(link.open());
    QVERIFY(link.isOpening());
    QVERIFY(!link.write(hex("18")));
    QTRY_COMPARE(failed.count(), 2);
}

void TestNetworkLink::rfc2217Negotiates()
{
    Server s;
    FakeDeadline deadline;
    NetworkLink link;
    link.setDeadline(deadline);
    link.setPortName(s.url("rfc2217"));
    QSignalSpy opened(&link, &NetworkLink::openChanged);
    QVERIFY(link.open());
    QVERIFY(link.write(hex("08"))); // held until the negotiation is done
    QVERIFY(s.waitForClient());
    // The client's offers come first; ser2net's opening answers them.
    QVERIFY(s.waitForBytes(hex("ff fb 00 ff fd 00 ff fb 2c")));
    QCOMPARE(deadline.limitMs(), NetworkLink::kNegotiationTimeoutMs);
    s.send(hex(kOpening));
    QVERIFY(s.waitForBytes(hex("ff fa 2c 05 01 ff f0")));
    QVERIFY(!link.isOpen());
    // The held byte waits for the replies.
    QVERIFY(s.received.endsWith(hex("ff fa 2c 05 01 ff f0")));
    s.send(hex(kReplies));
    QTRY_VERIFY(link.isOpen());
    QCOMPARE(opened.count(), 1);
    QVERIFY(!deadline.isActive());
    QVERIFY(s.waitForBytes(hex("08")));

    // 0xFF doubled going out; the input discard purges the server's receive buffer only.
    s.received.clear();
    QVERIFY(link.write(hex("18 ff 00")));
    link.discardInput();
    QVERIFY(s.waitForBytes(hex("18 ff ff 00 ff fa 2c 0c 01 ff f0")));
    QCOMPARE(s.received, hex("18 ff ff 00 ff fa 2c 0c 01 ff f0"));
    // The output discard sends nothing (never a purge of the server's transmit buffer): the
    // next byte written is the next on the wire.
    s.received.clear();
    link.discardOutput();
    QVERIFY(link.write(hex("5a")));
    QVERIFY(s.waitForBytes(hex("5a")));
    QCOMPARE(s.received, hex("5a"));

    // IAC IAC and notifications from the server: only the data is read.
    QSignalSpy events(&link, &NetworkLink::commEvent);
    link.setReceiveThreshold(3);
    s.send(hex("06 ff ff ff fa 2c 6b 30 ff f0 ff fa 2c 70 01 ff f0"));
    QTRY_COMPARE(link.bytesWaiting(), 2);
    QCOMPARE(countEvents(events, CommEvent::ReceiveThreshold), 0);
    s.send(hex("5a"));
    QTRY_COMPARE(countEvents(events, CommEvent::ReceiveThreshold), 1);
    QCOMPARE(link.read(), hex("06 ff 5a"));
}

void TestNetworkLink::openFailures_data()
{
    QTest::addColumn<QString>("scheme");
    QTest::addColumn<QString>("server"); // what the server does: refuse, silent, text, close, ...
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("message");

    QTest::newRow("not a URL") << "bad" << "none" << int(OpenFailure::NoSuchDevice)
                               << "no port (tcp://HOST:PORT or rfc2217://HOST:PORT)";
    QTest::newRow("host not found") << "tcp" << "no host" << int(OpenFailure::HostNotFound)
                                    << "host not found";
    QTest::newRow("connection refused") << "tcp" << "nothing listens"
                                        << int(OpenFailure::ConnectionRefused)
                                        << "connection refused (nothing listens there)";
    QTest::newRow("connection timed out") << "tcp" << "time runs out connecting"
                                          << int(OpenFailure::TimedOut)
                                          << "connection timed out after 5 s";
    QTest::newRow("raw: ser2net's port in use") << "tcp" << "Port already in use\r\n"
                                                << int(OpenFailure::Busy)
                                                << "busy, in use by another client (the server "
                                                   "says \"Port already in use\")";
    QTest::newRow("raw: the server closes at once") << "tcp" << "close" << int(OpenFailure::Other)
                                                    << "the server closed the connection at once";
    QTest::newRow("raw: ser2net cannot open its device")
        << "tcp" << "Device open failure: Value or file not found\r\n" << int(OpenFailure::Other)
        << "the server sent text instead of data: \"Device open failure: Value or file not "
           "found\"";
    QTest::newRow("rfc2217: never answered") << "rfc2217" << "silent"
                                             << int(OpenFailure::NegotiationFailed)
                                             << "RFC 2217 negotiation not answered within 3 s "
                                                "(still awaited: BINARY, COM-PORT-OPTION)";
    QTest::newRow("rfc2217: BINARY refused") << "rfc2217" << "refuse binary"
                                             << int(OpenFailure::NegotiationFailed)
                                             << "RFC 2217 negotiation refused: the server "
                                                "refuses BINARY";
    QTest::newRow("rfc2217: ser2net's device in use")
        << "rfc2217" << "opening, then Port's device already in use\r\n" << int(OpenFailure::Busy)
        << "busy, in use by another client (the server says \"Port's device already in use\")";
    QTest::newRow("rfc2217: closed while negotiating") << "rfc2217" << "close"
                                                       << int(OpenFailure::Other)
                                                       << "the server closed the connection "
                                                          "during the RFC 2217 negotiation";
}

void TestNetworkLink::openFailures()
{
    QFETCH(QString, scheme);
    QFETCH(QString, server);
    QFETCH(int, kind);
    QFETCH(QString, message);

    Server s;
    s.onAccept = [server](QTcpSocket &client) {
        if (server == u"close") {
            client.disconnectFromHost();
        } else if (server == u"refuse binary") {
            client.write(hex("ff fe 00"));
        } else if (server.startsWith(u"opening, then ")) {
            client.write(hex(kOpening) + server.mid(14).toLatin1());
            client.disconnectFromHost();
        } else if (server.endsWith(u"\r\n")) {
            client.write(server.toLatin1());
            client.disconnectFromHost();
        }
    };
    QString device;
    if (server == u"no host")
        device = QStringLiteral("%1://no-such-host.invalid:4000").arg(scheme);
    else if (server == u"nothing listens")
        device = QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(freePort());
    else if (scheme == u"bad")
        device = QStringLiteral("tcp://somewhere");
    else if (server == u"time runs out connecting")
        // A name is looked up in the background: the time runs out before it is connected.
        device = QStringLiteral("tcp://localhost:%1").arg(s.server.serverPort());
    else
        device = s.url(qPrintable(scheme));

    FakeDeadline deadline;
    NetworkLink link;
    link.setDeadline(deadline);
    link.setPortName(device);
    QSignalSpy failed(&link, &NetworkLink::portFailed);
    QSignalSpy opened(&link, &NetworkLink::openChanged);
    const bool underWay = link.open();
    QCOMPARE(underWay, scheme != u"bad");
    if (server == u"time runs out connecting") {
        deadline.fire();
    } else if (server == u"silent") {
        QVERIFY(s.waitForClient());
        QTRY_COMPARE(deadline.limitMs(), NetworkLink::kNegotiationTimeoutMs);
        deadline.fire();
    }
    QTRY_COMPARE(failed.count(), 1);
    QCOMPARE(failed.first().first().toString(), device + QStringLiteral(": ") + message);
    QCOMPARE(link.errorString(), device + QStringLiteral(": ") + message);
    QCOMPARE(int(link.openFailure()), kind);
    QVERIFY(!link.isOpen());
    QVERIFY(!link.isOpening());
    QCOMPARE(opened.count(), 0);
    // Reported once.
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();
    QCOMPARE(failed.count(), 1);
}

void TestNetworkLink::lossIsReportedOnceAndReopens()
{
    Server s;
    FakeDeadline deadline;
    NetworkLink link;
    link.setDeadline(deadline);
    link.setPortName(s.url("tcp"));
    QVERIFY(link.open());
    QVERIFY(s.waitForClient());
    QTRY_COMPARE(deadline.limitMs(), NetworkLink::kSettleMinMs);
    deadline.fire();
    QVERIFY(link.isOpen());

    QSignalSpy failed(&link, &NetworkLink::portFailed);
    QSignalSpy opened(&link, &NetworkLink::openChanged);
    s.client->disconnectFromHost();
    QTRY_COMPARE(opened.count(), 1);
    QCOMPARE(opened.first().first().toBool(), false);
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.first().first().toString(),
             s.url("tcp") + QStringLiteral(": connection lost (the server closed it)"));
    QVERIFY(!link.isOpen());
    QVERIFY(!link.write(hex("28")));

    s.client = nullptr;
    QVERIFY(link.open());
    QVERIFY(s.waitForClient());
    QTRY_COMPARE(deadline.limitMs(), NetworkLink::kSettleMinMs);
    deadline.fire();
    QVERIFY(link.isOpen());
    QCOMPARE(opened.count(), 2);
    QCOMPARE(failed.count(), 1);
}

void TestNetworkLink::deviceLinkPicksTheTransport()
{
    Server s;
    DeviceLink link;
    FakeDeadline deadline;
    link.networkLink().setDeadline(deadline);
    QSignalSpy opened(&link, &DeviceLink::openChanged);
    QSignalSpy failed(&link, &DeviceLink::portFailed);

    link.setPortName(QStringLiteral("/dev/no-such-vantor-port"));
    QVERIFY(!link.open());
    QCOMPARE(link.transport(), Transport::Tty);
    QCOMPARE(link.openFailure(), OpenFailure::NoSuchDevice);
    QCOMPARE(failed.count(), 1);

    link.setPortName(s.url("tcp"));
    QVERIFY(link.open());
    QCOMPARE(link.transport(), Transport::Tcp);
    QVERIFY(s.waitForClient());
    QTRY_COMPARE(deadline.limitMs(), NetworkLink::kSettleMinMs);
    deadline.fire();
    QVERIFY(link.isOpen());
    QCOMPARE(opened.count(), 1);
    QCOMPARE(link.portName(), s.url("tcp"));
    QVERIFY(link.write(hex("28")));
    QVERIFY(s.waitForBytes(hex("28")));

    // Back to a tty: the connection is let go first.
    link.setPortName(QStringLiteral("/dev/no-such-vantor-port"));
    QVERIFY(!link.open());
    QCOMPARE(opened.count(), 2);
    QCOMPARE(opened.last().first().toBool(), false);
    QCOMPARE(link.transport(), Transport::Tty);
    QTRY_VERIFY(s.client->state() != QAbstractSocket::ConnectedState);
}

// vantor-sim --listen: the board over raw TCP, one client at a time; a second is told it is
// busy in words the link reports as such.
void TestNetworkLink::boardServerServesOneClient()
{
    vantor::sim::SimulatedBoard board;
    board.setPaced(false);
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    vantor::sim::BoardServer server(board);
    QVERIFY2(server.listen(QHostAddress::LocalHost, 0), qPrintable(server.errorString()));
    const QString url = QStringLiteral("tcp://127.0.0.1:%1").arg(server.port());

    NetworkLink first;
    FakeDeadline deadline;
    first.setDeadline(deadline);
    first.setPortName(url);
    QVERIFY(first.open());
    QTRY_VERIFY(server.hasClient());
    QTRY_COMPARE(deadline.limitMs(), NetworkLink::kSettleMinMs);
    deadline.fire();
    QVERIFY(first.isOpen());
    first.setReceiveThreshold(168);
    QSignalSpy events(&first, &NetworkLink::commEvent);
    QVERIFY(first.write(hex("28")));
    QTRY_COMPARE(countEvents(events, CommEvent::ReceiveThreshold), 1);
    const QByteArray answer = first.read();
    QCOMPARE(answer.size(), 168);
    const auto snapshot = board.model().snapshot(0);
    QCOMPARE(answer, QByteArray(reinterpret_cast<const char *>(snapshot.data()), 168));

    NetworkLink second;
    FakeDeadline secondDeadline;
    second.setDeadline(secondDeadline);
    second.setPortName(url);
    QSignalSpy failed(&second, &NetworkLink::portFailed);
    QVERIFY(second.open());
    QTRY_COMPARE(failed.count(), 1);
    QCOMPARE(second.openFailure(), OpenFailure::Busy);
    QVERIFY2(second.errorString().contains(QStringLiteral("busy, in use by another client")),
             qPrintable(second.errorString()));
    QVERIFY(first.isOpen());

    // The first goes; the next client is served.
    first.close();
    QTRY_VERIFY(!server.hasClient());
    QSignalSpy reopened(&second, &NetworkLink::openChanged);
    QVERIFY(second.open());
    QTRY_VERIFY(server.hasClient());
    QTRY_COMPARE(secondDeadline.limitMs(), NetworkLink::kSettleMinMs);
    secondDeadline.fire();
    QCOMPARE(reopened.count(), 1);
    QVERIFY(second.isOpen());
}

QTEST_GUILESS_MAIN(TestNetworkLink)

#include "test_networklink.moc"
