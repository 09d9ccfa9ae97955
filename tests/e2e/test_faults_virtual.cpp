// SPDX-License-Identifier: MIT
// The whole panel against a misbehaving board, on virtual time: whatever the board or the line
// does, the panel is idle again within one answer time-out of the last thing that happened,
// serves the next request, keeps what the operator typed, and says in the status bar what went
// wrong. Every time-out happens at its exact moment, without waiting for it (the board on a
// pseudo-terminal in real time: test_e2e_faults).

#include "virtualrig.h"

#include <QSignalSpy>

using vantor::e2e::VirtualRig;
using vantor::sim::Fault;
using vantor::sim::FaultPlan;
using vantor::testing::VirtualBoard;

Q_DECLARE_METATYPE(FaultPlan)

namespace {

const QString kRefreshTimedOut = QStringLiteral("No answer to the port status refresh within 2 s");
const QString kPortWriteTimedOut = QStringLiteral("No answer to the port control write within 2 s");
const QString kRefreshNotSent = QStringLiteral("Could not send the port status refresh");
const QString kBack = QStringLiteral(" is back: read again at ");
const QString kSent = QStringLiteral("Save to Device: sent at ");

constexpr quint8 kWholeRead = 0x08;
constexpr quint8 kPortWrite = 0x20;
constexpr quint8 kPortRefresh = 0x28;

} // namespace

class FaultsVirtual : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void misbehavingBoard_data();
    void misbehavingBoard();
    void silentBoardUnderAutoRefresh();
    void timeOutAtItsMoment_data();
    void timeOutAtItsMoment();
    void lineDropsInTheMiddleOfABlock_data();
    void lineDropsInTheMiddleOfABlock();
    void deviceVanishesAndComesBack_data();
    void deviceVanishesAndComesBack();

private:
    void verifyPanelUnharmed(bool reread = false);
    void typeLimits();

    std::unique_ptr<VirtualRig> m_rig;
    QStringList m_reference;
};

void FaultsVirtual::init()
{
    m_rig = std::make_unique<VirtualRig>();
    VirtualRig &r = *m_rig;
    QVERIFY(r.start());

    r.setAutoRefresh(false);
    QVERIFY(r.c().Update_Port_Status->isEnabled());
    QVERIFY(r.waitIdle());
    typeLimits();

    QVERIFY(r.refreshOnce());
    m_reference = r.statusTexts();
    QCOMPARE(m_reference.at(0), QStringLiteral("22.8")); // BOX_PWR of the factory image
    QCOMPARE(r.window->outcomeText(), QString());
}

void FaultsVirtual::cleanup()
{
    m_rig.reset();
    m_reference.clear();
}

void FaultsVirtual::typeLimits()
{
    VirtualRig &r = *m_rig;
    VirtualRig::type(r.c().PD_R_LOW, QStringLiteral("21000"));
    VirtualRig::type(r.c().PD_R_HIGH, QStringLiteral("27000"));
    QCOMPARE(r.c().PD_R_LOW->text(), QStringLiteral("21000"));
    QCOMPARE(r.c().PD_R_HIGH->text(), QStringLiteral("27000"));
}

void FaultsVirtual::verifyPanelUnharmed(bool reread)
{
    VirtualRig &r = *m_rig;
    const QByteArray image = r.image();
    const int low = reread ? 2 * (quint8(image[5]) | quint8(image[6]) << 8) : 21000;
    const int high = reread ? 2 * (quint8(image[7]) | quint8(image[8]) << 8) : 27000;
    QCOMPARE(r.c().PD_R_LOW->text(), QString::number(low));
    QCOMPARE(r.c().PD_R_HIGH->text(), QString::number(high));
    QVERIFY(r.window->isVisible());
}

