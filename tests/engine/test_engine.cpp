// SPDX-License-Identifier: MIT
#include <fakes.h>

#include <protocol/transactionengine.h>

#include <QSignalSpy>
#include <QTest>

using namespace vantor;
using protocol::RequestKind;
using protocol::TransactionEngine;
using serial::CommEvent;
using testing::FakeLink;
using testing::FakeTimer;

Q_DECLARE_METATYPE(RequestKind)

namespace {

QByteArray byte(int b)
{
    return QByteArray(1, static_cast<char>(b));
}

QByteArray snapshot(qsizetype size = 168)
{
    return QByteArray(size, '\0');
}

// An engine on a fake link with hand-fired timers and recording hooks.
struct Rig
{
    FakeLink link;
    FakeTimer timer2;
    int tab = 0;
    int systemBuilds = 0;
    int portBuilds = 0;
    std::optional<QString> refuseSystem;
    std::optional<QString> refusePort;
    struct Decoded
    {
        std::uint8_t code;
        qsizetype size;
        int tabAtDecode;
    };
    QList<Decoded> decoded;
    TransactionEngine engine;

    Rig()
        : engine(link, timer2, hooks())
    {
    }

    protocol::Hooks hooks()
    {
        protocol::Hooks h;
        h.buildSystemBlock = [this](protocol::SystemBlock &block) -> std::optional<QString> {
            ++systemBuilds;
            if (refuseSystem)
                return refuseSystem;
            block.fill(0x5A);
            return std::nullopt;
        };
        h.buildPortBlock = [this](protocol::PortBlock &block) -> std::optional<QString> {
            ++portBuilds;
            if (refusePort)
                return refusePort;
            block.fill(0xA5);
            return std::nullopt;
        };
        h.decodeAnswer = [this](std::uint8_t code, std::span<const std::uint8_t> block) {
            decoded.append({ code, static_cast<qsizetype>(block.size()), engine.portGroup() });
        };
        h.portGroup = [this] {
            return tab;
        };
        return h;
    }

    // Completes whatever is in flight the way the board and the port would.
    void complete()
    {
        switch (engine.state()) {
        case TransactionEngine::State::AwaitingAnswer:
            link.feed(snapshot());
            break;
        case TransactionEngine::State::AwaitingAck:
            link.feed(byte(0x06));
            link.drain();
            break;
        case TransactionEngine::State::SendingBlock:
            link.drain();
            break;
        case TransactionEngine::State::Idle:
            break;
        }
    }
};

} // namespace

class TestEngine : public QObject
{
    Q_OBJECT

private slots:
    void launchSendsOneCommandByte_data();
    void launchSendsOneCommandByte();
    void writesSendTheirBlockAfterAnyAcknowledgement_data();
    void writesSendTheirBlockAfterAnyAcknowledgement();
    void pendingRequestsRunByPriority();
    void repeatedRequestsLeaveOnePending();
    void acknowledgementRestartsTheTimeout();
    void timeoutEndsEachStage_data();
    void timeoutEndsEachStage();
    void shortAnswerIsNotDecoded();
    void longAnswerIsTakenWhole();
    void tabIsCapturedWhenATransactionEnds();
    void portEvents_data();
    void portEvents();
    void bytesWhileIdleAreDropped();
    void refusedBuildSendsNothingAndMovesOn_data();
    void refusedBuildSendsNothingAndMovesOn();
    void writeToClosedPortEndsAtOnce();
};

void TestEngine::launchSendsOneCommandByte_data()
{
    QTest::addColumn<RequestKind>("kind");
    QTest::addColumn<int>("tab");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("threshold");

    QTest::newRow("whole read, tab 0") << RequestKind::WholeRead << 0 << 0x08 << 168;
    QTest::newRow("system write, tab 0") << RequestKind::SystemWrite << 0 << 0x18 << 1;
    QTest::newRow("port write, tab 0") << RequestKind::PortWrite << 0 << 0x20 << 1;
    QTest::newRow("refresh, tab 0") << RequestKind::PortRefresh << 0 << 0x28 << 168;
    QTest::newRow("whole read, tab 3") << RequestKind::WholeRead << 3 << 0x0B << 168;
    QTest::newRow("system write ignores the tab") << RequestKind::SystemWrite << 3 << 0x18 << 1;
    QTest::newRow("port write, tab 3") << RequestKind::PortWrite << 3 << 0x23 << 1;
    QTest::newRow("refresh, tab 3") << RequestKind::PortRefresh << 3 << 0x2B << 168;
    QTest::newRow("refresh, tab 7") << RequestKind::PortRefresh << 7 << 0x2F << 168;
}

