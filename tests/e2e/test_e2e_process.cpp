// SPDX-License-Identifier: MIT
// The real vantor-panel executable, started offscreen against the simulated board in this
// process, judged by what crosses the line (the board's wire log) and by what the board holds.

#include "e2ewire.h"

#include <boardonpty.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

using vantor::e2e::Frame;
using vantor::sim::SimulatedBoard;
using vantor::testing::toByteArray;

namespace {

// The window's defaults as start-up writes them.
const QByteArray kStartupSystemBlock = QByteArray::fromHex("080000 00 80 1c25 c233 0000 00 00 00");
const QByteArray kStartupPortBlock = QByteArray::fromHex("0404040404040404 2020202020202020")
    + QByteArray(vantor::e2e::kPortBlockSize - 16, '\0');

constexpr int kStartMs = 15000;

QString panelPath()
{
    return qEnvironmentVariable("VANTOR_BINARY_DIR") + QStringLiteral("/app/vantor-panel");
}

} // namespace

class E2EProcess : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void commandLine_data();
    void commandLine();
    void startUpOnTheWire();
    void quietByDefault_data();
    void quietByDefault();
    void keepsRunningWhenThePortFails_data();
    void keepsRunningWhenThePortFails();
    void keepBoardSettingsOnTheWire();
    void opensTheRememberedPort_data();
    void opensTheRememberedPort();
    void endsOnSigterm();

private:
    // rules: what QT_LOGGING_RULES holds for it (unset when null).
    void startPanel(const QStringList &arguments,
                    const QString &rules = QStringLiteral("vantor.*.info=true"));
    // The panel is up: start-up written, auto-refresh going.
    bool waitForFirstRefresh();
    QList<Frame> frames() const { return vantor::e2e::framesFromPanel(m_board->wireLog()); }

    std::unique_ptr<vantor::testing::BoardOnPty> m_pty;
    SimulatedBoard *m_board = nullptr;
    // The panel's settings live here, away from the user's.
    std::unique_ptr<QTemporaryDir> m_config;
    std::unique_ptr<QProcess> m_panel;
    QString m_stderr;
};

void E2EProcess::initTestCase()
{
    QVERIFY2(QFile::exists(panelPath()), qPrintable(panelPath() + " is missing"));
}

void E2EProcess::init()
{
    // Paced: the panel meets the line's real 19200 bit/s.
    m_pty = std::make_unique<vantor::testing::BoardOnPty>();
    m_board = &m_pty->board;
    m_config = std::make_unique<QTemporaryDir>();
    QVERIFY(m_config->isValid());
    QVERIFY2(m_pty->start(true, QStringLiteral("com1")), qPrintable(m_board->errorString()));
}

void E2EProcess::cleanup()
{
    if (m_panel && m_panel->state() != QProcess::NotRunning) {
        m_panel->kill();
        m_panel->waitForFinished(5000);
    }
    m_panel.reset();
    // A panel ended by a signal leaves QSerialPort's lock file; the next run must not trip on it.
    if (m_pty) {
        for (const QString &lock :
             vantor::e2e::serialLockFiles(m_pty->dir.filePath(QStringLiteral("com1"))))
            QFile::remove(lock);
    }
    m_pty.reset();
    m_stderr.clear();
}

void E2EProcess::startPanel(const QStringList &arguments, const QString &rules)
{
    m_panel = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (rules.isNull())
        env.remove(QStringLiteral("QT_LOGGING_RULES"));
    else
        env.insert(QStringLiteral("QT_LOGGING_RULES"), rules);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_FORCE_STDERR_LOGGING"), QStringLiteral("1"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config->path());
    m_panel->setProcessEnvironment(env);
    connect(m_panel.get(), &QProcess::readyReadStandardError, this,
            [this] { m_stderr += QString::fromLocal8Bit(m_panel->readAllStandardError()); });
    m_panel->start(panelPath(), arguments);
    QVERIFY2(m_panel->waitForStarted(kStartMs), qPrintable(m_panel->errorString()));
}

