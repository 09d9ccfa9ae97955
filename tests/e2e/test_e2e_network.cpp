// SPDX-License-Identifier: MIT
// Boards on the network, end to end: a real ser2net started here on loopback (both accepters,
// raw TCP and telnet(rfc2217), its YAML written here) in front of the simulated board's
// pseudo-terminal, and the real vantor-cli and the whole panel in this process against it;
// then vantor-sim --listen, which needs no ser2net. Real time throughout.

#include "clirun.h"
#include "e2ewire.h"

#include <boardonpty.h>
#include <roundtripmask.h>
#include <ser2netrig.h>

#include <serial/devicelink.h>
#include <session/session.h>
#include <window/mainwindow.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

#include <memory>

using namespace vantor;
using testing::CliRun;
using testing::runCli;

namespace {

constexpr qsizetype kSettingsEnd = 53;
// From ser2net's return to the first answer after it.
constexpr int kResumeWithinMs = 3000;

QString explain(const CliRun &run)
{
    return QStringLiteral("finished %1, exit %2, %3 ms\nstdout: %4\nstderr: %5")
        .arg(run.finished)
        .arg(run.exitCode)
        .arg(run.elapsedMs)
        .arg(QString::fromLocal8Bit(run.out.left(400)), run.err);
}

QByteArray codes(const QList<e2e::Frame> &frames)
{
    QByteArray c;
    for (const e2e::Frame &f : frames)
        c.append(static_cast<char>(f.code));
    return c.toHex();
}

// Group 0's settings as a read shows them and a write carries them back.
QByteArray settings(const sim::BoardModel &model)
{
    QByteArray mask(kSettingsEnd, '\0');
    mask.replace(0, 13, testing::systemRoundTripMask());
    mask[4] = static_cast<char>(mask[4] & ~0x60);
    mask.replace(19, 34, testing::portRoundTripMask());
    QByteArray image = testing::toByteArray(model.image(0)).left(kSettingsEnd);
    for (qsizetype i = 0; i < image.size(); ++i)
        image[i] = static_cast<char>(image[i] & mask[i]);
    return image;
}

// A read's JSON without its time stamp.
QByteArray withoutTimestamp(const QByteArray &json)
{
    QString text = QString::fromUtf8(json);
    text.remove(QRegularExpression(QStringLiteral("\"timestamp\": *\"[^\"]*\",?")));
    return text.toUtf8();
}

QString simPath()
{
    return qEnvironmentVariable("VANTOR_BINARY_DIR") + QStringLiteral("/app/vantor-sim");
}

} // namespace

class E2ENetwork : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void readOverBothAccepters_data();
    void readOverBothAccepters();
    void watchOverBothAccepters_data();
    void watchOverBothAccepters();
    void dumpThenApplyWithIacInTheBlocks_data();
    void dumpThenApplyWithIacInTheBlocks();
    void panelStartsAndRefreshesOverRfc2217();
    void watchResumesAfterSer2netReturns();
    void secondClientIsRefused_data();
    void secondClientIsRefused();

    void simulatorListens();

private:
    bool startSer2net();
    QStringList onUrl(const QString &url, const QStringList &args) const
    {
        return QStringList { QStringLiteral("-d"), url } + args;
    }
    QString url(const QString &accepter) const
    {
        return accepter == u"raw" ? m_ser2net->rawUrl() : m_ser2net->rfc2217Url();
    }
    QList<e2e::Frame> frames() const { return e2e::framesFromPanel(m_pty->board.wireLog()); }

    std::unique_ptr<testing::BoardOnPty> m_pty;
    std::unique_ptr<testing::Ser2net> m_ser2net;
    std::unique_ptr<QTemporaryDir> m_files;
};

void E2ENetwork::initTestCase()
{
    QVERIFY2(QFile::exists(testing::cliPath()), qPrintable(testing::cliPath() + " is missing"));
    QLocale::setDefault(QLocale::c());
}

void E2ENetwork::init()
{
    m_pty = std::make_unique<testing::BoardOnPty>();
    QVERIFY2(m_pty->start(false), qPrintable(m_pty->board.errorString()));
    m_files = std::make_unique<QTemporaryDir>();
}