void TestEngine::launchSendsOneCommandByte()
{
    QFETCH(RequestKind, kind);
    QFETCH(int, tab);
    QFETCH(int, code);
    QFETCH(int, threshold);

    Rig rig;
    rig.tab = tab;
    rig.engine.capturePortGroup();
    rig.link.feed("stale");
    rig.engine.request(kind);

    QCOMPARE(rig.link.takeWire(), byte(code));
    QCOMPARE(rig.engine.commandCode(), code);
    QCOMPARE(rig.link.receiveThreshold, threshold);
    QCOMPARE(rig.link.sendThreshold, 0);
    QCOMPARE(rig.link.bytesWaiting(), 0); // emptied before the command went out
    QVERIFY(rig.engine.transactionBusy());
    QVERIFY(rig.timer2.isActive());
    QCOMPARE(rig.timer2.interval(), 2000);
}

void TestEngine::writesSendTheirBlockAfterAnyAcknowledgement_data()
{
    QTest::addColumn<RequestKind>("kind");
    QTest::addColumn<int>("ack");
    QTest::addColumn<QByteArray>("block");

    const QByteArray system = QByteArray(13, char(0x5A)) + QByteArray(1, 0);
    const QByteArray port = QByteArray(36, char(0xA5)) + QByteArray(181, 0);
    QTest::newRow("system, ack 0x00") << RequestKind::SystemWrite << 0x00 << system;
    QTest::newRow("system, ack 0xFF") << RequestKind::SystemWrite << 0xFF << system;
    QTest::newRow("port, ack 0x00") << RequestKind::PortWrite << 0x00 << port;
    QTest::newRow("port, ack 0x42") << RequestKind::PortWrite << 0x42 << port;
}

void TestEngine::writesSendTheirBlockAfterAnyAcknowledgement()
{
    QFETCH(RequestKind, kind);
    QFETCH(int, ack);
    QFETCH(QByteArray, block);

    Rig rig;
    QSignalSpy completed(&rig.engine, &TransactionEngine::requestCompleted);
    rig.engine.request(kind);
    rig.link.takeWire();
    rig.link.feed(byte(ack));

    // Offsets the build never fills stay 0 whatever the hook wrote there.
    QCOMPARE(rig.link.takeWire(), block);
    QCOMPARE(rig.link.receiveThreshold, 0);
    QCOMPARE(rig.link.sendThreshold, 1);
    QVERIFY(rig.engine.transactionBusy());
    QCOMPARE(completed.count(), 0);

    rig.link.drain();
    QVERIFY(!rig.engine.transactionBusy());
    QVERIFY(!rig.timer2.isActive());
    QCOMPARE(completed.count(), 1);
}

void TestEngine::pendingRequestsRunByPriority()
{
    Rig rig;
    rig.engine.requestPortRefresh();
    rig.link.takeWire();
    // Asked for in the reverse of their priority while the refresh is in flight.
    rig.engine.requestPortRefresh();
    rig.engine.requestPortWrite();
    rig.engine.requestSystemWrite();
    rig.engine.requestWholeRead();

    QByteArray launched;
    QList<int> portBuildsAtLaunch;
    for (int i = 0; i < 4; ++i) {
        rig.complete();
        const QByteArray wire = rig.link.takeWire();
        QVERIFY2(!wire.isEmpty(), "each completed transaction launches the next pending one");
        // The last byte written after each completion is the next command.
        launched += wire.right(1);
        portBuildsAtLaunch.append(rig.portBuilds);
    }
    QCOMPARE(launched.toHex(), QByteArray("08182028"));
    // A write's block is built as the write goes out, not when it was asked for.
    QCOMPARE(portBuildsAtLaunch, QList<int>({ 0, 0, 1, 1 }));
    QCOMPARE(rig.systemBuilds, 1);
}

void TestEngine::repeatedRequestsLeaveOnePending()
{
    Rig rig;
    rig.engine.requestPortRefresh();
    rig.engine.requestWholeRead();
    rig.engine.requestWholeRead();
    QVERIFY(rig.engine.isPending(RequestKind::WholeRead));
    rig.link.takeWire();

    rig.complete();
    QCOMPARE(rig.link.takeWire(), byte(0x08));
    QVERIFY(!rig.engine.isPending(RequestKind::WholeRead));
    rig.complete();
    QVERIFY(!rig.engine.transactionBusy());
    QVERIFY(rig.link.takeWire().isEmpty());
    QCOMPARE(rig.decoded.size(), 2);
}