bool E2EProcess::waitForFirstRefresh()
{
    return QTest::qWaitFor(
        [this] {
            return !vantor::e2e::framesWithCode(frames(), vantor::e2e::kPortRefresh).isEmpty();
        },
        kStartMs);
}

void E2EProcess::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("succeeds");
    QTest::addColumn<QString>("output");

    QTest::newRow("--help") << QStringList { "--help" } << true << "--com1 DEVICE";
    QTest::newRow("--version") << QStringList { "--version" } << true
                               << "vantor-panel " VANTOR_VERSION "\n";
    QTest::newRow("unknown option") << QStringList { "--baud=9600" } << false << "baud";
    QTest::newRow("argument it does not take") << QStringList { "COM1" } << false << "COM1";
    QTest::newRow("--com1 without a path") << QStringList { "--com1" } << false << "com1";
}

// None of these may need a display: no platform is named and none is reachable.
void E2EProcess::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, succeeds);
    QFETCH(QString, output);

    QProcess panel;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : { "QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY" })
        env.remove(QString::fromLatin1(name));
    panel.setProcessEnvironment(env);
    panel.start(panelPath(), arguments);
    QVERIFY(panel.waitForFinished(kStartMs));
    const QString out = QString::fromLocal8Bit(panel.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(panel.readAllStandardError());
    QCOMPARE(panel.exitStatus(), QProcess::NormalExit);
    if (succeeds) {
        QCOMPARE(panel.exitCode(), 0);
        QVERIFY2(out.contains(output), qPrintable(out));
        QVERIFY2(err.isEmpty(), qPrintable(err));
    } else {
        QVERIFY2(panel.exitCode() != 0, "a bad command line must not count as success");
        QVERIFY2(err.contains(output), qPrintable(err));
        QVERIFY2(out.isEmpty(), qPrintable(out));
    }
}

void E2EProcess::quietByDefault_data()
{
    QTest::addColumn<QString>("rules");
    QTest::addColumn<QStringList>("told"); // the diagnostics' lines on standard error

    QTest::newRow("no rules: nothing routine") << QString() << QStringList();
    QTest::newRow("asked for one category")
        << QStringLiteral("vantor.app.info=true") << QStringList { "vantor.app: window shown" };
}

// A start that goes well says nothing on standard error unless its diagnostics are asked for.
void E2EProcess::quietByDefault()
{
    QFETCH(QString, rules);
    QFETCH(QStringList, told);

    startPanel({ QStringLiteral("--com1"), m_board->devicePath() }, rules);
    QVERIFY2(waitForFirstRefresh(), qPrintable(m_stderr));
    const auto diagnostics = [this] {
        QStringList lines;
        for (const QString &line : m_stderr.split(u'\n')) {
            if (line.startsWith(u"vantor."))
                lines.append(line);
        }
        return lines;
    };
    // The window was shown half a second before the first refresh went out.
    QTRY_COMPARE(diagnostics(), told);
}

