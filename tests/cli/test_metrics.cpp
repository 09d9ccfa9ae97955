// SPDX-License-Identifier: MIT
// The metrics exposition from the simulated board's own images: labels of every group, state
// sets, counters that count changes, the board going down, and the example dashboard and alert
// rules asking only for metrics the exposition has.

#include <bytes.h>

#include <cli/metrics.h>
#include <sim/boardmodel.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

#include <set>

using namespace vantor;

namespace {

const QString kDevice = QStringLiteral("/dev/ttyUSB0");
constexpr std::size_t kStatusOffset = 157;

session::DecodedAnswer answerOf(sim::Snapshot image, int group, qint64 utcMs = 1'765'000'000'000)
{
    session::DecodedAnswer a;
    a.code = static_cast<std::uint8_t>(40 + group);
    a.group = group;
    a.receivedUtcMs = utcMs;
    a.raw = testing::toByteArray(image);
    a.snapshot = *codec::decodeSnapshot(testing::bytesOf(a.raw));
    return a;
}

QList<QByteArray> lines(const QByteArray &text, const QByteArray &family)
{
    QList<QByteArray> found;
    for (const QByteArray &line : text.split('\n')) {
        if (line.startsWith(family + '{'))
            found.append(line);
    }
    return found;
}

QByteArray sample(const QByteArray &text, const QByteArray &series)
{
    for (const QByteArray &line : text.split('\n')) {
        if (line.startsWith(series + ' '))
            return line.mid(series.size() + 1);
    }
    return {};
}

QByteArray portSeries(const char *family, int group, int port, const QByteArray &more = {})
{
    return QByteArray(family) + "{device=\"/dev/ttyUSB0\",group=\"" + QByteArray::number(group)
        + "\",port=\"" + QByteArray::number(port) + '"' + more + '}';
}

void collectExpressions(const QJsonValue &v, QStringList &out)
{
    if (v.isArray()) {
        for (const QJsonValue &e : v.toArray())
            collectExpressions(e, out);
    } else if (v.isObject()) {
        const QJsonObject o = v.toObject();
        for (auto it = o.begin(); it != o.end(); ++it) {
            if (it.key() == u"expr" || it.key() == u"query" || it.key() == u"definition")
                out << it.value().toString();
            collectExpressions(it.value(), out);
        }
    }
}

} // namespace

class TestMetrics : public QObject
{
    Q_OBJECT

private slots:
    void portLabelsFollowTheGroup_data();
    void portLabelsFollowTheGroup();
    void stateSetsHoldOneCurrentState();
    void faultCountersCountChanges();
    void downAfterATimeout_data();
    void downAfterATimeout();
    void boardTotalOncePerBoard();
    void examplesAskForExposedMetrics_data();
    void examplesAskForExposedMetrics();

private:
    sim::BoardModel m_model;
};

void TestMetrics::portLabelsFollowTheGroup_data()
{
    QTest::addColumn<int>("group");
    QTest::addColumn<int>("firstPort");
    QTest::newRow("group 0") << 0 << 1;
    QTest::newRow("group 1") << 1 << 9;
    QTest::newRow("group 5") << 5 << 41;
}

void TestMetrics::portLabelsFollowTheGroup()
{
    QFETCH(int, group);
    QFETCH(int, firstPort);
    cli::Metrics metrics(kDevice, { group });
    metrics.addAnswer(answerOf(m_model.snapshot(group), group));
    const QByteArray text = metrics.exposition();
    const QList<QByteArray> power = lines(text, "vantor_port_power_watts");
    QCOMPARE(power.size(), 8);
    for (int p = 0; p < 8; ++p)
        QVERIFY2(power[p].startsWith(portSeries("vantor_port_power_watts", group, firstPort + p)),
                 power[p].constData());
    QCOMPARE(lines(text, "vantor_port_faults_total").first().left(60),
             portSeries("vantor_port_faults_total", group, firstPort).left(60));
}

// Port 5 of the factory image: enabled, overload fault, Port Off; port 1 delivers.
void TestMetrics::stateSetsHoldOneCurrentState()
{
    cli::Metrics metrics(kDevice, { 0 });
    metrics.addAnswer(answerOf(m_model.snapshot(0), 0));
    const QByteArray text = metrics.exposition();
    for (const char *family : { "vantor_port_state", "vantor_port_mode", "vantor_port_fault" }) {
        for (int port = 1; port <= 8; ++port) {
            int ones = 0;
            for (const QByteArray &line : lines(text, family)) {
                if (line.startsWith(portSeries(family, 0, port).chopped(1) + ','))
                    ones += line.endsWith(" 1") ? 1 : 0;
            }
            QVERIFY2(ones == 1,
                     qPrintable(QStringLiteral("%1 port %2: %3 current states")
                                    .arg(family)
                                    .arg(port)
                                    .arg(ones)));
        }
    }
    QCOMPARE(sample(text, portSeries("vantor_port_state", 0, 5, ",state=\"fault\"")), "1");
    QCOMPARE(sample(text, portSeries("vantor_port_fault", 0, 5, ",fault=\"overload\"")), "1");
    QCOMPARE(sample(text, portSeries("vantor_port_mode", 0, 5, ",mode=\"port_off\"")), "1");
    QCOMPARE(sample(text, portSeries("vantor_port_state", 0, 1, ",state=\"delivering\"")), "1");
    QCOMPARE(sample(text, portSeries("vantor_port_power_limit_watts", 0, 1)), "15");
    QVERIFY2(text.contains("(OI Short)"), "captions stay in the HELP text");
    QVERIFY2(!text.contains("\"Overload\""), "label values are identifiers");
}