void TestEngine::acknowledgementRestartsTheTimeout()
{
    // A late acknowledgement leaves the block its own 2000 ms to drain.
    Rig rig;
    rig.engine.requestPortWrite();
    const int startsBeforeAck = rig.timer2.starts;
    rig.link.feed(byte(0x01));
    QCOMPARE(rig.engine.state(), TransactionEngine::State::SendingBlock);
    QCOMPARE(rig.timer2.starts, startsBeforeAck + 1);
    QVERIFY(rig.timer2.isActive());
}

void TestEngine::timeoutEndsEachStage_data()
{
    QTest::addColumn<RequestKind>("kind");
    QTest::addColumn<bool>("acknowledged");

    QTest::newRow("silent on a read") << RequestKind::WholeRead << false;
    QTest::newRow("silent on a refresh") << RequestKind::PortRefresh << false;
    QTest::newRow("no acknowledgement") << RequestKind::SystemWrite << false;
    QTest::newRow("block does not drain") << RequestKind::PortWrite << true;
}

void TestEngine::timeoutEndsEachStage()
{
    QFETCH(RequestKind, kind);
    QFETCH(bool, acknowledged);

    Rig rig;
    QSignalSpy timedOut(&rig.engine, &TransactionEngine::requestTimedOut);
    rig.engine.request(kind);
    rig.engine.requestPortRefresh(); // waits behind it
    if (acknowledged)
        rig.link.feed(byte(0x01));
    rig.link.takeWire();

    rig.timer2.fire();
    QCOMPARE(timedOut.count(), 1);
    QCOMPARE(timedOut.first().first().value<RequestKind>(), kind);
    QVERIFY(rig.decoded.isEmpty());
    // The next pending request starts, and the dropped one is not repeated.
    QCOMPARE(rig.link.takeWire(), byte(0x28));
    QCOMPARE(rig.engine.state(), TransactionEngine::State::AwaitingAnswer);
}

void TestEngine::shortAnswerIsNotDecoded()
{
    Rig rig;
    rig.engine.requestPortRefresh();
    rig.link.feed(snapshot(167));
    QVERIFY(rig.decoded.isEmpty());
    QVERIFY(rig.engine.transactionBusy());
    // A receive event with too few bytes (not one a real port raises) is not decoded either.
    rig.link.raise(CommEvent::ReceiveThreshold);
    QVERIFY(rig.decoded.isEmpty());
    rig.timer2.fire();
    QVERIFY(!rig.engine.transactionBusy());
    QVERIFY(rig.decoded.isEmpty());
}

void TestEngine::longAnswerIsTakenWhole()
{
    Rig rig;
    rig.engine.requestWholeRead();
    rig.link.feed(snapshot(170));
    QCOMPARE(rig.decoded.size(), 1);
    QCOMPARE(rig.decoded.first().code, 0x08);
    QCOMPARE(rig.decoded.first().size, 170);
    QVERIFY(!rig.engine.transactionBusy());
}

void TestEngine::tabIsCapturedWhenATransactionEnds()
{
    Rig rig;
    rig.engine.requestPortRefresh();
    rig.engine.requestWholeRead();
    rig.tab = 1;
    QCOMPARE(rig.link.takeWire(), byte(0x28)); // the tab captured before
    rig.complete();
    // The pending read launches inside the end of the refresh, before the tab is captured...
    QCOMPARE(rig.link.takeWire().right(1), byte(0x08));
    QCOMPARE(rig.engine.portGroup(), 1);
    rig.complete();
    // ...and is decoded with the group captured at that end, as is the next request sent.
    QCOMPARE(rig.decoded.last().code, 0x08);
    QCOMPARE(rig.decoded.last().tabAtDecode, 1);
    rig.engine.requestPortRefresh();
    QCOMPARE(rig.link.takeWire(), byte(0x29));
}

