// SPDX-License-Identifier: MIT
// The real vantor-share between the simulated board (in this process, paced at 19200 bit/s)
// and real clients at once: raw TCP clients speaking the board's protocol, the panel over TCP
// and vantor-cli on the share's pseudo-terminals. Judged by what each client got and by the board's
// wire log.

#include <boardonpty.h>

#include <frames/commands.h>
#include <share/sharecore.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <memory>

using vantor::sim::SimulatedBoard;

namespace {

constexpr int kStartMs = 10000;
constexpr qsizetype kSnapshot = qsizetype(vantor::protocol::kSnapshotSize);

QString exe(const char *name)
{
    return qEnvironmentVariable("VANTOR_BINARY_DIR") + QStringLiteral("/app/") + name;
}

// A client of the share's TCP listener that asks a port status refresh every intervalMs (0:
// only when told) and keeps what it is answered.
class RawClient : public QObject
{
public:
    explicit RawClient(quint16 port, int intervalMs = 0)
    {
        socket.connectToHost(QHostAddress::LocalHost, port);
        connect(&socket, &QTcpSocket::readyRead, this, [this] {
            received += socket.readAll();
            while (received.size() >= kSnapshot) {
                answers.append(received.left(kSnapshot));
                answerTimesMs.append(clock.elapsed());
                received.remove(0, kSnapshot);
            }
        });
        clock.start();
        if (intervalMs > 0) {
            timer.setInterval(intervalMs);
            connect(&timer, &QTimer::timeout, this, [this] { send("28"); });
            timer.start();
        }
    }
    bool waitConnected() { return socket.waitForConnected(kStartMs); }
    void send(const QByteArray &hex)
    {
        socket.write(QByteArray::fromHex(hex));
        socket.flush();
    }

    QTcpSocket socket;
    QTimer timer;
    QElapsedTimer clock;
    QByteArray received;
    QList<QByteArray> answers;
    QList<qint64> answerTimesMs;
};

// Every row of a CSV without its first column (the timestamp).
QStringList withoutTimestamps(const QByteArray &csv)
{
    QStringList rows;
    for (const QByteArray &line : csv.split('\n')) {
        if (!line.isEmpty())
            rows.append(QString::fromUtf8(line.mid(line.indexOf(',') + 1)));
    }
    return rows;
}

// The body of GET /metrics.
QByteArray scrape(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(kStartMs))
        return {};
    socket.write("GET /metrics HTTP/1.0\r\n\r\n");
    QByteArray reply;
    const bool closed = QTest::qWaitFor(
        [&] {
            reply += socket.readAll();
            return socket.state() == QAbstractSocket::UnconnectedState;
        },
        kStartMs);
    reply += socket.readAll();
    if (!closed)
        return {};
    return reply.mid(reply.indexOf("\r\n\r\n") + 4);
}

QByteArray runCli(const QStringList &arguments)
{
    QProcess cli;
    cli.start(exe("vantor-cli"), arguments);
    if (!QTest::qWaitFor([&] { return cli.state() == QProcess::NotRunning; }, 30000))
        cli.kill();
    cli.waitForFinished();
    return cli.exitCode() == 0 ? cli.readAllStandardOutput() : QByteArray("failed");
}

} // namespace

class E2EShare : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void clientsAtOnceGetWhatTheyGetAlone();
    void clientKilledMidBlockLeavesNoWrite();
    void readOnlyListenerPassesNoWrite();
    void boardPulledAndBack();

private:
    void startShare(const QStringList &listeners);
    [[nodiscard]] QString pty(const QString &name) const { return m_pty->dir.filePath(name); }
    // Commands the share sent to the board that arrived while an answer was still going out
    // or in a write's block: none may.
    void verifyOneTransactionAtATime();

    std::unique_ptr<vantor::testing::BoardOnPty> m_pty;
    SimulatedBoard *m_board = nullptr;
    std::unique_ptr<QProcess> m_share;
    QString m_shareLog;
    QList<quint16> m_ports;
    quint16 m_metricsPort = 0;
    std::unique_ptr<QSignalSpy> m_cut;
    std::unique_ptr<QSignalSpy> m_dropped;
};

void E2EShare::init()
{
    m_pty = std::make_unique<vantor::testing::BoardOnPty>();
    m_board = &m_pty->board;
    QVERIFY2(m_pty->start(true), qPrintable(m_board->errorString()));
    m_cut = std::make_unique<QSignalSpy>(m_board, &SimulatedBoard::answerCut);
    m_dropped = std::make_unique<QSignalSpy>(m_board, &SimulatedBoard::payloadDropped);
}