// One fault held over many answers is one change; leaving and coming back is a second.
void TestMetrics::faultCountersCountChanges()
{
    cli::Metrics metrics(kDevice, { 0 });
    sim::Snapshot image = m_model.snapshot(0);
    const QByteArray overload = portSeries("vantor_port_faults_total", 0, 1, ",fault=\"overload\"");
    const QByteArray shorted = portSeries("vantor_port_faults_total", 0, 1, ",fault=\"oi_short\"");
    const auto answer = [&](std::uint8_t status) {
        image[kStatusOffset] = status;
        metrics.addAnswer(answerOf(image, 0));
    };
    QCOMPARE(sample(metrics.exposition(), overload), "0");
    for (int i = 0; i < 3; ++i)
        answer(0x44);
    QCOMPARE(sample(metrics.exposition(), overload), "1");
    answer(0x09);
    answer(0x44);
    answer(0x34); // from one fault straight into another
    answer(0x34);
    const QByteArray text = metrics.exposition();
    QCOMPARE(sample(text, overload), "2");
    QCOMPARE(sample(text, shorted), "1");
}

void TestMetrics::downAfterATimeout_data()
{
    QTest::addColumn<bool>("lineLost");
    QTest::newRow("time-out") << false;
    QTest::newRow("line lost") << true;
}

// Down: up 0, the counter told, the last answer's time kept, no readings passed off as current.
void TestMetrics::downAfterATimeout()
{
    QFETCH(bool, lineLost);
    cli::Metrics metrics(kDevice, { 0 });
    metrics.addAnswer(answerOf(m_model.snapshot(0), 0, 1'765'000'000'250));
    QCOMPARE(sample(metrics.exposition(), "vantor_board_up{device=\"/dev/ttyUSB0\"}"), "1");
    if (lineLost)
        metrics.addLinkLost();
    else
        metrics.addTimeout();
    const QByteArray text = metrics.exposition();
    QCOMPARE(sample(text, "vantor_board_up{device=\"/dev/ttyUSB0\"}"), "0");
    QCOMPARE(sample(text, "vantor_board_timeouts_total{device=\"/dev/ttyUSB0\"}"),
             lineLost ? "0" : "1");
    QCOMPARE(sample(text, "vantor_board_link_lost_total{device=\"/dev/ttyUSB0\"}"),
             lineLost ? "1" : "0");
    QCOMPARE(sample(text, "vantor_board_last_answer_timestamp_seconds{device=\"/dev/ttyUSB0\"}"),
             "1765000000.25");
    for (const char *family : { "vantor_port_power_watts", "vantor_port_state",
                                "vantor_board_power_watts{", "vantor_port_power_limit_watts" })
        QVERIFY2(!text.contains(family), family);
    QCOMPARE(lines(text, "vantor_port_faults_total").size(), 8 * 11);
}

void TestMetrics::boardTotalOncePerBoard()
{
    cli::Metrics metrics(kDevice, { 0, 1 });
    metrics.addAnswer(answerOf(m_model.snapshot(0), 0));
    metrics.addAnswer(answerOf(m_model.snapshot(1), 1));
    const QByteArray text = metrics.exposition();
    QCOMPARE(lines(text, "vantor_board_power_watts").size(), 1);
    QCOMPARE(lines(text, "vantor_board_power_limit_watts").size(), 1);
    QCOMPARE(lines(text, "vantor_port_power_watts").size(), 16);

    // The port count fell to 8: group 1 is no longer exposed.
    metrics.setGroups({ 0 });
    QCOMPARE(lines(metrics.exposition(), "vantor_port_power_watts").size(), 8);
}

void TestMetrics::examplesAskForExposedMetrics_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("dashboard") << QStringLiteral("vantor-dashboard.json");
    QTest::newRow("alert rules") << QStringLiteral("vantor-alerts.yml");
}

void TestMetrics::examplesAskForExposedMetrics()
{
    QFETCH(QString, file);
    QFile f(qEnvironmentVariable("VANTOR_SOURCE_DIR") + QStringLiteral("/packaging/examples/")
            + file);
    QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(f.fileName()));
    const QByteArray bytes = f.readAll();
    QStringList expressions;
    if (file.endsWith(u".json")) {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
        QVERIFY2(!doc.isNull(), qPrintable(error.errorString()));
        collectExpressions(doc.object(), expressions);
    } else {
        expressions << QString::fromUtf8(bytes);
    }

    cli::Metrics metrics(kDevice, { 0 });
    metrics.addAnswer(answerOf(m_model.snapshot(0), 0));
    std::set<QString> families;
    for (const QByteArray &line : metrics.exposition().split('\n')) {
        if (line.startsWith("# TYPE "))
            families.insert(QString::fromLatin1(line.split(' ').value(2)));
    }
    static const QRegularExpression name(QStringLiteral("\\bvantor_[a-z_]+"));
    int asked = 0;
    for (const QString &e : expressions) {
        for (const QRegularExpressionMatch &m : name.globalMatch(e)) {
            ++asked;
            QVERIFY2(families.count(m.captured()) == 1,
                     qPrintable(file + QStringLiteral(" asks for ") + m.captured()));
        }
    }
    QVERIFY2(asked >= 4, "the file should query the exporter's metrics");
}

QTEST_GUILESS_MAIN(TestMetrics)
#include "test_metrics.moc"