void E2EProcess::startUpOnTheWire()
{
    QSignalSpy cut(m_board, &SimulatedBoard::answerCut);
    startPanel({ QStringLiteral("--com1"), m_board->devicePath() });
    QVERIFY2(waitForFirstRefresh(), qPrintable(m_stderr));
    QTRY_VERIFY(m_stderr.contains(QStringLiteral("vantor.app: window shown")));

    // 0x08, replaced at once by 0x18 and its block, then 0x20 and its block, then a refresh.
    const QByteArray wire = m_board->bytesFromPanel();
    QCOMPARE(wire.left(2).toHex(), QByteArray("0818"));
    QCOMPARE(wire.mid(2, 14).toHex(), kStartupSystemBlock.toHex());
    QCOMPARE(wire.mid(16, 1).toHex(), QByteArray("20"));
    QCOMPARE(wire.mid(17, 217).toHex(), kStartupPortBlock.toHex());
    QCOMPARE(wire.at(234), char(vantor::e2e::kPortRefresh));
    // The whole read was never waited for: its answer was cut short by the system write.
    QVERIFY(!cut.isEmpty());
    QCOMPARE(cut.first().at(0).value<quint8>(), vantor::e2e::kWholeRead);
    QVERIFY(cut.first().at(1).toInt() < int(vantor::sim::kSnapshotSize));

    const vantor::sim::BoardModel &model = m_board->model();
    QCOMPARE(model.systemWrites(), 1);
    QCOMPARE(model.portWrites(0), 1);
    const QByteArray image = toByteArray(model.image(0));
    QCOMPARE(image.left(13).toHex(), kStartupSystemBlock.left(13).toHex());
    QCOMPARE(image.mid(19, 34).toHex(), kStartupPortBlock.left(34).toHex());
    QCOMPARE(model.faultEnable(0), quint8(0));

    // Then port refreshes every 500 ms, and nothing else: four of them take at least 1.5 s.
    QSignalSpy commands(m_board, &SimulatedBoard::commandReceived);
    QSignalSpy answered(m_board, &SimulatedBoard::answerSent);
    QElapsedTimer since;
    since.start();
    QTRY_VERIFY_WITH_TIMEOUT(commands.size() >= 4, 5000);
    const qint64 elapsedMs = since.elapsed();
    for (const QList<QVariant> &args : std::as_const(commands))
        QCOMPARE(args.at(0).value<quint8>(), vantor::e2e::kPortRefresh);
    QVERIFY2(
        commands.size() <= elapsedMs / 500 + 2,
        qPrintable(QStringLiteral("%1 refreshes in %2 ms").arg(commands.size()).arg(elapsedMs)));
    QVERIFY(answered.size() >= commands.size() - 1);
    QCOMPARE(m_panel->state(), QProcess::Running);
    QVERIFY2(!m_stderr.contains(QStringLiteral("No answer")), qPrintable(m_stderr));
}

void E2EProcess::keepsRunningWhenThePortFails_data()
{
    QTest::addColumn<bool>("deviceThere");
    QTest::newRow("no device at start") << false;
    QTest::newRow("the board hangs up and returns") << true;
}

// The panel says what went wrong and, once the device is there again, opens it by itself, reads
// the board before refreshing again and writes nothing; it still ends on request.
void E2EProcess::keepsRunningWhenThePortFails()
{
    QFETCH(bool, deviceThere);

    const QString device = m_board->devicePath();
    if (!deviceThere)
        m_board->stop();
    startPanel({ QStringLiteral("--com1"), device });
    QTRY_VERIFY_WITH_TIMEOUT(m_stderr.contains(QStringLiteral("vantor.app: window shown")),
                             kStartMs);
    if (deviceThere) {
        QVERIFY2(waitForFirstRefresh(), qPrintable(m_stderr));
        m_board->hangUp();
    }
    QTRY_VERIFY_WITH_TIMEOUT(m_stderr.contains(QStringLiteral("(%1) not open: %1").arg(device)),
                             kStartMs);

    const int systemWrites = m_board->model().systemWrites();
    const int portWrites = m_board->model().portWrites(0);
    QVERIFY(m_board->restart());
    m_board->clear();
    QVERIFY2(waitForFirstRefresh(), qPrintable(m_stderr));
    const QList<Frame> back = frames();
    QCOMPARE(back.first().code, vantor::e2e::kWholeRead);
    QCOMPARE(vantor::e2e::framesWithCode(back, vantor::e2e::kPortRefresh).size(), back.size() - 1);
    QCOMPARE(m_board->model().systemWrites(), systemWrites);
    QCOMPARE(m_board->model().portWrites(0), portWrites);
    QCOMPARE(m_panel->state(), QProcess::Running);

    m_panel->terminate();
    QVERIFY(m_panel->waitForFinished(kStartMs));
    QVERIFY2(!m_stderr.contains(QStringLiteral("runtime error"))
                 && !m_stderr.contains(QStringLiteral("Sanitizer")),
             qPrintable(m_stderr));
}