void E2EShare::cleanup()
{
    if (m_share && m_share->state() != QProcess::NotRunning) {
        m_share->terminate();
        if (!m_share->waitForFinished(5000))
            m_share->kill();
    }
    if (QTest::currentTestFailed())
        qWarning().noquote() << "vantor-share said:\n" << m_shareLog;
    m_share.reset();
    m_cut.reset();
    m_dropped.reset();
    m_pty.reset();
    m_shareLog.clear();
    m_ports.clear();
    m_metricsPort = 0;
}

void E2EShare::startShare(const QStringList &listeners)
{
    m_share = std::make_unique<QProcess>();
    connect(m_share.get(), &QProcess::readyReadStandardError, this,
            [this] { m_shareLog += QString::fromLocal8Bit(m_share->readAllStandardError()); });
    m_share->start(exe("vantor-share"),
                   QStringList { "--device", m_board->devicePath() } + listeners);
    QVERIFY2(m_share->waitForStarted(kStartMs), qPrintable(m_share->errorString()));
    const int tcp = int(listeners.count(QStringLiteral("--listen"))
                        + listeners.count(QStringLiteral("--listen-read-only")));
    QByteArray out;
    QVERIFY(QTest::qWaitFor(
        [&] {
            out += m_share->readAllStandardOutput();
            return out.count("listen ") >= tcp
                && (!listeners.contains(u"--metrics") || out.contains("metrics "))
                && m_shareLog.contains(u"answering");
        },
        kStartMs));
    for (const QByteArray &line : out.split('\n')) {
        if (line.startsWith("listen "))
            m_ports.append(quint16(line.mid(7).toUInt()));
        if (line.startsWith("metrics "))
            m_metricsPort = quint16(line.mid(8).toUInt());
    }
}

void E2EShare::verifyOneTransactionAtATime()
{
    QVERIFY2(m_cut->isEmpty(), "a command reached the board while an answer was going out");
    QVERIFY2(m_dropped->isEmpty(), "a write's block reached the board incomplete");
}

void E2EShare::clientsAtOnceGetWhatTheyGetAlone()
{
    startShare({ "--listen", "0", "--pty", pty("watch"), "--pty", pty("metrics") });
    QProcess panel;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QTemporaryDir config;
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    panel.setProcessEnvironment(env);
    // The panel over the network, the command lines on pseudo-terminals, raw clients on TCP.
    panel.start(exe("vantor-panel"),
                { "--com1", QStringLiteral("tcp://127.0.0.1:%1").arg(m_ports.first()) });
    // Its start-up writes went through the share whole.
    QVERIFY(QTest::qWaitFor(
        [&] { return m_board->model().systemWrites() == 1 && m_board->model().portWrites(0) == 1; },
        kStartMs));

    QProcess metrics;
    const QString textfile = m_pty->dir.filePath(QStringLiteral("vantor.prom"));
    metrics.start(exe("vantor-cli"),
                  { "-d", pty("metrics"), "metrics", "--textfile", textfile, "--interval", "500" });
    std::vector<std::unique_ptr<RawClient>> raw;
    for (int i = 0; i < 3; ++i) {
        raw.push_back(std::make_unique<RawClient>(m_ports.first(), 500));
        QVERIFY(raw.back()->waitConnected());
    }
    const QByteArray together
        = runCli({ "-d", pty("watch"), "watch", "--count", "6", "-O", "csv" });
    QVERIFY(QTest::qWaitFor(
        [&] {
            QFile file(textfile);
            return file.open(QIODevice::ReadOnly) && file.readAll().contains("vantor_board_up");
        },
        kStartMs));
    QFile file(textfile);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY2(file.readAll().contains("\nvantor_board_up{device="), "metrics saw no board");
    metrics.terminate();
    metrics.waitForFinished();
    panel.terminate();
    panel.waitForFinished();
    const QByteArray snapshot = m_pty->snapshot(0);
    for (const auto &client : raw) {
        QVERIFY2(client->answers.size() >= 4, "a raw client went without answers");
        for (const QByteArray &answer : std::as_const(client->answers))
            QCOMPARE(answer.toHex(), snapshot.toHex());
        QVERIFY(client->received.isEmpty());
    }
    raw.clear();
    verifyOneTransactionAtATime();

    const QByteArray alone = runCli({ "-d", pty("watch"), "watch", "--count", "6", "-O", "csv" });
    QCOMPARE(withoutTimestamps(together), withoutTimestamps(alone));
    QCOMPARE(withoutTimestamps(together).size(), 1 + 6 * 8);
}

