// SPDX-License-Identifier: MIT
// Two simulated boards (8 ports, and 16 through --group all) behind two vantor-cli metrics,
// scraped every second by a real Prometheus server on loopback; what its HTTP API answers is
// what a lab's dashboards and alerts would see.

#include "clirun.h"

#include <boardonpty.h>

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTest>
#include <QUrlQuery>

#include <memory>
#include <set>

using namespace vantor;

namespace {

constexpr int kStartMs = 30000;
constexpr int kScrapeMs = 1000;

struct Exporter
{
    std::unique_ptr<testing::BoardOnPty> pty;
    std::unique_ptr<QProcess> cli;
    QString err;
    quint16 port = 0;
};

// A port nobody listens on now, for a server that takes no port 0.
quint16 freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

} // namespace

class TestCliPrometheus : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void everyPortOfBothBoards();
    void boardDownAndBack();
    void portCountReadAgainAfterReconnection();

private:
    static bool setPortCount(Exporter &e, int portCount);
    bool startExporter(Exporter &e, int portCount);
    // The result vector of an instant query; empty when there is none (yet).
    QJsonArray query(const QString &expression);
    // The value of a query with one result, or NaN.
    double scalar(const QString &expression);

    QTemporaryDir m_dir;
    Exporter m_small; // 8 ports, one group
    Exporter m_large; // 16 ports, --group all
    QProcess m_prometheus;
    quint16 m_apiPort = 0;
    QNetworkAccessManager m_network;
};

bool TestCliPrometheus::startExporter(Exporter &e, int portCount)
{
    e.pty = std::make_unique<testing::BoardOnPty>();
    if (!e.pty->start(false, QStringLiteral("board%1").arg(portCount)))
        return false;
    if (!setPortCount(e, portCount))
        return false;
    e.cli = std::make_unique<QProcess>();
    Exporter *self = &e;
    connect(e.cli.get(), &QProcess::readyReadStandardError, this,
            [self] { self->err += QString::fromLocal8Bit(self->cli->readAllStandardError()); });
    QStringList args { "-d", e.pty->board.devicePath(), "--timeout", "300" };
    if (portCount > 8)
        args << "--group"
             << "all";
    e.cli->start(testing::cliPath(),
                 args + QStringList { "metrics", "--listen", "127.0.0.1:0", "--interval", "100" });
    if (!e.cli->waitForStarted(kStartMs)) {
        e.err = e.cli->errorString();
        return false;
    }
    static const QRegularExpression serving(QStringLiteral("serving http://127.0.0.1:(\\d+)/"));
    QRegularExpressionMatch match;
    if (!QTest::qWaitFor([&] { return (match = serving.match(e.err)).hasMatch(); }, kStartMs))
        return false;
    e.port = static_cast<quint16>(match.captured(1).toUInt());
    return true;
}

bool TestCliPrometheus::setPortCount(Exporter &e, int portCount)
{
    QByteArray system = e.pty->snapshot(0).left(14);
    system[0] = static_cast<char>(portCount);
    return e.pty->board.model().applySystemBlock(testing::bytesOf(system));
}

void TestCliPrometheus::initTestCase()
{
    const QString prometheus = QStandardPaths::findExecutable(QStringLiteral("prometheus"));
    if (prometheus.isEmpty())
        QFAIL(
            "prometheus is missing: install the Debian package prometheus (scripts/install-deps)");
    QVERIFY(m_dir.isValid());
    QVERIFY2(startExporter(m_small, 8), qPrintable(m_small.err));
    QVERIFY2(startExporter(m_large, 16), qPrintable(m_large.err));

    const QString config = m_dir.filePath(QStringLiteral("prometheus.yml"));
    QFile file(config);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
                              "scrape_configs:\n  - job_name: vantor\n    static_configs:\n"
                              "      - targets: ['127.0.0.1:%1', '127.0.0.1:%2']\n")
                   .arg(m_small.port)
                   .arg(m_large.port)
                   .toUtf8());
    file.close();
    m_apiPort = freePort();
    QVERIFY(m_apiPort != 0);
    m_prometheus.setProcessChannelMode(QProcess::MergedChannels);
    m_prometheus.start(prometheus,
                       { "--config.file=" + config,
                         "--storage.tsdb.path=" + m_dir.filePath(QStringLiteral("tsdb")),
                         QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(m_apiPort) });
    QVERIFY(m_prometheus.waitForStarted(kStartMs));
    QVERIFY2(
        QTest::qWaitFor([&] { return scalar(QStringLiteral("count(up == 1)")) == 2; }, kStartMs),
        m_prometheus.readAll().right(2000).constData());
}

void TestCliPrometheus::cleanupTestCase()
{
    for (QProcess *p : { &m_prometheus, m_small.cli.get(), m_large.cli.get() }) {
        if (p && p->state() != QProcess::NotRunning) {
            p->kill();
            p->waitForFinished();
        }
    }
}