// Attached to a board that is set up already: one whole read, answered in full, and from
// then on refreshes only; the board keeps its settings.
void E2EProcess::keepBoardSettingsOnTheWire()
{
    QSignalSpy sent(m_board, &SimulatedBoard::answerSent);
    const QByteArray before = toByteArray(m_board->model().image(0));
    startPanel({ QStringLiteral("--keep-board-settings"), QStringLiteral("--com1"),
                 m_board->devicePath() });
    QVERIFY2(waitForFirstRefresh(), qPrintable(m_stderr));
    const QList<Frame> all = frames();
    QCOMPARE(all.first().code, vantor::e2e::kWholeRead);
    QCOMPARE(vantor::e2e::framesWithCode(all, vantor::e2e::kPortRefresh).size(), all.size() - 1);
    QCOMPARE(sent.first().at(0).value<quint8>(), vantor::e2e::kWholeRead);
    QCOMPARE(sent.first().at(1).toInt(), int(vantor::sim::kSnapshotSize));
    QCOMPARE(m_board->model().systemWrites(), 0);
    QCOMPARE(m_board->model().portWrites(0), 0);
    QCOMPARE(toByteArray(m_board->model().image(0)).left(53).toHex(), before.left(53).toHex());
}

void E2EProcess::opensTheRememberedPort_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("reachesTheBoard");
    QTest::newRow("remembered, nothing on the command line") << QStringList() << true;
    QTest::newRow("--com1 wins") << QStringList { QStringLiteral("--com1"),
                                                  QStringLiteral("/nonexistent/tty") }
                                 << false;
    QTest::newRow("--demo wins") << QStringList { QStringLiteral("--demo") } << false;
}

void E2EProcess::opensTheRememberedPort()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, reachesTheBoard);
    {
        QSettings remembered(m_config->filePath(QStringLiteral("vantor/vantor-panel.conf")),
                             QSettings::IniFormat);
        remembered.setValue(QStringLiteral("port/com1"), m_board->devicePath());
    }
    QSignalSpy commands(m_board, &SimulatedBoard::commandReceived);
    startPanel(arguments);
    QTRY_VERIFY_WITH_TIMEOUT(m_stderr.contains(QStringLiteral("vantor.app: window shown")),
                             kStartMs);
    if (reachesTheBoard) {
        QVERIFY2(waitForFirstRefresh(), qPrintable(m_stderr));
    } else {
        // The first open, or the failure to open, is the one start-up makes.
        QTRY_VERIFY_WITH_TIMEOUT(m_stderr.contains(QStringLiteral("vantor.serial: opened "))
                                     || m_stderr.contains(QStringLiteral(" not open: ")),
                                 kStartMs);
        QVERIFY2(!m_stderr.contains(QStringLiteral("opened ") + m_board->devicePath()),
                 qPrintable(m_stderr));
        QCOMPARE(commands.size(), 0);
    }
}

void E2EProcess::endsOnSigterm()
{
    startPanel({ QStringLiteral("--com1"), m_board->devicePath() });
    QVERIFY2(waitForFirstRefresh(), qPrintable(m_stderr));

    ::kill(static_cast<pid_t>(m_panel->processId()), SIGTERM);
    QVERIFY(m_panel->waitForFinished(kStartMs));
    // The window and the port are closed in order: no lock file is left behind.
    QVERIFY2(m_panel->exitStatus() == QProcess::NormalExit && m_panel->exitCode() == 0,
             qPrintable(QStringLiteral("ended with status %1, code %2\n%3")
                            .arg(m_panel->exitStatus())
                            .arg(m_panel->exitCode())
                            .arg(m_stderr)));
    QVERIFY2(!m_stderr.contains(QStringLiteral("Sanitizer")), qPrintable(m_stderr));
    QVERIFY(vantor::e2e::serialLockFiles(m_board->devicePath()).isEmpty());
}

QTEST_GUILESS_MAIN(E2EProcess)
#include "test_e2e_process.moc"