void TestEngine::portEvents_data()
{
    QTest::addColumn<CommEvent>("event");
    QTest::addColumn<bool>("endsTransaction");

    QTest::newRow("overrun") << CommEvent::HardwareOverrun << true;
    QTest::newRow("break") << CommEvent::Break << false;
    QTest::newRow("framing") << CommEvent::FramingError << false;
    QTest::newRow("receive overflow") << CommEvent::ReceiveOverflow << false;
    QTest::newRow("parity") << CommEvent::ParityError << false;
    QTest::newRow("transmit full") << CommEvent::TransmitFull << false;
    QTest::newRow("configuration") << CommEvent::ConfigurationError << false;
    QTest::newRow("cts") << CommEvent::CtsChange << false;
    QTest::newRow("dsr") << CommEvent::DsrChange << false;
    QTest::newRow("carrier") << CommEvent::CarrierChange << false;
    QTest::newRow("ring") << CommEvent::Ring << false;
    QTest::newRow("eof") << CommEvent::EndOfFile << false;
    QTest::newRow("unknown") << static_cast<CommEvent>(4242) << false;
}

void TestEngine::portEvents()
{
    QFETCH(CommEvent, event);
    QFETCH(bool, endsTransaction);

    Rig rig;
    rig.engine.requestWholeRead();
    rig.link.raise(event);
    QCOMPARE(rig.engine.transactionBusy(), !endsTransaction);
    QCOMPARE(rig.timer2.isActive(), !endsTransaction);
    QVERIFY(rig.decoded.isEmpty());
}

void TestEngine::bytesWhileIdleAreDropped()
{
    Rig rig;
    rig.engine.requestPortRefresh();
    rig.complete();
    QCOMPARE(rig.decoded.size(), 1);
    // The receive threshold is still 168 while idle; a stray snapshot answers no request.
    rig.link.feed(snapshot());
    QCOMPARE(rig.decoded.size(), 1);
    QVERIFY(!rig.engine.transactionBusy());
    QCOMPARE(rig.link.bytesWaiting(), 0);
}

void TestEngine::refusedBuildSendsNothingAndMovesOn_data()
{
    QTest::addColumn<RequestKind>("kind");
    QTest::newRow("system write") << RequestKind::SystemWrite;
    QTest::newRow("port write") << RequestKind::PortWrite;
}

void TestEngine::refusedBuildSendsNothingAndMovesOn()
{
    QFETCH(RequestKind, kind);

    Rig rig;
    rig.refuseSystem = QStringLiteral("Startup Overload Delay (ms) must be 0 to 255");
    rig.refusePort = QStringLiteral("Port 3 Powered Order is empty");
    QSignalSpy refused(&rig.engine, &TransactionEngine::requestRefused);
    const protocol::SystemBlock systemBefore = rig.engine.systemBlock();
    const protocol::PortBlock portBefore = rig.engine.portBlock();

    // Idle: nothing at all goes out, not even the command byte.
    rig.engine.request(kind);
    QVERIFY(rig.link.takeWire().isEmpty());
    QVERIFY(!rig.engine.transactionBusy());
    QCOMPARE(refused.count(), 1);
    QVERIFY(rig.engine.systemBlock() == systemBefore);
    QVERIFY(rig.engine.portBlock() == portBefore);

    // Pending behind a refresh: the refused write is skipped and the next pending one runs.
    rig.engine.requestPortRefresh();
    rig.engine.request(kind);
    rig.engine.requestWholeRead();
    rig.link.takeWire();
    rig.complete(); // the refresh ends, the whole read goes
    QCOMPARE(rig.link.takeWire(), byte(0x08));
    rig.complete(); // the whole read ends, the refused write is skipped
    QCOMPARE(refused.count(), 2);
    QVERIFY(rig.link.takeWire().isEmpty());
    QVERIFY(!rig.engine.transactionBusy());
    QVERIFY(!rig.engine.isPending(kind));
}

void TestEngine::writeToClosedPortEndsAtOnce()
{
    Rig rig;
    QSignalSpy failed(&rig.engine, &TransactionEngine::requestFailed);
    rig.link.close();
    rig.engine.requestPortRefresh();
    QCOMPARE(failed.count(), 1);
    QVERIFY(!rig.engine.transactionBusy());
    QVERIFY(!rig.timer2.isActive());

    // Once the port is back, the next request starts normally.
    rig.link.open();
    rig.engine.requestWholeRead();
    QCOMPARE(rig.link.takeWire(), byte(0x08));
    QVERIFY(rig.engine.transactionBusy());
}

QTEST_GUILESS_MAIN(TestEngine)
#include "test_engine.moc"
