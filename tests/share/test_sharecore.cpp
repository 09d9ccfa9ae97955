// SPDX-License-Identifier: MIT
// The share's scheduling core driven by scripts: clients' bytes in, the board's bytes and
// events by hand, virtual time, and what reached the board and each client checked exactly.

#include <fakes.h>

#include <share/reopener.h>
#include <share/sharecore.h>

#include <QTest>

#include <map>

using vantor::share::ClientId;
using vantor::share::ShareCore;
using vantor::testing::FakeLink;
using vantor::testing::FakeTimer;

namespace {

class RecordingSink final : public vantor::share::ClientSink
{
public:
    void sendToClient(ClientId client, const QByteArray &bytes) override
    {
        received[client] += bytes;
    }
    std::map<ClientId, QByteArray> received;
};

// "snap3": a snapshot whose every byte is 3, so that tests can tell answers apart.
QByteArray bytesOf(const QString &word)
{
    if (word == u"-")
        return {};
    if (word.startsWith(u"snap"))
        return QByteArray(int(vantor::protocol::kSnapshotSize), char(word.mid(4).toInt()));
    if (word.startsWith(u"sys"))
        return QByteArray(int(vantor::protocol::kSystemBlockSize), char(word.mid(3).toInt()));
    if (word.startsWith(u"port"))
        return QByteArray(int(vantor::protocol::kPortBlockSize), char(word.mid(4).toInt()));
    return QByteArray::fromHex(word.toLatin1());
}

QByteArray bytesOf(const QStringList &words)
{
    QByteArray all;
    for (const QString &w : words)
        all += bytesOf(w);
    return all;
}

struct Rig
{
    Rig()
        : core(
            link, sink,
            [this] {
                auto timer = std::make_unique<FakeTimer>();
                timers.push_back(timer.get());
                return timer;
            },
            [this] { return nowMs; })
    {
    }

    ClientId idOf(const QString &name)
    {
        const auto it = ids.find(name);
        return it == ids.end() ? 0 : it->second;
    }

    FakeLink link;
    RecordingSink sink;
    std::vector<FakeTimer *> timers;
    qint64 nowMs = 1000;
    std::map<QString, ClientId> ids;
    ShareCore core;
};

} // namespace

class TestShareCore : public QObject
{
    Q_OBJECT

private slots:
    void script_data();
    void script();
    void commandBytes_data();
    void commandBytes();
    void reopensWithBackoff();
};