void FaultsVirtual::misbehavingBoard_data()
{
    QTest::addColumn<FaultPlan>("fault");
    QTest::addColumn<bool>("paced");
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("completes");
    QTest::addColumn<QString>("outcome");

    const QString refresh = QStringLiteral("Update_Port_Status");
    const QString portWrite = QStringLiteral("TX_PRT_CTRL");
    const QString implausible = QStringLiteral("Implausible answer to the port status refresh: ");
    // An answer with more than a snapshot, or one the board cannot have sent, is shown and
    // said to be implausible. The paced long answer's extra byte comes after the answer was
    // taken, while the panel is idle.
    QTest::newRow("answer of 169 bytes, paced")
        << FaultPlan { Fault::LongAnswer, 1 } << true << refresh << true << QString();
    QTest::newRow("answer of 500 bytes")
        << FaultPlan { Fault::LongAnswer, 332 } << false << refresh << true
        << implausible + "500 bytes where an answer has 168";
    QTest::newRow("168 bytes of garbage") << FaultPlan { Fault::Garbage, 168 } << false << refresh
                                          << true << implausible + "Ports in System";
    QTest::newRow("answer of 100 bytes")
        << FaultPlan { Fault::ShortAnswer, 100 } << false << refresh << false << kRefreshTimedOut;
    QTest::newRow("acknowledgement after 1900 ms")
        << FaultPlan { Fault::DelayedAck, 0, 1900 } << false << portWrite << true << QString();
    QTest::newRow("acknowledgement after 2100 ms")
        << FaultPlan { Fault::DelayedAck, 0, 2100 } << false << portWrite << false
        << kPortWriteTimedOut;
}

void FaultsVirtual::misbehavingBoard()
{
    QFETCH(FaultPlan, fault);
    QFETCH(bool, paced);
    QFETCH(QString, button);
    QFETCH(bool, completes);
    QFETCH(QString, outcome);

    VirtualRig &r = *m_rig;
    const bool write = button == QStringLiteral("TX_PRT_CTRL");
    const int portWrites = r.board.model().portWrites(0);
    r.board.setPaced(paced);
    r.board.injectFault(fault);
    const vantor::e2e::VirtualTally before = r.tally;

    r.click(button);
    QVERIFY(r.busy());
    QVERIFY2(r.waitIdle(), "still busy a time-out after the request went out");
    QCOMPARE(r.tally.launched - before.launched, 1);
    QCOMPARE(r.tally.completed - before.completed, completes ? 1 : 0);
    QCOMPARE(r.tally.timedOut - before.timedOut, completes ? 0 : 1);
    QVERIFY2(r.window->outcomeText().startsWith(outcome)
                 && r.window->outcomeText().isEmpty() == outcome.isEmpty(),
             qPrintable(r.window->outcomeText()));
    if (write && completes) {
        QCOMPARE(r.board.model().portWrites(0), portWrites + 1);
        QCOMPARE(r.image().mid(19, 34).toHex(), r.board.frames().last().block.left(34).toHex());
    }
    if (write && !completes) {
        // The late acknowledgement left the board waiting for a block that never comes; it
        // gives up on it by itself and is a board again.
        QVERIFY(r.time.advanceUntil([&r] { return r.board.payloadsDropped == 1; },
                                    VirtualBoard::kPayloadStallMs + 200));
        QCOMPARE(r.board.model().portWrites(0), portWrites);
    }

    r.board.clearFault();
    r.board.setPaced(false);
    QVERIFY2(r.refreshOnce(), "the next refresh did not complete");
    QCOMPARE(r.statusTexts(), m_reference);
    QCOMPARE(r.window->outcomeText(), QString());
    if (write) {
        const int writesNow = r.board.model().portWrites(0);
        r.click(button);
        QVERIFY(r.waitIdle());
        QCOMPARE(r.board.model().portWrites(0), writesNow + 1);
    }
    verifyPanelUnharmed();
}

void FaultsVirtual::silentBoardUnderAutoRefresh()
{
    VirtualRig &r = *m_rig;
    const vantor::e2e::VirtualTally before = r.tally;
    r.board.clear();
    r.board.injectFault({ Fault::Silent });
    r.setAutoRefresh(true);
    QVERIFY(!r.c().Update_Port_Status->isEnabled());

    // Ticks that come while a refresh waits are remembered; the refresh ends by its time-out
    // and the remembered one goes out to the still silent board.
    QVERIFY(r.time.advanceUntil([&] { return r.tally.timedOut > before.timedOut; },
                                VirtualRig::kTimeoutMs + 500));
    QCOMPARE(r.tally.completed, before.completed);
    QCOMPARE(r.window->outcomeText(), kRefreshTimedOut);
    QCOMPARE(r.board.frames().size(), r.tally.launched - before.launched);
    QVERIFY(r.window->staleDisplay().isStale());

    // The board answers again: the refresh it ignored times out too, and only auto-refresh
    // going on brings one that is shown.
    r.board.clearFault();
    QVERIFY(r.time.advanceUntil([&] { return r.tally.completed > before.completed; },
                                2 * VirtualRig::kTimeoutMs + 500));
    QCOMPARE(r.statusTexts(), m_reference);
    QCOMPARE(r.window->outcomeText(), QString());
    QVERIFY(r.refreshTimer.isActive());
    QVERIFY(!r.window->staleDisplay().isStale());
    verifyPanelUnharmed();
}

