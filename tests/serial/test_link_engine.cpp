// The transaction engine on the real link, its real timers and a pseudo-terminal to the
// simulated board: what goes over the wire, and how failures of the line end up.

#include <protocol/communication.h>
#include <protocol/timer.h>
#include <serial/portcontrol.h>
#include <serial/qtseriallink.h>
#include <sim/simulatedboard.h>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using vantor::protocol::Communication;
using vantor::protocol::PortBlock;
using vantor::protocol::RequestKind;
using vantor::protocol::SystemBlock;
using vantor::serial::PortControl;
using vantor::serial::PortMap;
using vantor::serial::QtSerialLink;
using vantor::sim::Fault;
using vantor::sim::SimulatedBoard;

Q_DECLARE_METATYPE(RequestKind)

namespace {

constexpr int kTimeoutWaitMs = Communication::kAnswerTimeoutMs + 2000;

QByteArray snapshotBytes(const SimulatedBoard &board, int group)
{
    const auto s = board.model().snapshot(group);
    return QByteArray(reinterpret_cast<const char *>(s.data()), static_cast<qsizetype>(s.size()));
}

template<typename Block> QByteArray bytesOf(const Block &block)
{
    return QByteArray(reinterpret_cast<const char *>(block.data()),
                      static_cast<qsizetype>(block.size()));
}

} // namespace

class TestLinkEngine : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void commandsOnTheWire_data();
    void commandsOnTheWire();
    void longAnswerTakenWhole();
    void unansweredStageTimesOut_data();
    void unansweredStageTimesOut();
    void delayedAcknowledgementStillCompletes();
    void startUpSequence();
    void floodWhileIdle();
    void hangUpRecovery();
    void missingDeviceFailsFast();

private:
    void start(RequestKind kind);
    void record(const QString &event) { m_events.append(event); }

    QTemporaryDir m_dir;
    std::unique_ptr<SimulatedBoard> m_board;
    std::unique_ptr<QtSerialLink> m_link;
    std::unique_ptr<PortControl> m_control;
    std::unique_ptr<vantor::protocol::QtTimer> m_timer1;
    std::unique_ptr<vantor::protocol::QtTimer> m_timer2;
    std::unique_ptr<Communication> m_engine;
    QList<QPair<quint8, QByteArray>> m_decoded;
    QStringList m_events;
    int m_tab = 0;
};

void TestLinkEngine::init()
{
    QVERIFY(m_dir.isValid());
    m_board = std::make_unique<SimulatedBoard>();
    m_board->setPaced(false);
    QVERIFY2(m_board->start(m_dir.filePath(QStringLiteral("board"))),
             qPrintable(m_board->errorString()));

    m_link = std::make_unique<QtSerialLink>();
    PortMap map;
    map.setDevice(1, m_board->devicePath());
    map.setDevice(2, m_dir.filePath(QStringLiteral("missing")));
    m_control = std::make_unique<PortControl>(*m_link, map);
    QVERIFY(m_control->openPort());

    vantor::protocol::Hooks hooks;
    hooks.buildSystemBlock = [](SystemBlock &block) -> std::optional<QString> {
        for (std::size_t i = 0; i < vantor::protocol::kSystemBlockUsed; ++i)
            block[i] = static_cast<std::uint8_t>(0x10 + i);
        return std::nullopt;
    };
    hooks.buildPortBlock = [](PortBlock &block) -> std::optional<QString> {
        for (std::size_t i = 0; i < vantor::protocol::kPortBlockUsed; ++i)
            block[i] = static_cast<std::uint8_t>(0x80 + i);
        return std::nullopt;
    };
    hooks.decodeAnswer = [this](std::uint8_t code, std::span<const std::uint8_t> answer) {
        m_decoded.append({ code,
                           QByteArray(reinterpret_cast<const char *>(answer.data()),
                                      static_cast<qsizetype>(answer.size())) });
        record(QStringLiteral("decoded"));
    };
    hooks.selectedTab = [this] {
        return m_tab;
    };

    m_timer1 = std::make_unique<vantor::protocol::QtTimer>();
    m_timer2 = std::make_unique<vantor::protocol::QtTimer>();
    m_engine = std::make_unique<Communication>(*m_link, *m_timer1, *m_timer2, hooks);
    connect(m_engine.get(), &Communication::requestLaunched, this,
            [this](RequestKind, std::uint8_t code) {
                record(QStringLiteral("launched %1").arg(code, 2, 16, QLatin1Char('0')));
            });
    connect(m_engine.get(), &Communication::requestCompleted, this,
            [this](RequestKind) { record(QStringLiteral("completed")); });
    connect(m_engine.get(), &Communication::requestTimedOut, this,
            [this](RequestKind) { record(QStringLiteral("timed out")); });
    connect(m_engine.get(), &Communication::requestFailed, this,
            [this](RequestKind) { record(QStringLiteral("failed")); });
}

void TestLinkEngine::cleanup()
{
    m_engine.reset();
    m_timer1.reset();
    m_timer2.reset();
    m_control.reset();
    m_link.reset();
    m_board.reset();
    m_decoded.clear();
    m_events.clear();
    m_tab = 0;
}

