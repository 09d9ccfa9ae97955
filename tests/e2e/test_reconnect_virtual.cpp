// SPDX-License-Identifier: MIT
// The whole panel on virtual time while its adapter is away and comes back (the same board or
// another one under the same name): it waits on the backoff's schedule and on the device's
// folder, wakes for nothing else, picks the board up by itself, reads it whole before
// refreshing again, and writes nothing. A 30 s absence takes no real time; the folder is
// really watched (the device is a file in a scratch folder). The same over a pseudo-terminal
// in real time, with the CPU it costs: test_e2e_reconnect.

#include "virtualrig.h"

#include <bytes.h>

#include <QSignalSpy>

using vantor::e2e::VirtualRig;
using vantor::session::Reconnector;

namespace {

constexpr quint8 kWholeRead = 0x08;
constexpr quint8 kPortRefresh = 0x28;
// From the device's return to the first refresh answered after the whole read.
constexpr int kResumeWithinMs = 3000;
// The folder watch is the kernel's: it reports within moments of real time.
constexpr int kWatchReportsWithinMs = 3000;

// The attempts the backoff makes while a device stays away for `ms`: after 1 s, then each
// wait twice the one before, at most kLongestRetryMs.
int attemptsWithin(int ms)
{
    int attempts = 0;
    int wait = Reconnector::kFirstRetryMs;
    for (int at = wait; at <= ms; at += wait) {
        ++attempts;
        wait = std::min(wait * 2, Reconnector::kLongestRetryMs);
    }
    return attempts;
}

// A board whose settings differ from the factory's: 16 ports, lower limit 20000 ohms.
std::unique_ptr<vantor::sim::BoardModel> otherBoard()
{
    auto model = std::make_unique<vantor::sim::BoardModel>();
    const vantor::sim::Snapshot image = model->image(0);
    QByteArray system(reinterpret_cast<const char *>(image.data()),
                      qsizetype(vantor::sim::kSystemBlockSize));
    system[13] = 0;
    system[0] = 16;
    system[5] = static_cast<char>(10000 & 0xFF);
    system[6] = static_cast<char>(10000 >> 8);
    model->applySystemBlock(vantor::testing::bytesOf(system));
    return model;
}

// Since the board's log was cleared: a whole read first, then answered refreshes only.
bool readThenRefreshed(const VirtualRig &r)
{
    const QList<quint8> codes = r.board.codes();
    return codes.size() >= 2 && codes.first() == kWholeRead
        && codes.count(kPortRefresh) == codes.size() - 1 && r.board.answers >= 2;
}

} // namespace

class ReconnectVirtual : public QObject
{
    Q_OBJECT

private slots:
    void returnAfterAbsence_data();
    void returnAfterAbsence();
    void newBoardOnTheSameName();
};

void ReconnectVirtual::returnAfterAbsence_data()
{
    QTest::addColumn<int>("absenceMs");
    QTest::newRow("2 s") << 2000;
    QTest::newRow("30 s") << 30000;
}

void ReconnectVirtual::returnAfterAbsence()
{
    QFETCH(int, absenceMs);
    VirtualRig r;
    QVERIFY(r.start());
    QVERIFY(r.time.advanceUntil([&r] { return r.board.codes().contains(kPortRefresh); }, 1000));
    const int systemWrites = r.board.model().systemWrites();
    const int portWrites = r.board.model().portWrites(0);

    r.board.unplug();
    QVERIFY(r.window->staleDisplay().isStale());
    QVERIFY(!r.link.isOpen());
    QVERIFY(r.window->reconnector().isWaiting());

    // Away: the reconnector wakes only on its backoff's schedule and tries no open while the
    // name is missing; nothing goes out on the line.
    r.board.clear();
    r.link.writes.clear();
    const int opens = r.link.openCount;
    const int wakes = r.retryTimer.runOuts;
    r.time.advance(absenceMs);
    QCOMPARE(r.retryTimer.runOuts - wakes, attemptsWithin(absenceMs));
    QVERIFY2(r.retryTimer.interval() >= Reconnector::kFirstRetryMs,
             qPrintable(QString::number(r.retryTimer.interval())));
    QCOMPARE(r.link.openCount, opens);
    QVERIFY(r.link.writes.isEmpty());
    QVERIFY(r.window->reconnector().isWaiting());
    QVERIFY(r.refreshTimer.isActive());
    QVERIFY(r.window->staleDisplay().isStale());

    // Back: the watch on its folder sees it at once, whatever the backoff's next wait.
    r.board.plugIn();
    QTRY_VERIFY_WITH_TIMEOUT(r.link.isOpen(), kWatchReportsWithinMs);
    QVERIFY(r.time.advanceUntil([&r] { return readThenRefreshed(r); }, kResumeWithinMs));
    QCOMPARE(r.board.model().systemWrites(), systemWrites);
    QCOMPARE(r.board.model().portWrites(0), portWrites);
    QVERIFY(!r.window->staleDisplay().isStale());
    QVERIFY2(r.window->outcomeText().contains(QStringLiteral(" is back: ")),
             qPrintable(r.window->outcomeText()));
}

// Another board, with other settings, under the same name: after the whole read the window
// shows what this one holds.
void ReconnectVirtual::newBoardOnTheSameName()
{
    VirtualRig r;
    QVERIFY(r.start());
    QCOMPARE(r.c().PD_R_LOW->text(), QStringLiteral("19000"));

    r.board.unplug();
    QVERIFY(r.window->staleDisplay().isStale());
    r.board.setModel(otherBoard());
    r.board.clear();
    r.board.plugIn();
    // Without the folder's report, the next attempt of the backoff finds it.
    QVERIFY(r.time.advanceUntil([&r] { return readThenRefreshed(r); },
                                Reconnector::kFirstRetryMs + kResumeWithinMs));
    QCOMPARE(r.board.model().systemWrites(), 1); // its own, from otherBoard()
    QCOMPARE(r.board.model().portWrites(0), 0);
    QCOMPARE(r.c().PD_R_LOW->text(), QStringLiteral("20000"));
    QCOMPARE(r.c().SYS_PORT_CNT->currentText(), QStringLiteral("16"));
    QVERIFY(!r.window->staleDisplay().isStale());
}

QTEST_MAIN(ReconnectVirtual)
#include "test_reconnect_virtual.moc"
