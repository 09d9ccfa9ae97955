// SPDX-License-Identifier: MIT
// vantor-cli metrics against the simulated board in this process: the exposition passes
// promtool, the HTTP server shrugs off bad, oversized and slow requests, and the board going
// away shows as vantor_board_up 0 until the line is back.

#include "clirun.h"

#include <boardonpty.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTest>

#include <csignal>
#include <memory>

using namespace vantor;

namespace {

constexpr int kStartMs = 10000;
// The server's own limit for a request head to be complete.
constexpr int kHeadTimeoutMs = 1000;

// What came back on one connection: everything until the server closed it.
struct Reply
{
    bool closed = false; // by the server, within the wait
    QByteArray bytes;

    [[nodiscard]] int status() const
    {
        const QList<QByteArray> words = bytes.left(bytes.indexOf('\r')).split(' ');
        return words.size() >= 2 ? words[1].toInt() : 0;
    }
    [[nodiscard]] QByteArray body() const { return bytes.mid(bytes.indexOf("\r\n\r\n") + 4); }
};

// Sends the bytes (then, if given, more after a pause) and waits for the server to close.
Reply exchange(quint16 port, const QByteArray &request, int waitMs = 3000)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    Reply reply;
    if (!socket.waitForConnected(2000))
        return reply;
    socket.write(request);
    reply.closed = QTest::qWaitFor(
        [&] {
            reply.bytes += socket.readAll();
            return socket.state() == QAbstractSocket::UnconnectedState;
        },
        waitMs);
    reply.bytes += socket.readAll();
    return reply;
}

QByteArray sample(const QByteArray &text, const QByteArray &series)
{
    for (const QByteArray &line : text.split('\n')) {
        if (line.startsWith(series + ' '))
            return line.mid(series.size() + 1);
    }
    return {};
}

} // namespace

class TestCliMetrics : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void expositionPassesPromtool();
    void badRequestsDoNotStopTheScrapes_data();
    void badRequestsDoNotStopTheScrapes();
    void boardDownAndBack();
    void absentAtStart();

private:
    bool startCli();
    void verifyStampedLines();
    // Ended by SIGTERM: its exit status, and what it said.
    int stop();
    QByteArray scrape();
    QByteArray up() { return sample(scrape(), m_upSeries); }

    std::unique_ptr<vantor::testing::BoardOnPty> m_pty;
    sim::SimulatedBoard *m_board = nullptr;
    std::unique_ptr<QProcess> m_cli;
    QString m_stderr;
    quint16 m_port = 0;
    QString m_textfile;
    QByteArray m_upSeries;
};

void TestCliMetrics::initTestCase()
{
    QVERIFY2(QFile::exists(testing::cliPath()), qPrintable(testing::cliPath() + " is missing"));
    if (QStandardPaths::findExecutable(QStringLiteral("promtool")).isEmpty())
        QFAIL("promtool is missing: install the Debian package prometheus (scripts/install-deps)");
}

void TestCliMetrics::init()
{
    m_pty = std::make_unique<vantor::testing::BoardOnPty>();
    m_board = &m_pty->board;
    QVERIFY2(m_pty->start(false), qPrintable(m_board->errorString()));
    m_textfile = m_pty->dir.filePath(QStringLiteral("vantor.prom"));
    m_upSeries = "vantor_board_up{device=\"" + m_board->devicePath().toUtf8() + "\"}";

    QVERIFY(startCli());
    QTRY_COMPARE_WITH_TIMEOUT(up(), QByteArray("1"), kStartMs);
}

bool TestCliMetrics::startCli()
{
    m_stderr.clear();
    m_cli = std::make_unique<QProcess>();
    connect(m_cli.get(), &QProcess::readyReadStandardError, this,
            [this] { m_stderr += QString::fromLocal8Bit(m_cli->readAllStandardError()); });
    m_cli->start(testing::cliPath(),
                 { "-d", m_board->devicePath(), "--timeout", "300", "metrics", "--listen",
                   "127.0.0.1:0", "--textfile", m_textfile, "--interval", "100" });
    if (!m_cli->waitForStarted(kStartMs))
        return false;
    static const QRegularExpression serving(QStringLiteral("serving http://127.0.0.1:(\\d+)/"));
    QRegularExpressionMatch match;
    if (!QTest::qWaitFor([&] { return (match = serving.match(m_stderr)).hasMatch(); }, kStartMs))
        return false;
    m_port = static_cast<quint16>(match.captured(1).toUInt());
    return true;
}

