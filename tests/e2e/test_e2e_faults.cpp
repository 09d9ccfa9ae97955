// SPDX-License-Identifier: MIT
// The whole panel against a misbehaving board on a pseudo-terminal, in real time: an answer
// that trickles in at the line's pace, the line dropped inside a block, a flood past what the
// link keeps. Whatever happens the panel keeps its event loop turning, serves the next
// request, keeps what the operator typed, and says in the status bar what went wrong. The
// time-outs, silences and lost devices run on virtual time in test_faults_virtual.

#include "e2erig.h"
#include "sessionseam.h"

#include <QSignalSpy>

using vantor::e2e::Rig;
using vantor::protocol::TransactionEngine;
using vantor::sim::Fault;
using vantor::sim::FaultPlan;
using vantor::sim::SimulatedBoard;
using vantor::testing::toByteArray;

Q_DECLARE_METATYPE(FaultPlan)

namespace {

const QString kPortWriteTimedOut = QStringLiteral("No answer to the port control write within 2 s");
const QString kRefreshNotSent = QStringLiteral("Could not send the port status refresh");
const QString kBack = QStringLiteral(" is back: read again at ");
const QString kSent = QStringLiteral("Save to Device: sent at ");

} // namespace

class E2EFaults : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void misbehavingBoard_data();
    void misbehavingBoard();
    void lineDropsInTheMiddleOfABlock_data();
    void lineDropsInTheMiddleOfABlock();
    void floodWhileIdle();

private:
    // What the operator typed is still there (unless the board was read again after the port
    // came back: then the window shows the board), and the event loop never stood still for
    // a whole time-out.
    void verifyPanelUnharmed(bool reread = false);
    // Types the two limits the cases expect to find, not yet saved.
    void typeLimits();

    std::unique_ptr<Rig> m_rig;
    // What a refresh of the well-behaved board shows.
    QStringList m_reference;
};

void E2EFaults::init()
{
    m_rig = std::make_unique<Rig>();
    Rig &r = *m_rig;
    QVERIFY2(r.start(false), qPrintable(r.board.errorString()));

    // The cases drive their own requests; the operator has typed two limits, not yet saved.
    r.setAutoRefresh(false);
    QVERIFY(r.c().Update_Port_Status->isEnabled());
    QVERIFY(r.waitIdle());
    typeLimits();

    QVERIFY(r.refreshOnce());
    m_reference = r.statusTexts();
    QCOMPARE(m_reference.at(0), QStringLiteral("22.8")); // BOX_PWR of the factory image
    QCOMPARE(r.window->outcomeText(), QString());
    r.resetHeartbeat();
}

void E2EFaults::cleanup()
{
    m_rig.reset();
    m_reference.clear();
}

void E2EFaults::typeLimits()
{
    Rig &r = *m_rig;
    Rig::type(r.c().PD_R_LOW, QStringLiteral("21000"));
    Rig::type(r.c().PD_R_HIGH, QStringLiteral("27000"));
    QCOMPARE(r.c().PD_R_LOW->text(), QStringLiteral("21000"));
    QCOMPARE(r.c().PD_R_HIGH->text(), QStringLiteral("27000"));
}

void E2EFaults::verifyPanelUnharmed(bool reread)
{
    Rig &r = *m_rig;
    const QByteArray image = toByteArray(r.board.model().image(0));
    const int low = reread ? 2 * (quint8(image[5]) | quint8(image[6]) << 8) : 21000;
    const int high = reread ? 2 * (quint8(image[7]) | quint8(image[8]) << 8) : 27000;
    QCOMPARE(r.c().PD_R_LOW->text(), QString::number(low));
    QCOMPARE(r.c().PD_R_HIGH->text(), QString::number(high));
    QVERIFY2(
        r.longestGapMs < TransactionEngine::kAnswerTimeoutMs,
        qPrintable(QStringLiteral("the event loop stood still for %1 ms").arg(r.longestGapMs)));
    QVERIFY(r.window->isVisible());
}