// Steps, one per string:
//   join A [ro]      client A comes (ro: on a read-only listener)
//   leave A          client A goes
//   A> WORDS         client A sends bytes (hex, snapN, sysN, portN)
//   A< WORDS         client A received exactly these since the last check ("-": nothing)
//   board< WORDS     the share wrote exactly these to the board since the last check
//   board> WORDS     the board sends these bytes
//   drain            the board's transmit buffer emptied (send event)
//   wait MS          virtual time passes
//   stage            the stage time-out runs out
//   block            every block collection time-out runs out
//   lose / open      the board's link is lost / opened again
//   check            answers fail the plausibility checks from now on
//   stat NAME N      a counter of the share
void TestShareCore::script_data()
{
    QTest::addColumn<QStringList>("steps");

    QTest::newRow("requests run in arrival order, one at a time")
        << QStringList { "join A",    "join B",       "A> 28",    "B> 29",
                         "board< 28", "board> snap1", "A< snap1", "board< 29",
                         "B< -",      "board> snap2", "B< snap2", "A< -" };
    QTest::newRow("identical waiting refreshes share one transaction")
        << QStringList { "join A",       "join B",    "join C",       "C> 08",    "A> 28",
                         "B> 28",        "board< 08", "board> snap1", "C< snap1", "board< 28",
                         "board> snap2", "A< snap2",  "B< snap2",     "board< -", "stat joined 1" };
    QTest::newRow("a refresh is answered from a recent snapshot, then from the board")
        << QStringList { "join A",   "join B",   "A> 28", "board< 28", "board> snap1",
                         "A< snap1", "wait 249", "B> 28", "B< snap1",  "board< -",
                         "wait 1",   "B> 28",    "B< -",  "board< 28", "stat snapshot 1" };
    QTest::newRow("whole reads always go to the board")
        << QStringList { "join A",       "join B",       "A> 08",    "board< 08",
                         "board> snap1", "A< snap1",     "B> 08",    "B< -",
                         "board< 08",    "board> snap2", "B< snap2", "stat snapshot 0" };
    QTest::newRow("no snapshot from before a write")
        << QStringList { "join A",       "join B",     "A> 28", "board< 28", "board> snap1",
                         "A< snap1",     "B> 18 sys7", "B< 06", "board< 18", "board> 06",
                         "board< sys7",  "drain",      "A> 28", "A< -",      "board< 28",
                         "board> snap2", "A< snap2" };
    QTest::newRow("no snapshot while a write waits")
        << QStringList { "join A",   "join B",       "join C",       "C> 08",       "board< 08",
                         "A> 28",    "board> snap1", "C< snap1",     "board< 28",   "B> 18 sys7",
                         "B< 06",    "A< -",         "board> snap2", "A< snap2",    "A> 28",
                         "A< -",     "board< 18",    "board> 06",    "board< sys7", "drain",
                         "board< 28" };
    QTest::newRow("a refresh after one's own write is not joined to an earlier one")
        << QStringList { "join A",    "join B",       "join C",   "C> 08",     "board< 08",
                         "B> 28",     "A> 20 port5",  "A< 06",    "A> 28",     "board> snap1",
                         "board< 28", "board> snap2", "B< snap2", "A< -",      "board< 20",
                         "board> 06", "board< port5", "drain",    "board< 28", "board> snap3",
                         "A< snap3",  "stat joined 0" };
    // The panel's start-up: 0x08 and at once 0x18 with its block, then 0x20.
    QTest::newRow("a new command cancels one's own unanswered read")
        << QStringList { "join A",       "join B",   "B> 29",     "board< 29",
                         "A> 08",        "A> 18",    "A< 06",     "A> sys1",
                         "board> snap1", "B< snap1", "board< 18", "board> 06",
                         "board< sys1",  "drain",    "board< -",  "A< -" };
    QTest::newRow("a stale answer never lands in the client's next stage")
        << QStringList { "join A",       "A> 08", "board< 08", "A> 18",     "A< 06",
                         "board> snap1", "A< -",  "A> sys2",   "board< 18", "board> 06",
                         "board< sys2",  "drain", "A< -" };
    QTest::newRow("a write's acknowledgement is the board's own byte")
        << QStringList { "join A",      "A> 18 sys1", "A< 06",       "board< 18", "board> 55",
                         "board< sys1", "drain",      "A> 20 port1", "A< 55",     "board< 20" };
    QTest::newRow("a client gone mid-block leaves no write, the next read runs at once")
        << QStringList { "join A",       "join B",   "A> 20",    "A< 06",
                         "A> 0000",      "leave A",  "B> 28",    "board< 28",
                         "board> snap1", "B< snap1", "board< -", "stat abandoned 1" };
    QTest::newRow("a block not complete in time sends nothing")
        << QStringList { "join A",   "A> 18 00", "A< 06",     "block",
                         "board< -", "A> 28",    "board< 28", "stat abandoned 1" };
    QTest::newRow("a write taken whole still runs when its client has gone")
        << QStringList { "join A",     "join B",      "B> 08",        "board< 08",
                         "A> 18 sys3", "leave A",     "board> snap1", "board< 18",
                         "board> 06",  "board< sys3", "drain" };
    QTest::newRow("a read-only listener passes no write") << QStringList {
        "join R ro", "R> 18",        "R< -",     "board< -",         "R> 20", "R< -", "R> 28",
        "board< 28", "board> snap1", "R< snap1", "stat refused_ro 2"
    };
    QTest::newRow("a write the board never acknowledges is counted, then writes wait")
        << QStringList { "join A",
                         "A> 18 sys1",
                         "A< 06",
                         "board< 18",
                         "stage",
                         "board< 08",
                         "A> 18",
                         "A< -",
                         "board> snap1",
                         "A> 18",
                         "A< 06",
                         "stat unacked 1",
                         "stat refused_down 1" };
    QTest::newRow("a silent read times out; its late answer reaches nobody")
        << QStringList { "join A",       "join B",       "A> 28", "board< 28", "stage",
                         "board< 08",    "board> snap1", "A< -",  "B> 29",     "board< 29",
                         "board> snap2", "B< snap2",     "A< -" };
    QTest::newRow("board lost: silence, the queue dropped, a whole read first on return")
        << QStringList { "join A",        "join B",   "A> 28", "board< 28", "B> 18 sys4",
                         "B< 06",         "lose",     "A> 28", "B> 18",     "A< -",
                         "B< -",          "board< -", "open",  "board< 08", "board> snap1",
                         "A< -",          "board< -", "A> 28", "A< snap1",  "board< -",
                         "stat dropped 1" };
    QTest::newRow("reads asked while the board is probed follow its whole read")
        << QStringList { "lose",         "open",      "join A",       "A> 2a",   "board< 08",
                         "board> snap1", "board< 2a", "board> snap2", "A< snap2" };
    QTest::newRow("a client's writes waiting for the board are bounded")
        << QStringList { "join A",      "join B",     "B> 08",      "board< 08",
                         "A> 18 sys1",  "A> 18 sys2", "A> 18 sys3", "A> 18 sys4",
                         "A< 06060606", "A> 18",      "A< -",       "stat refused_full 1" };
    QTest::newRow("answers that fail their checks are passed on and counted") << QStringList {
        "check", "join A", "A> 28", "board< 28", "board> snap9", "A< snap9", "stat implausible 1"
    };
}