void E2EShare::clientKilledMidBlockLeavesNoWrite()
{
    startShare({ "--listen", "0" });
    const int writesBefore = m_board->model().systemWrites();
    m_board->clear();
    {
        RawClient writer(m_ports.first());
        QVERIFY(writer.waitConnected());
        writer.send("18");
        QVERIFY(QTest::qWaitFor([&] { return writer.received == QByteArray(1, 0x06); }, kStartMs));
        writer.send("0800000080");
        QTest::qWait(50);
        writer.socket.abort();
    }
    RawClient reader(m_ports.first());
    QVERIFY(reader.waitConnected());
    QElapsedTimer asked;
    asked.start();
    reader.send("08");
    QVERIFY(QTest::qWaitFor([&] { return !reader.answers.isEmpty(); }, kStartMs));
    // A whole read on the paced line takes 88 ms; the board never waited for the writer.
    QVERIFY2(asked.elapsed() < 1000, qPrintable(QString::number(asked.elapsed())));
    QCOMPARE(m_board->bytesFromPanel().toHex(), QByteArray("08"));
    QCOMPARE(m_board->model().systemWrites(), writesBefore);
    QTRY_VERIFY(m_shareLog.contains(u"nothing sent for it"));
    verifyOneTransactionAtATime();
}

void E2EShare::readOnlyListenerPassesNoWrite()
{
    startShare({ "--listen-read-only", "0", "--metrics", "0" });
    m_board->clear();
    RawClient client(m_ports.first());
    QVERIFY(client.waitConnected());
    // Had the write been acknowledged, its 0x06 would come before the answer.
    client.send("18");
    client.send("28");
    QVERIFY(QTest::qWaitFor([&] { return !client.answers.isEmpty(); }, kStartMs));
    QCOMPARE(client.answers.first().toHex(), m_pty->snapshot(0).toHex());
    QVERIFY(!m_board->bytesFromPanel().contains(char(vantor::protocol::kSystemWriteCode)));
    QTRY_VERIFY(m_shareLog.contains(u"not passed on: the listener is read-only"));

    // The refusal is counted, in an exposition Prometheus accepts.
    QByteArray text;
    QVERIFY(QTest::qWaitFor(
        [&] {
            text = scrape(m_metricsPort);
            return text.contains("vantor_share_refused_writes_total{reason=\"read_only\"} 1\n");
        },
        kStartMs));
    QVERIFY(text.contains("\nvantor_share_clients 1\n"));
    QProcess promtool;
    promtool.start(QStringLiteral("promtool"), { "check", "metrics" });
    QVERIFY2(promtool.waitForStarted(), "promtool (Debian package prometheus) is missing");
    promtool.write(text);
    promtool.closeWriteChannel();
    QVERIFY(QTest::qWaitFor([&] { return promtool.state() == QProcess::NotRunning; }, 20000));
    QVERIFY2(promtool.exitCode() == 0,
             qPrintable(promtool.readAllStandardOutput() + promtool.readAllStandardError()));
}

void E2EShare::boardPulledAndBack()
{
    startShare({ "--listen", "0", "--pty", pty("watch") });
    std::vector<std::unique_ptr<RawClient>> raw;
    for (int i = 0; i < 2; ++i) {
        raw.push_back(std::make_unique<RawClient>(m_ports.first(), 500));
        QVERIFY(raw.back()->waitConnected());
    }
    QProcess watch;
    watch.start(exe("vantor-cli"), { "-d", pty("watch"), "watch", "-O", "csv" });
    QVERIFY(
        QTest::qWaitFor([&] { return watch.readAllStandardOutput().contains(",0,8,"); }, kStartMs));

    m_board->hangUp();
    QTRY_VERIFY_WITH_TIMEOUT(m_shareLog.contains(u"board lost"), kStartMs);
    QTest::qWait(3000);
    const QList<qsizetype> before { raw[0]->answers.size(), raw[1]->answers.size() };
    m_board->clear();
    QVERIFY(m_board->restart());
    QElapsedTimer back;
    back.start();
    QVERIFY(QTest::qWaitFor(
        [&] { return raw[0]->answers.size() > before[0] && raw[1]->answers.size() > before[1]; },
        kStartMs));
    QVERIFY(
        QTest::qWaitFor([&] { return watch.readAllStandardOutput().contains(",0,8,"); }, kStartMs));
    qInfo() << "every client answered" << back.elapsed() << "ms after the board's return";
    // The share's own whole read comes first, and the share wrote nothing.
    const QByteArray wire = m_board->bytesFromPanel();
    QVERIFY(!wire.isEmpty());
    QCOMPARE(quint8(wire.front()), vantor::protocol::kWholeReadBase);
    QVERIFY(!wire.contains(char(vantor::protocol::kSystemWriteCode)));
    watch.terminate();
    watch.waitForFinished();
    QTRY_VERIFY(m_shareLog.contains(u"answering"));
}

QTEST_GUILESS_MAIN(E2EShare)
#include "test_e2e_share.moc"