void E2ENetwork::cleanup()
{
    m_ser2net.reset();
    m_pty.reset();
    m_files.reset();
}

bool E2ENetwork::startSer2net()
{
    m_ser2net = std::make_unique<testing::Ser2net>();
    if (!m_ser2net->start(m_pty->board.devicePath())) {
        qWarning("%s", qPrintable(m_ser2net->why));
        return false;
    }
    m_pty->board.clear();
    return true;
}

void E2ENetwork::readOverBothAccepters_data()
{
    QTest::addColumn<QString>("accepter");
    QTest::newRow("raw TCP") << "raw";
    QTest::newRow("RFC 2217") << "rfc2217";
}

// What a read prints over the network is what it prints on the board's own pty, and one
// command byte went out.
void E2ENetwork::readOverBothAccepters()
{
    VANTOR_REQUIRE_SER2NET();
    QFETCH(QString, accepter);
    const CliRun direct = runCli({ "-d", m_pty->board.devicePath(), "read", "-O", "json" });
    QVERIFY2(direct.finished && direct.exitCode == 0, qPrintable(explain(direct)));
    QVERIFY(startSer2net());

    const CliRun run = runCli(onUrl(url(accepter), { "read", "-O", "json" }));
    QVERIFY2(run.finished && run.exitCode == 0 && run.err.isEmpty(), qPrintable(explain(run)));
    QVERIFY(!QJsonDocument::fromJson(run.out).object().isEmpty());
    QCOMPARE(withoutTimestamp(run.out), withoutTimestamp(direct.out));
    QCOMPARE(codes(frames()), QByteArray("08"));
}

void E2ENetwork::watchOverBothAccepters_data()
{
    readOverBothAccepters_data();
}

void E2ENetwork::watchOverBothAccepters()
{
    VANTOR_REQUIRE_SER2NET();
    QFETCH(QString, accepter);
    QVERIFY(startSer2net());
    const CliRun run = runCli(
        onUrl(url(accepter), { "watch", "--count", "3", "--interval", "100", "-O", "jsonl" }));
    QVERIFY2(run.finished && run.exitCode == 0 && run.err.isEmpty(), qPrintable(explain(run)));
    QList<QByteArray> lines = run.out.split('\n');
    QCOMPARE(lines.takeLast(), QByteArray());
    QCOMPARE(lines.size(), 3 * 8);
    for (qsizetype i = 0; i < lines.size(); ++i)
        QCOMPARE(QJsonDocument::fromJson(lines[i])[u"port"].toInt(), int(i % 8) + 1);
    // Refreshes only (a fourth may have left as the third answer ended the run).
    const QByteArray sent = codes(frames());
    QVERIFY2(sent.size() >= 6 && QByteArray(sent).replace("28", "").isEmpty(), sent.constData());
}

void E2ENetwork::dumpThenApplyWithIacInTheBlocks_data()
{
    readOverBothAccepters_data();
}

// Settings whose blocks and snapshot hold 0xFF (the telnet escape byte) go out as a profile
// and come back whole through the accepter.
void E2ENetwork::dumpThenApplyWithIacInTheBlocks()
{
    VANTOR_REQUIRE_SER2NET();
    QFETCH(QString, accepter);
    sim::BoardModel &model = m_pty->board.model();
    QRandomGenerator rng(20261209);
    QByteArray system(e2e::kSystemBlockSize, '\0');
    QByteArray ports(e2e::kPortBlockSize, '\0');
    for (char &b : system)
        b = static_cast<char>(rng.bounded(2) ? 0xff : rng.bounded(256));
    for (char &b : ports)
        b = static_cast<char>(rng.bounded(2) ? 0xff : rng.bounded(256));
    system[0] = 16;
    QVERIFY(model.applySystemBlock(testing::bytesOf(system)));
    QVERIFY(model.applyPortBlock(0, testing::bytesOf(ports)));
    const QByteArray held = settings(model);
    QVERIFY(held.contains('\xff'));
    QVERIFY(startSer2net());

    const QString profile = m_files->filePath(QStringLiteral("board.json"));
    const CliRun dump = runCli(onUrl(url(accepter), { "dump-profile", "-o", profile }));
    QVERIFY2(dump.finished && dump.exitCode == 0, qPrintable(explain(dump)));
    QVERIFY(m_pty->board.bytesToPanel().contains('\xff'));

    model.reset();
    m_pty->board.clear();
    QVERIFY(settings(model) != held);
    const CliRun apply = runCli(onUrl(url(accepter), { "apply", profile }));
    QVERIFY2(apply.finished && apply.exitCode == 0, qPrintable(explain(apply)));
    QCOMPARE(settings(model).toHex(' '), held.toHex(' '));
    const QList<e2e::Frame> sent = frames();
    QCOMPARE(codes(sent), QByteArray("081820"));
    QVERIFY(sent[1].block.contains('\xff') || sent[2].block.contains('\xff'));
}