void E2EFaults::misbehavingBoard_data()
{
    QTest::addColumn<FaultPlan>("fault");
    QTest::addColumn<bool>("paced");
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("completes");
    QTest::addColumn<QString>("outcome");

    const QString refresh = QStringLiteral("Update_Port_Status");
    const QString portWrite = QStringLiteral("TX_PRT_CTRL");
    const QString implausible = QStringLiteral("Implausible answer to the port status refresh: ");
    // Short answers end by the time-out as silence does (the engine's and the link's tests, and
    // silence under auto-refresh below). An answer with more than a snapshot, or one the board
    // cannot have sent, is shown and said to be implausible; the next refresh shows the board
    // again. (Bytes that trail a paced answer by more than the link's quiet wait are the link's
    // tests' business.)
    QTest::newRow("answer of 169 bytes")
        << FaultPlan { Fault::LongAnswer, 1 } << false << refresh << true
        << implausible + "169 bytes where an answer has 168";
    QTest::newRow("answer of 500 bytes")
        << FaultPlan { Fault::LongAnswer, 332 } << false << refresh << true
        << implausible + "500 bytes where an answer has 168";
    QTest::newRow("answer twice") << FaultPlan { Fault::AnswerTwice } << false << refresh << true
                                  << implausible + "336 bytes where an answer has 168";
    QTest::newRow("a noise byte in the answer")
        << FaultPlan { Fault::NoisyAnswer, 100 } << false << refresh << true
        << implausible + "169 bytes where an answer has 168";
    QTest::newRow("168 bytes of garbage") << FaultPlan { Fault::Garbage, 168 } << false << refresh
                                          << true << implausible + "Ports in System";
    QTest::newRow("acknowledgement after 1900 ms")
        << FaultPlan { Fault::DelayedAck, 0, 1900 } << false << portWrite << true << QString();
    QTest::newRow("acknowledgement after 2100 ms")
        << FaultPlan { Fault::DelayedAck, 0, 2100 } << false << portWrite << false
        << kPortWriteTimedOut;
}

void E2EFaults::misbehavingBoard()
{
    QFETCH(FaultPlan, fault);
    QFETCH(bool, paced);
    QFETCH(QString, button);
    QFETCH(bool, completes);
    QFETCH(QString, outcome);

    Rig &r = *m_rig;
    const bool write = button == QStringLiteral("TX_PRT_CTRL");
    const int portWrites = r.board.model().portWrites(0);
    QSignalSpy blockDropped(&r.board, &SimulatedBoard::payloadDropped);
    r.board.setPaced(paced);
    r.board.injectFault(fault);
    const vantor::e2e::Tally before = r.tally;

    r.click(button);
    QVERIFY(r.engine().transactionBusy());
    QVERIFY2(r.waitIdle(), "still busy a time-out after the request went out");
    QCOMPARE(r.tally.launched - before.launched, 1);
    QCOMPARE(r.tally.completed - before.completed, completes ? 1 : 0);
    QCOMPARE(r.tally.timedOut - before.timedOut, completes ? 0 : 1);
    if (outcome.isEmpty())
        QCOMPARE(r.window->outcomeText(), outcome);
    else
        QVERIFY2(r.window->outcomeText().startsWith(outcome), qPrintable(r.window->outcomeText()));
    if (write && completes) {
        QTRY_COMPARE(r.board.model().portWrites(0), portWrites + 1);
        QCOMPARE(toByteArray(r.board.model().image(0)).mid(19, 34).toHex(),
                 toByteArray(r.engine().portBlock()).left(34).toHex());
    }
    if (write && !completes) {
        // The late acknowledgement left the board waiting for a block that never comes; it
        // gives up on it by itself and is a board again.
        QTRY_COMPARE_WITH_TIMEOUT(blockDropped.size(), 1, SimulatedBoard::kPayloadStallMs + 3000);
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
        QTRY_COMPARE(r.board.model().portWrites(0), writesNow + 1);
    }
    verifyPanelUnharmed();
}

void E2EFaults::lineDropsInTheMiddleOfABlock_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("bytesTaken");

    // The other places the line drops: test_faults_virtual.
    QTest::newRow("port block, after 216 bytes") << QStringLiteral("TX_PRT_CTRL") << 216;
}