void TestLinkEngine::start(RequestKind kind)
{
    m_engine->request(kind);
}

void TestLinkEngine::commandsOnTheWire_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<RequestKind>("kind");
    QTest::addColumn<QByteArray>("code");
    QTest::addColumn<int>("wireBytes");

    for (int tab : { 0, 3 }) {
        const QByteArray t = "tab " + QByteArray::number(tab) + ", ";
        QTest::newRow(t + "whole read")
            << tab << RequestKind::WholeRead << QByteArray(1, char(0x08 + tab)) << 1;
        QTest::newRow(t + "system write")
            << tab << RequestKind::SystemWrite << QByteArray::fromHex("18") << 1 + 14;
        QTest::newRow(t + "port write")
            << tab << RequestKind::PortWrite << QByteArray(1, char(0x20 + tab)) << 1 + 217;
        QTest::newRow(t + "port refresh")
            << tab << RequestKind::PortRefresh << QByteArray(1, char(0x28 + tab)) << 1;
    }
}

void TestLinkEngine::commandsOnTheWire()
{
    QFETCH(int, tab);
    QFETCH(RequestKind, kind);
    QFETCH(QByteArray, code);
    QFETCH(int, wireBytes);

    m_tab = tab;
    m_engine->captureSelectedTab();
    start(kind);
    const bool read = kind == RequestKind::WholeRead || kind == RequestKind::PortRefresh;
    QStringList expected { QStringLiteral("launched ") + code.toHex() };
    if (read)
        expected << QStringLiteral("decoded");
    expected << QStringLiteral("completed");
    QTRY_COMPARE(m_events, expected);
    QVERIFY(!m_engine->transactionBusy());

    const QByteArray wire = m_board->bytesFromPanel();
    QCOMPARE(wire.size(), wireBytes);
    QCOMPARE(wire.left(1).toHex(), code.toHex());
    switch (kind) {
    case RequestKind::WholeRead:
    case RequestKind::PortRefresh:
        QCOMPARE(m_decoded.size(), 1);
        QCOMPARE(m_decoded.at(0).first, quint8(code.at(0)));
        QCOMPARE(m_decoded.at(0).second.toHex(), snapshotBytes(*m_board, tab).toHex());
        break;
    case RequestKind::SystemWrite:
        QCOMPARE(wire.mid(1).toHex(), bytesOf(m_engine->systemBlock()).toHex());
        QCOMPARE(m_board->model().systemWrites(), 1);
        QCOMPARE(bytesOf(m_board->model().image(tab)).left(13), wire.mid(1, 13));
        break;
    case RequestKind::PortWrite:
        QCOMPARE(wire.mid(1).toHex(), bytesOf(m_engine->portBlock()).toHex());
        QCOMPARE(wire.mid(1 + 36), QByteArray(217 - 36, '\0'));
        QCOMPARE(m_board->model().portWrites(tab), 1);
        QCOMPARE(bytesOf(m_board->model().image(tab)).mid(19, 34), wire.mid(1, 34));
        break;
    }
}

void TestLinkEngine::longAnswerTakenWhole()
{
    m_board->injectFault({ Fault::LongAnswer, 2, 0, 1 });
    start(RequestKind::PortRefresh);
    QTRY_COMPARE(m_decoded.size(), 1);
    QCOMPARE(m_decoded.at(0).second.size(), 170);
    QCOMPARE(m_decoded.at(0).second.left(168).toHex(), snapshotBytes(*m_board, 0).toHex());
}

void TestLinkEngine::unansweredStageTimesOut_data()
{
    QTest::addColumn<RequestKind>("kind");
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("bytes");
    QTest::addColumn<QByteArray>("code");

    QTest::newRow("silent board, refresh")
        << RequestKind::PortRefresh << int(Fault::Silent) << 0 << QByteArray("28");
    QTest::newRow("167 bytes, whole read")
        << RequestKind::WholeRead << int(Fault::ShortAnswer) << 167 << QByteArray("08");
    QTest::newRow("no acknowledgement")
        << RequestKind::PortWrite << int(Fault::Silent) << 0 << QByteArray("20");
}

void TestLinkEngine::unansweredStageTimesOut()
{
    QFETCH(RequestKind, kind);
    QFETCH(int, fault);
    QFETCH(int, bytes);
    QFETCH(QByteArray, code);

    m_board->injectFault({ Fault(fault), bytes, 0, 1 });
    start(kind);
    QVERIFY(m_engine->transactionBusy());
    QTRY_COMPARE_WITH_TIMEOUT(m_events.size(), 2, kTimeoutWaitMs);
    QCOMPARE(m_events, QStringList({ "launched " + code, QStringLiteral("timed out") }));
    QVERIFY(m_decoded.isEmpty());
    QVERIFY(!m_engine->transactionBusy());

    // The board behaves again; so does the next request.
    m_events.clear();
    start(RequestKind::PortRefresh);
    QTRY_COMPARE(m_decoded.size(), 1);
    QCOMPARE(m_decoded.at(0).second.toHex(), snapshotBytes(*m_board, 0).toHex());
}