// The panel's designed start-up (both writes) and auto-refresh over rfc2217://.
void E2ENetwork::panelStartsAndRefreshesOverRfc2217()
{
    VANTOR_REQUIRE_SER2NET();
    QVERIFY(startSer2net());
    serial::DeviceLink link;
    serial::PortMap map;
    map.setDevice(1, m_ser2net->rfc2217Url());
    session::Session session(link, map);
    auto window = std::make_unique<window::MainWindow>(session);
    QSignalSpy answered(&window->session(), &session::Session::answerDecoded);
    window->formLoad();
    window->show();
    sim::SimulatedBoard &board = m_pty->board;
    QVERIFY(QTest::qWaitFor(
        [&] {
            return board.model().systemWrites() == 1 && board.model().portWrites(0) == 1
                && e2e::framesWithCode(frames(), e2e::kPortRefresh).size() >= 3;
        },
        10000));
    QVERIFY(link.isOpen());
    QCOMPARE(link.transport(), serial::Transport::Rfc2217);
    const QByteArray sent = codes(frames());
    QVERIFY2(sent.startsWith("081820") || sent.startsWith("1820"), sent.constData());
    QVERIFY2(sent.mid(sent.indexOf("20") + 2).replace("28", "").isEmpty(), sent.constData());
    QTRY_VERIFY(answered.count() >= 3);
    QVERIFY2(window->portStateText().startsWith(
                 QStringLiteral("COM1 (%1) open").arg(m_ser2net->rfc2217Url())),
             qPrintable(window->portStateText()));
    window.reset();
}