// A silent board's request ends exactly one time-out after it went out, not before; a write's
// acknowledgement gives its block a whole time-out of its own.
void FaultsVirtual::timeOutAtItsMoment_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<FaultPlan>("fault");
    QTest::addColumn<int>("endsAtMs");

    QTest::newRow("silent refresh")
        << QStringLiteral("Update_Port_Status") << FaultPlan { Fault::Silent } << 2000;
    QTest::newRow("block never drains after an ack at 1500 ms")
        << QStringLiteral("TX_PRT_CTRL") << FaultPlan { Fault::DelayedAck, 0, 1500 } << 3500;
}

void FaultsVirtual::timeOutAtItsMoment()
{
    QFETCH(QString, button);
    QFETCH(FaultPlan, fault);
    QFETCH(int, endsAtMs);

    VirtualRig &r = *m_rig;
    r.board.injectFault(fault);
    const bool write = button == QStringLiteral("TX_PRT_CTRL");
    if (write) {
        // The block goes out but its send-complete event never comes.
        r.link.sendThreshold = 0;
        QObject::connect(&r.link, &vantor::testing::FakeLink::written, &r.link,
                         [&r] { r.link.sendThreshold = 0; });
    }
    const int timedOut = r.tally.timedOut;
    const qint64 start = r.time.now();
    r.click(button);
    r.time.advance(endsAtMs - 1);
    QVERIFY2(r.busy(), "ended before its time-out");
    QCOMPARE(r.tally.timedOut, timedOut);
    r.time.advance(1);
    QVERIFY(!r.busy());
    QCOMPARE(r.tally.timedOut, timedOut + 1);
    QCOMPARE(r.time.now() - start, qint64(endsAtMs));
}

void FaultsVirtual::lineDropsInTheMiddleOfABlock_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("bytesTaken");

    QTest::newRow("port block, after 1 byte") << QStringLiteral("TX_PRT_CTRL") << 1;
    QTest::newRow("port block, after 216 bytes") << QStringLiteral("TX_PRT_CTRL") << 216;
    QTest::newRow("system block, after 7 bytes") << QStringLiteral("TX_SYS_CTRL") << 7;
}

void FaultsVirtual::lineDropsInTheMiddleOfABlock()
{
    QFETCH(QString, button);
    QFETCH(int, bytesTaken);

    VirtualRig &r = *m_rig;
    const bool save = button == QStringLiteral("TX_SYS_CTRL");
    const int systemWrites = r.board.model().systemWrites();
    const int portWrites = r.board.model().portWrites(0);
    r.board.injectFault({ Fault::HangUpInPayload, bytesTaken, 0, 1 });

    r.click(button);
    QVERIFY(r.time.advanceUntil([&r] { return r.board.hangUps == 1; }, 1000));
    QVERIFY2(r.window->portStateText().contains(QStringLiteral("not open")),
             qPrintable(r.window->portStateText()));
    QVERIFY(!r.link.isOpen());
    QVERIFY2(r.waitIdle(), "still busy a time-out after the line dropped");
    QCOMPARE(r.board.model().systemWrites(), systemWrites);
    QCOMPARE(r.board.model().portWrites(0), portWrites);

    // A request while the port is gone fails at once and says so.
    r.click(QStringLiteral("Update_Port_Status"));
    QVERIFY(!r.busy());
    QVERIFY2(r.window->outcomeText().startsWith(kRefreshNotSent),
             qPrintable(r.window->outcomeText()));

    // "Reset Port" reopens it, the board is read first and nothing is written, and then the
    // same write goes through whole.
    r.board.clear();
    r.window->COM_Reset_Cmd_Click();
    QVERIFY(r.link.isOpen());
    QVERIFY2(r.window->portStateText().endsWith(QStringLiteral(" open, 19200,N,8,1")),
             qPrintable(r.window->portStateText()));
    QVERIFY(r.waitIdle());
    QVERIFY2(r.window->outcomeText().contains(kBack), qPrintable(r.window->outcomeText()));
    QCOMPARE(r.board.codes(), QList<quint8> { kWholeRead });
    verifyPanelUnharmed(true);
    typeLimits();
    r.board.clear();
    r.click(button);
    QVERIFY(
        r.time.advanceUntil([&] { return !r.busy() && r.board.frames().size() == (save ? 2 : 1); },
                            2 * VirtualRig::kTimeoutMs));
    QCOMPARE(r.board.model().portWrites(0), portWrites + 1);
    QCOMPARE(r.board.model().systemWrites(), systemWrites + (save ? 1 : 0));
    QVERIFY2(r.window->outcomeText().contains(save ? kSent : kBack),
             qPrintable(r.window->outcomeText()));

    const QList<vantor::testing::VirtualBoard::Frame> &frames = r.board.frames();
    QCOMPARE(frames.last().code, kPortWrite);
    QCOMPARE(frames.last().block.size(), qsizetype(vantor::sim::kPortBlockSize));
    QCOMPARE(r.image().mid(19, 34).toHex(), frames.last().block.left(34).toHex());
    if (save) {
        // What the operator typed, 21000 and 27000 ohms, now on the board.
        QCOMPARE(frames.first().block.mid(5, 4).toHex(), QByteArray("0429bc34"));
        QCOMPARE(r.image().mid(5, 4).toHex(), QByteArray("0429bc34"));
    }
    verifyPanelUnharmed();
}