QJsonArray TestCliPrometheus::query(const QString &expression)
{
    QUrl url(QStringLiteral("http://127.0.0.1:%1/api/v1/query").arg(m_apiPort));
    QUrlQuery q;
    q.addQueryItem(QStringLiteral("query"), expression);
    url.setQuery(q);
    std::unique_ptr<QNetworkReply> reply(m_network.get(QNetworkRequest(url)));
    if (!QTest::qWaitFor([&] { return reply->isFinished(); }, 5000))
        return {};
    const QJsonObject answer = QJsonDocument::fromJson(reply->readAll()).object();
    return answer[u"data"].toObject()[u"result"].toArray();
}

double TestCliPrometheus::scalar(const QString &expression)
{
    const QJsonArray result = query(expression);
    if (result.size() != 1)
        return qQNaN();
    return result[0].toObject()[u"value"].toArray()[1].toString().toDouble();
}

// 24 ports with their labels, both targets up, one board total per board.
void TestCliPrometheus::everyPortOfBothBoards()
{
    QVERIFY(QTest::qWaitFor(
        [&] { return scalar(QStringLiteral("count(vantor_port_power_watts)")) == 24; }, kStartMs));
    std::set<std::pair<QString, int>> ports;
    for (const QJsonValue &v : query(QStringLiteral("vantor_port_power_watts"))) {
        const QJsonObject labels = v.toObject()[u"metric"].toObject();
        const int port = labels[u"port"].toString().toInt();
        QCOMPARE(labels[u"group"].toString().toInt(), (port - 1) / 8);
        QCOMPARE(labels[u"job"].toString(), QStringLiteral("vantor"));
        ports.insert({ labels[u"device"].toString(), port });
    }
    for (const Exporter *e : { &m_small, &m_large }) {
        const int count = e == &m_small ? 8 : 16;
        for (int p = 1; p <= count; ++p)
            QVERIFY2(
                ports.count({ e->pty->board.devicePath(), p }) == 1,
                qPrintable(QStringLiteral("%1 port %2").arg(e->pty->board.devicePath()).arg(p)));
    }
    QCOMPARE(ports.size(), std::size_t(24));

    const QJsonArray up = query(QStringLiteral("up{job=\"vantor\"}"));
    QCOMPARE(up.size(), 2);
    for (const QJsonValue &v : up)
        QCOMPARE(v.toObject()[u"value"].toArray()[1].toString(), QStringLiteral("1"));
    const QJsonArray totals
        = query(QStringLiteral("count by (instance) (vantor_board_power_watts)"));
    QCOMPARE(totals.size(), 2);
    for (const QJsonValue &v : totals)
        QCOMPARE(v.toObject()[u"value"].toArray()[1].toString(), QStringLiteral("1"));
}

// The 16-port board's line drops: up 0 within three scrapes, and 1 again once it is back.
void TestCliPrometheus::boardDownAndBack()
{
    const QString up
        = QStringLiteral("vantor_board_up{device=\"%1\"}").arg(m_large.pty->board.devicePath());
    QVERIFY(QTest::qWaitFor([&] { return scalar(up) == 1; }, kStartMs));
    QElapsedTimer clock;
    clock.start();
    m_large.pty->board.hangUp();
    QVERIFY(QTest::qWaitFor([&] { return scalar(up) == 0; }, kStartMs));
    QVERIFY2(clock.elapsed() <= 3 * kScrapeMs + 500, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(
        scalar(
            QStringLiteral("vantor_board_up{device=\"%1\"}").arg(m_small.pty->board.devicePath())),
        1.0);

    QVERIFY(m_large.pty->board.restart());
    QVERIFY2(QTest::qWaitFor([&] { return scalar(up) == 1; }, kStartMs), qPrintable(m_large.err));
    QVERIFY(QTest::qWaitFor(
        [&] { return scalar(QStringLiteral("count(vantor_port_power_watts)")) == 24; }, kStartMs));
}

// Another board comes back on the line, with 24 ports: its third group is exported too.
void TestCliPrometheus::portCountReadAgainAfterReconnection()
{
    m_large.pty->board.hangUp();
    QVERIFY(setPortCount(m_large, 24));
    QVERIFY(m_large.pty->board.restart());
    QVERIFY2(QTest::qWaitFor(
                 [&] { return scalar(QStringLiteral("count(vantor_port_power_watts)")) == 32; },
                 kStartMs),
             qPrintable(m_large.err));
    std::set<int> ports;
    for (const QJsonValue &v : query(QStringLiteral("vantor_port_power_watts{device=\"%1\"}")
                                         .arg(m_large.pty->board.devicePath())))
        ports.insert(v.toObject()[u"metric"].toObject()[u"port"].toString().toInt());
    QCOMPARE(ports.size(), std::size_t(24));
    QCOMPARE(*ports.rbegin(), 24);
}

QTEST_GUILESS_MAIN(TestCliPrometheus)
#include "test_cli_prometheus.moc"