void TestCliMetrics::verifyStampedLines()
{
    static const QRegularExpression stamp(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z vantor-cli: "));
    const QStringList lines = m_stderr.split(u'\n', Qt::SkipEmptyParts);
    QVERIFY(!lines.isEmpty());
    for (const QString &line : lines)
        QVERIFY2(stamp.match(line).hasMatch(), qPrintable(line));
}

void TestCliMetrics::cleanup()
{
    if (m_cli && m_cli->state() != QProcess::NotRunning) {
        m_cli->kill();
        m_cli->waitForFinished();
    }
    m_cli.reset();
    m_pty.reset();
    m_stderr.clear();
}

int TestCliMetrics::stop()
{
    ::kill(static_cast<pid_t>(m_cli->processId()), SIGTERM);
    if (!QTest::qWaitFor([this] { return m_cli->state() == QProcess::NotRunning; }, kStartMs))
        return -1;
    return m_cli->exitStatus() == QProcess::NormalExit ? m_cli->exitCode() : -1;
}

QByteArray TestCliMetrics::scrape()
{
    const Reply reply = exchange(m_port, "GET /metrics HTTP/1.1\r\nHost: localhost\r\n\r\n");
    return reply.status() == 200 ? reply.body() : QByteArray();
}

// The same text over HTTP and in the file, and both pass promtool's checks and lints.
void TestCliMetrics::expositionPassesPromtool()
{
    const Reply reply = exchange(m_port, "GET /metrics HTTP/1.0\r\n\r\n");
    QCOMPARE(reply.status(), 200);
    QVERIFY(reply.bytes.contains("\r\nContent-Type: text/plain; version=0.0.4"));
    const QByteArray text = reply.body();
    QVERIFY(text.contains(",port=\"5\",state=\"fault\"} 1\n"));
    QVERIFY(text.contains(",port=\"5\",fault=\"overload\"} 1\n"));
    QVERIFY(text.contains(",port=\"2\"} 0.26\n")); // 260 mA in amperes

    QFile file(m_textfile);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray saved = file.readAll();
    for (const QByteArray &exposition : { text, saved }) {
        QProcess promtool;
        promtool.start(QStringLiteral("promtool"), { "check", "metrics" });
        QVERIFY(promtool.waitForStarted());
        promtool.write(exposition);
        promtool.closeWriteChannel();
        QVERIFY(QTest::qWaitFor([&] { return promtool.state() == QProcess::NotRunning; }, 20000));
        QVERIFY2(promtool.exitCode() == 0,
                 qPrintable(promtool.readAllStandardOutput() + promtool.readAllStandardError()));
    }
    QCOMPARE(stop(), 143);
}

void TestCliMetrics::badRequestsDoNotStopTheScrapes_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("waitMs");
    QTest::addColumn<int>("status"); // 0: dropped without an answer

    QTest::newRow("not HTTP") << QByteArray("GARBAGE\r\n\r\n") << 3000 << 400;
    QTest::newRow("another method") << QByteArray("POST /metrics HTTP/1.1\r\n\r\n") << 3000 << 405;
    QTest::newRow("another path") << QByteArray("GET /admin HTTP/1.1\r\n\r\n") << 3000 << 404;
    QTest::newRow("another version") << QByteArray("GET /metrics HTTP/2.0\r\n\r\n") << 3000 << 505;
    QTest::newRow("oversized") << "GET /metrics HTTP/1.1\r\nX-Pad: " + QByteArray(9000, 'a') << 3000
                               << 431;
    QTest::newRow("never completed") << QByteArray("GET /metr") << kHeadTimeoutMs + 2000 << 0;
}

void TestCliMetrics::badRequestsDoNotStopTheScrapes()
{
    QFETCH(QByteArray, request);
    QFETCH(int, waitMs);
    QFETCH(int, status);

    const Reply reply = exchange(m_port, request, waitMs);
    QVERIFY2(reply.closed, "the server must close the connection");
    if (status == 0)
        QVERIFY2(reply.bytes.isEmpty(), reply.bytes.constData());
    else
        QCOMPARE(reply.status(), status);
    QCOMPARE(up(), QByteArray("1"));
    QCOMPARE(stop(), 143);
}

// A lost line: told once, up 0 while it is away, reopened and up again, exit 1 at the end.
void TestCliMetrics::boardDownAndBack()
{
    m_board->hangUp();
    QTRY_COMPARE_WITH_TIMEOUT(up(), QByteArray("0"), kStartMs);
    QVERIFY2(!scrape().contains("vantor_port_current_amperes"), "no readings while it is down");
    QVERIFY(m_board->restart());
    QTRY_COMPARE_WITH_TIMEOUT(up(), QByteArray("1"), kStartMs);

    // Silent for a while: time-outs counted, up 0, and told once however many there are.
    m_board->injectFault({ sim::Fault::Silent });
    QTRY_COMPARE_WITH_TIMEOUT(up(), QByteArray("0"), kStartMs);
    QTRY_VERIFY_WITH_TIMEOUT(
        sample(scrape(),
               "vantor_board_timeouts_total{device=\"" + m_board->devicePath().toUtf8() + "\"}")
                .toInt()
            >= 3,
        kStartMs);
    m_board->clearFault();
    QTRY_COMPARE_WITH_TIMEOUT(up(), QByteArray("1"), kStartMs);

    QCOMPARE(stop(), 143);
    QCOMPARE(m_stderr.count(QStringLiteral("line lost")), 1);
    QCOMPARE(m_stderr.count(QStringLiteral("reopened")), 1);
    QCOMPARE(m_stderr.count(QStringLiteral("no answer to the port status refresh")), 1);
    verifyStampedLines();
}

// No device at the start: served as a board that is down, opened once it appears.
void TestCliMetrics::absentAtStart()
{
    QCOMPARE(stop(), 143);
    m_board->stop();
    QVERIFY(startCli());
    QCOMPARE(up(), QByteArray("0"));
    QTRY_VERIFY_WITH_TIMEOUT(m_stderr.contains(QStringLiteral("waiting for it")), kStartMs);
    QVERIFY(m_board->restart());
    QTRY_COMPARE_WITH_TIMEOUT(up(), QByteArray("1"), kStartMs);
    QCOMPARE(stop(), 143);
    QCOMPARE(m_stderr.count(QStringLiteral("waiting for it")), 1);
    QCOMPARE(m_stderr.count(QStringLiteral("opened")), 1);
    verifyStampedLines();
}

QTEST_GUILESS_MAIN(TestCliMetrics)
#include "test_cli_metrics.moc"