// ser2net goes away for 3 s and comes back: the watch told the loss, and within 3 s of the
// return it reads the board whole and refreshes again; nothing is written.
void E2ENetwork::watchResumesAfterSer2netReturns()
{
    VANTOR_REQUIRE_SER2NET();
    QVERIFY(startSer2net());
    QProcess watch;
    QByteArray out;
    QString err;
    QElapsedTimer sinceReturn;
    qint64 firstAfterReturnMs = -1;
    QObject::connect(&watch, &QProcess::readyReadStandardOutput, &watch, [&] {
        out += watch.readAllStandardOutput();
        if (sinceReturn.isValid() && firstAfterReturnMs < 0 && out.endsWith('\n'))
            firstAfterReturnMs = sinceReturn.elapsed();
    });
    QObject::connect(&watch, &QProcess::readyReadStandardError, &watch,
                     [&] { err += QString::fromLocal8Bit(watch.readAllStandardError()); });
    watch.start(testing::cliPath(), onUrl(m_ser2net->rfc2217Url(),
                                          { "watch", "--interval", "200", "-O", "jsonl" }));
    QVERIFY(watch.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(out.count('\n') >= 16, 10000);

    m_ser2net->stop();
    QTRY_VERIFY_WITH_TIMEOUT(err.contains(QStringLiteral("line lost")), 5000);
    QTest::qWait(3000);
    out.clear();
    m_pty->board.clear();
    QVERIFY(m_ser2net->restart());
    sinceReturn.start();
    QTRY_VERIFY_WITH_TIMEOUT(out.count('\n') >= 16, 10000);
    qInfo("first answer %lld ms after ser2net's return", firstAfterReturnMs);
    QVERIFY2(firstAfterReturnMs >= 0 && firstAfterReturnMs <= kResumeWithinMs,
             qPrintable(QString::number(firstAfterReturnMs)));
    QVERIFY2(err.contains(QStringLiteral("reopened")), qPrintable(err));
    const QByteArray sent = codes(frames());
    QVERIFY2(sent.startsWith("08"), sent.constData());
    QVERIFY2(sent.mid(2).replace("28", "").isEmpty(), sent.constData());

    watch.terminate();
    QVERIFY(watch.waitForFinished(5000));
}

void E2ENetwork::secondClientIsRefused_data()
{
    readOverBothAccepters_data();
}

// Another client holds the board: ser2net says so in-band and closes; the command line reports
// the device busy (exit 3) and sends nothing.
void E2ENetwork::secondClientIsRefused()
{
    VANTOR_REQUIRE_SER2NET();
    QFETCH(QString, accepter);
    QVERIFY(startSer2net());
    QTcpSocket first;
    first.connectToHost(QHostAddress::LocalHost, m_ser2net->rawPort);
    QVERIFY(first.waitForConnected(5000));
    QTest::qWait(200);
    m_pty->board.clear();

    const CliRun run = runCli(onUrl(url(accepter), { "read" }));
    QVERIFY2(run.finished && run.exitCode == 3, qPrintable(explain(run)));
    QVERIFY2(run.err.contains(QStringLiteral("busy, in use by another client")), qPrintable(run.err));
    QVERIFY2(run.err.contains(QStringLiteral("already in use")), qPrintable(run.err));
    QCOMPARE(run.err.count(u'\n'), 1);
    QVERIFY(m_pty->board.bytesFromPanel().isEmpty());
    first.abort();
}

// vantor-sim --listen: the board as raw TCP with no ser2net; one client at a time.
void E2ENetwork::simulatorListens()
{
    QProcess sim;
    sim.start(simPath(), { "--unpaced", "--listen", "0" });
    QVERIFY(sim.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(sim.canReadLine(), 10000);
    const QString url = QString::fromLocal8Bit(sim.readLine()).trimmed();
    QVERIFY2(url.startsWith(QStringLiteral("tcp://127.0.0.1:")), qPrintable(url));

    const CliRun read = runCli({ "-d", url, "read", "-O", "json" });
    QVERIFY2(read.finished && read.exitCode == 0, qPrintable(explain(read)));
    QVERIFY(!QJsonDocument::fromJson(read.out).object().isEmpty());

    QTcpSocket holder;
    const int colon = url.lastIndexOf(u':');
    holder.connectToHost(QHostAddress::LocalHost, url.mid(colon + 1).toUShort());
    QVERIFY(holder.waitForConnected(5000));
    QTest::qWait(100);
    const CliRun refused = runCli({ "-d", url, "read" });
    QVERIFY2(refused.finished && refused.exitCode == 3, qPrintable(explain(refused)));
    QVERIFY2(refused.err.contains(QStringLiteral("busy, in use by another client")),
             qPrintable(refused.err));
    holder.abort();
    sim.terminate();
    QVERIFY(sim.waitForFinished(5000));
    const QString simErr = QString::fromLocal8Bit(sim.readAllStandardError());
    QVERIFY2(simErr.contains(QStringLiteral("refused")), qPrintable(simErr));

    // Every interface: the printed URL names an address others reach it by.
    QProcess everywhere;
    everywhere.start(simPath(), { "--unpaced", "--listen", ":0" });
    QVERIFY(everywhere.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(everywhere.canReadLine(), 10000);
    const QString wide = QString::fromLocal8Bit(everywhere.readLine()).trimmed();
    QVERIFY2(wide.startsWith(QStringLiteral("tcp://")) && !wide.contains(QStringLiteral("0.0.0.0"))
                 && !wide.contains(QStringLiteral("[::]")),
             qPrintable(wide));
    const CliRun far = runCli({ "-d", wide, "read" });
    QVERIFY2(far.finished && far.exitCode == 0, qPrintable(explain(far)));
    everywhere.terminate();
    QVERIFY(everywhere.waitForFinished(5000));
}

int main(int argc, char *argv[])
{
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QApplication app(argc, argv);
    E2ENetwork test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_e2e_network.moc"