void FaultsVirtual::deviceVanishesAndComesBack_data()
{
    QTest::addColumn<QString>("recovery");
    QTest::addColumn<bool>("requestInFlight");

    // "Reset Port" is neither shown nor enabled in the designed window; its handler is driven
    // as the program would.
    QTest::newRow("Reset Port, a refresh waiting") << QStringLiteral("COM_Reset_Cmd") << true;
    QTest::newRow("menu COMM 1") << QStringLiteral("Comm1") << false;
    QTest::newRow("the reconnector, by itself") << QStringLiteral("retry") << false;
}

void FaultsVirtual::deviceVanishesAndComesBack()
{
    QFETCH(QString, recovery);
    QFETCH(bool, requestInFlight);

    VirtualRig &r = *m_rig;
    r.setAutoRefresh(true);
    QVERIFY(r.time.advanceUntil([&r] { return r.tally.completed >= 2; }, 2000));
    if (requestInFlight) {
        r.board.injectFault({ Fault::Silent });
        r.board.clear();
        QVERIFY(r.time.advanceUntil([&r] { return r.board.frames().size() == 1; }, 1000));
        QVERIFY(r.busy());
    }

    r.board.hangUp();
    QVERIFY2(r.window->portStateText().contains(QStringLiteral("not open")),
             qPrintable(r.window->portStateText()));
    QVERIFY(!r.link.isOpen());
    // What was in flight ends at once; auto-refresh runs on but asks for nothing while the
    // port is gone, so no failure piles up: the status bar says once that the link is lost.
    QVERIFY(!r.busy());
    QVERIFY2(r.window->outcomeText().startsWith(QStringLiteral("Link lost at ")),
             qPrintable(r.window->outcomeText()));
    QVERIFY(r.window->staleDisplay().isStale());
    const vantor::e2e::VirtualTally whileGone = r.tally;
    const int ticks = r.refreshTimer.runOuts;
    // Not yet a second: the reconnector's first attempt is still to come.
    r.time.advance(999);
    QVERIFY(r.refreshTimer.runOuts - ticks >= 1);
    QCOMPARE(r.tally.launched, whileGone.launched);
    QCOMPARE(r.tally.failed, whileGone.failed);
    QVERIFY(!r.link.isOpen());

    r.board.clearFault();
    r.board.clear();
    const int completed = r.tally.completed;
    if (recovery == QStringLiteral("Comm1"))
        r.c().Comm1->trigger();
    else if (recovery == QStringLiteral("COM_Reset_Cmd"))
        r.window->COM_Reset_Cmd_Click();
    else
        r.time.advance(1);
    QVERIFY(r.link.isOpen());
    // The board is read first, then auto-refresh goes on.
    QVERIFY(r.time.advanceUntil([&] { return r.tally.completed > completed + 1; },
                                VirtualRig::kTimeoutMs));
    const QList<quint8> codes = r.board.codes();
    QCOMPARE(codes.first(), kWholeRead);
    QCOMPARE(codes.count(kPortRefresh), codes.size() - 1);
    QVERIFY(!r.window->staleDisplay().isStale());
    QCOMPARE(r.statusTexts(), m_reference);
    QVERIFY2(r.window->outcomeText().contains(kBack), qPrintable(r.window->outcomeText()));
    QVERIFY(r.window->portStateText().endsWith(QStringLiteral(" open, 19200,N,8,1")));
    verifyPanelUnharmed(true);
}

QTEST_MAIN(FaultsVirtual)
#include "test_faults_virtual.moc"