void TestShareCore::script()
{
    QFETCH(QStringList, steps);
    Rig rig;
    // The board open and answering before the script begins.
    QCOMPARE(rig.link.takeWire(), QByteArray::fromHex("08"));
    rig.link.feed(bytesOf(QStringLiteral("snap0")));
    QCOMPARE(rig.core.boardState(), ShareCore::BoardState::Up);
    // Older than any snapshot may be.
    rig.nowMs += 10000;
    ClientId nextId = 1;

    for (const QString &step : std::as_const(steps)) {
        QStringList words = step.split(u' ');
        const QString head = words.takeFirst();
        const QByteArray context = step.toUtf8();
        if (head == u"join") {
            rig.ids[words[0]] = nextId;
            rig.core.addClient(nextId++, words[0], words.size() > 1);
        } else if (head == u"leave") {
            rig.core.removeClient(rig.idOf(words[0]));
        } else if (head.endsWith(u'>') && head != u"board>") {
            rig.core.clientBytes(rig.idOf(head.chopped(1)), bytesOf(words));
        } else if (head == u"board>") {
            rig.link.feed(bytesOf(words));
        } else if (head == u"board<") {
            const QByteArray wire = rig.link.takeWire();
            QVERIFY2(wire.toHex(' ') == bytesOf(words).toHex(' '),
                     (context + " got " + wire.toHex(' ').left(60)).constData());
        } else if (head.endsWith(u'<')) {
            const ClientId id = rig.idOf(head.chopped(1));
            const QByteArray got = std::exchange(rig.sink.received[id], {});
            QVERIFY2(got.toHex(' ') == bytesOf(words).toHex(' '),
                     (context + " got " + got.toHex(' ').left(60)).constData());
        } else if (head == u"drain") {
            rig.link.drain();
        } else if (head == u"wait") {
            rig.nowMs += words[0].toInt();
        } else if (head == u"stage") {
            rig.timers.front()->fire();
        } else if (head == u"block") {
            for (std::size_t i = 1; i < rig.timers.size(); ++i)
                rig.timers[i]->fire();
        } else if (head == u"lose") {
            rig.link.lose(QStringLiteral("pulled"));
        } else if (head == u"open") {
            rig.link.open();
        } else if (head == u"check") {
            rig.core.setAnswerCheck([](std::uint8_t, std::span<const std::uint8_t>) {
                return std::optional<QString>(QStringLiteral("out of range"));
            });
        } else if (head == u"stat") {
            const vantor::share::ShareStats &s = rig.core.stats();
            using vantor::share::Refusal;
            const std::map<QString, quint64> values {
                { "joined", s.joinedReads },
                { "snapshot", s.snapshotReads },
                { "unacked", s.unacknowledgedWrites },
                { "abandoned", s.abandonedWrites },
                { "dropped", s.droppedWrites },
                { "implausible", s.implausibleAnswers },
                { "unknown", s.unknownBytes },
                { "refused_ro", s.refusedWrites[std::size_t(Refusal::ReadOnly)] },
                { "refused_down", s.refusedWrites[std::size_t(Refusal::BoardDown)] },
                { "refused_full", s.refusedWrites[std::size_t(Refusal::QueueFull)] },
            };
            QVERIFY2(values.contains(words[0]), context.constData());
            QVERIFY2(values.at(words[0]) == words[1].toULongLong(),
                     (context + " is " + QByteArray::number(values.at(words[0]))).constData());
        } else {
            QFAIL(("unknown step " + context).constData());
        }
    }
}

void TestShareCore::commandBytes_data()
{
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QByteArray>("onBoard");

    QTest::newRow("below the reads")
        << QByteArray::fromHex("00 07 2f") << QByteArray::fromHex("2f");
    QTest::newRow("beside the system write")
        << QByteArray::fromHex("10 17 19 1f 0f") << QByteArray::fromHex("0f");
    QTest::newRow("above the refreshes")
        << QByteArray::fromHex("30 ff 80 28") << QByteArray::fromHex("28");
}

// Only the board's commands reach it; anything else is dropped, whatever it is mixed with.
void TestShareCore::commandBytes()
{
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, onBoard);
    Rig rig;
    rig.link.takeWire();
    rig.link.feed(bytesOf(QStringLiteral("snap0")));
    rig.nowMs += 10000;
    rig.core.addClient(1, QStringLiteral("A"), false);
    rig.core.clientBytes(1, sent);
    QCOMPARE(rig.link.takeWire().toHex(), onBoard.toHex());
    QCOMPARE(rig.core.stats().unknownBytes, quint64(sent.size() - onBoard.size()));
}

// A board that cannot be opened is tried again later and later, never faster than each second.
void TestShareCore::reopensWithBackoff()
{
    FakeLink link;
    link.close();
    link.setPortName(QStringLiteral("tcp://127.0.0.1:9"));
    link.failOpen = true;
    FakeTimer retry;
    vantor::share::Reopener reopener(link, retry);
    QList<int> intervals;
    link.open();
    for (int i = 0; i < 5; ++i) {
        QVERIFY(retry.isActive());
        intervals.append(retry.interval());
        retry.fire();
    }
    QCOMPARE(intervals, (QList<int> { 1000, 2000, 4000, 5000, 5000 }));
    link.failOpen = false;
    retry.fire();
    QVERIFY(link.isOpen());
    QVERIFY(!retry.isActive());
    link.lose(QStringLiteral("pulled"));
    QCOMPARE(retry.interval(), 1000);
}

QTEST_GUILESS_MAIN(TestShareCore)
#include "test_sharecore.moc"