void E2EFaults::lineDropsInTheMiddleOfABlock()
{
    QFETCH(QString, button);
    QFETCH(int, bytesTaken);

    Rig &r = *m_rig;
    const bool save = button == QStringLiteral("TX_SYS_CTRL");
    const int systemWrites = r.board.model().systemWrites();
    const int portWrites = r.board.model().portWrites(0);
    QSignalSpy hungUp(&r.board, &SimulatedBoard::lineHungUp);
    r.board.injectFault({ Fault::HangUpInPayload, bytesTaken, 0, 1 });

    r.click(button);
    QTRY_COMPARE(hungUp.size(), 1);
    QTRY_VERIFY2(r.window->portStateText().contains(QStringLiteral("not open")),
                 qPrintable(r.window->portStateText()));
    QVERIFY(!r.link.isOpen());
    QVERIFY2(r.waitIdle(), "still busy a time-out after the line dropped");
    QCOMPARE(r.board.model().systemWrites(), systemWrites);
    QCOMPARE(r.board.model().portWrites(0), portWrites);

    // A request while the port is gone fails at once and says so.
    r.click(QStringLiteral("Update_Port_Status"));
    QVERIFY(!r.engine().transactionBusy());
    QVERIFY2(r.window->outcomeText().startsWith(kRefreshNotSent),
             qPrintable(r.window->outcomeText()));

    // The line comes back; "Reset Port" reopens it, the board is read first and nothing is
    // written, and then the same write goes through whole.
    QVERIFY(r.board.restart());
    r.board.clear();
    r.window->COM_Reset_Cmd_Click();
    QVERIFY(r.link.isOpen());
    QVERIFY2(r.window->portStateText().endsWith(QStringLiteral(" open, 19200,N,8,1")),
             qPrintable(r.window->portStateText()));
    QTRY_VERIFY2(r.window->outcomeText().contains(kBack), qPrintable(r.window->outcomeText()));
    QVERIFY(r.waitIdle());
    const auto reread = vantor::e2e::framesFromPanel(r.board.wireLog());
    QCOMPARE(reread.size(), 1);
    QCOMPARE(reread.first().code, vantor::e2e::kWholeRead);
    verifyPanelUnharmed(true);
    typeLimits();
    r.board.clear();
    r.click(button);
    QTRY_COMPARE(r.board.model().portWrites(0), portWrites + 1);
    QCOMPARE(r.board.model().systemWrites(), systemWrites + (save ? 1 : 0));
    QVERIFY(r.waitIdle());
    QVERIFY2(r.window->outcomeText().contains(save ? kSent : kBack),
             qPrintable(r.window->outcomeText()));

    const auto frames = vantor::e2e::framesFromPanel(r.board.wireLog());
    QCOMPARE(frames.size(), save ? 2 : 1);
    QCOMPARE(frames.last().code, vantor::e2e::kPortWrite);
    QCOMPARE(frames.last().block.toHex(), toByteArray(r.engine().portBlock()).toHex());
    if (save) {
        // What the operator typed, 21000 and 27000 ohms, now on the board.
        QCOMPARE(frames.first().block.mid(5, 4).toHex(), QByteArray("0429bc34"));
        QCOMPARE(toByteArray(r.board.model().image(0)).mid(5, 4).toHex(), QByteArray("0429bc34"));
    }
    verifyPanelUnharmed();
}

void E2EFaults::floodWhileIdle()
{
    // Well past what the link keeps of unread bytes.
    constexpr int kFlood = 4 * vantor::serial::QtSerialLink::kReceiveLimit;
    Rig &r = *m_rig;
    const vantor::e2e::Tally before = r.tally;
    const qsizetype sent = r.board.bytesToPanel().size();

    r.board.flood(kFlood);
    QTRY_COMPARE_WITH_TIMEOUT(r.board.bytesToPanel().size(), sent + kFlood, 10000);
    QTest::qWait(50);
    QVERIFY(!r.engine().transactionBusy());
    QCOMPARE(r.tally.launched, before.launched);
    QCOMPARE(r.tally.completed, before.completed);
    QVERIFY(r.link.bytesWaiting() <= vantor::serial::QtSerialLink::kReceiveLimit);
    QCOMPARE(r.statusTexts(), m_reference);

    // The noise is thrown away when the next request goes out; its answer is the board's.
    QVERIFY(r.refreshOnce());
    QCOMPARE(r.statusTexts(), m_reference);
    QCOMPARE(r.window->outcomeText(), QString());
    verifyPanelUnharmed();
}

QTEST_MAIN(E2EFaults)
#include "test_e2e_faults.moc"