void TestLinkEngine::delayedAcknowledgementStillCompletes()
{
    m_board->injectFault({ Fault::DelayedAck, 0, 1900, 1 });
    QSignalSpy applied(m_board.get(), &SimulatedBoard::blockApplied);
    start(RequestKind::SystemWrite);
    QTRY_COMPARE_WITH_TIMEOUT(m_events.size(), 2, kTimeoutWaitMs);
    QCOMPARE(m_events, QStringList({ QStringLiteral("launched 18"), QStringLiteral("completed") }));
    QTRY_COMPARE(applied.size(), 1);
    QCOMPARE(m_board->bytesFromPanel().size(), 1 + 14);
}

void TestLinkEngine::startUpSequence()
{
    // As the window starts: a whole read, at once replaced by the system write, with the
    // port write asked for meanwhile. Paced, so the read's answer is still going out.
    m_board->setPaced(true);
    QSignalSpy cut(m_board.get(), &SimulatedBoard::answerCut);
    QSignalSpy applied(m_board.get(), &SimulatedBoard::blockApplied);
    m_engine->requestWholeRead();
    m_engine->setTransactionBusy(false);
    m_engine->requestSystemWrite();
    m_engine->requestPortWrite();

    QTRY_COMPARE(applied.size(), 2);
    QTRY_VERIFY(!m_engine->transactionBusy());
    QCOMPARE(cut.size(), 1);
    const QByteArray wire = m_board->bytesFromPanel();
    QCOMPARE(wire.size(), 1 + 1 + 14 + 1 + 217);
    QCOMPARE(wire.left(2).toHex(), QByteArray("0818"));
    QCOMPARE(wire.mid(16, 1).toHex(), QByteArray("20"));
    QVERIFY(m_decoded.isEmpty());
}

void TestLinkEngine::floodWhileIdle()
{
    // A refresh first, so the receive threshold is left at 168 while idle.
    start(RequestKind::PortRefresh);
    QTRY_COMPARE(m_decoded.size(), 1);

    constexpr int kFlood = 200 * 1024;
    m_board->flood(kFlood);
    QTRY_COMPARE_WITH_TIMEOUT(m_board->bytesToPanel().size(), 168 + kFlood, 10000);
    QTest::qWait(50);
    QVERIFY(!m_engine->transactionBusy());
    QCOMPARE(m_decoded.size(), 1);
    QVERIFY(m_link->bytesWaiting() <= QtSerialLink::kReceiveLimit);

    start(RequestKind::PortRefresh);
    QTRY_COMPARE(m_decoded.size(), 2);
    QCOMPARE(m_decoded.at(1).second.toHex(), snapshotBytes(*m_board, 0).toHex());
}

void TestLinkEngine::hangUpRecovery()
{
    QSignalSpy failed(m_link.get(), &QtSerialLink::portFailed);

    // Hung up while a request waits: the request ends by its time-out.
    m_board->injectFault({ Fault::Silent, 0, 0, -1 });
    start(RequestKind::PortRefresh);
    m_board->hangUp();
    QTRY_COMPARE(failed.size(), 1);
    QVERIFY(!m_link->isOpen());
    QTRY_COMPARE_WITH_TIMEOUT(m_events.size(), 2, kTimeoutWaitMs);
    QCOMPARE(m_events, QStringList({ QStringLiteral("launched 28"), QStringLiteral("timed out") }));

    // With the port gone the next request fails at once and leaves the engine idle.
    m_events.clear();
    start(RequestKind::PortRefresh);
    QCOMPARE(m_events, QStringList({ QStringLiteral("launched 28"), QStringLiteral("failed") }));
    QVERIFY(!m_engine->transactionBusy());
    QCOMPARE(failed.size(), 1);

    // The board comes back; "Reset Port" reopens and the panel carries on.
    m_board->clearFault();
    QVERIFY(m_board->restart());
    QVERIFY(m_control->resetPort());
    m_events.clear();
    start(RequestKind::PortRefresh);
    QTRY_COMPARE(m_decoded.size(), 1);
    QCOMPARE(m_events.last(), QStringLiteral("completed"));
}

void TestLinkEngine::missingDeviceFailsFast()
{
    QSignalSpy failed(m_link.get(), &QtSerialLink::portFailed);
    QVERIFY(!m_control->choosePort(2));
    QCOMPARE(failed.size(), 1);
    QCOMPARE(m_link->errorString(),
             m_dir.filePath(QStringLiteral("missing")) + QStringLiteral(": no such device"));

    start(RequestKind::SystemWrite);
    QCOMPARE(m_events, QStringList({ QStringLiteral("launched 18"), QStringLiteral("failed") }));
    QVERIFY(!m_engine->transactionBusy());

    QVERIFY(m_control->choosePort(1));
    m_events.clear();
    start(RequestKind::PortRefresh);
    QTRY_COMPARE(m_decoded.size(), 1);
}

QTEST_GUILESS_MAIN(TestLinkEngine)
#include "test_link_engine.moc"
