// SPDX-License-Identifier: MIT
// Repeated cycles folded into one shown row: scripted entries go into a log of a given
// capacity, and the rows its filter shows are compared with what should be shown.

#include <views/eventfolder.h>
#include <views/eventlog.h>

#include <QTest>

using namespace vantor;
using views::Event;
using views::EventFolder;
using views::EventKind;

namespace {

// 2025-12-06 12:00:00 UTC
constexpr qint64 kNoon = 1'765'022'400'000;

// A script step: "3:A" port 3's mode becomes A, "3!F" port 3's fault becomes F, "3#C" its class
// becomes C, "T" a refresh time-out, "L" the link lost.
QList<Event> entries(const QStringList &script)
{
    QList<Event> out;
    QHash<QString, QString> modes;
    for (const QString &step : script) {
        Event e;
        e.utcMs = kNoon + 500 * out.size();
        if (step == u"T") {
            e.kind = EventKind::TimeOut;
            e.to = QStringLiteral("port status refresh");
        } else if (step == u"L") {
            e.kind = EventKind::LinkLost;
            e.to = QStringLiteral("lost");
        } else {
            const qsizetype mark = step.indexOf(QRegularExpression(QStringLiteral("[:!#]")));
            e.group = 0;
            e.port = step.left(mark).toInt();
            e.to = step.mid(mark + 1);
            switch (step[mark].unicode()) {
            case ':':
                e.kind = EventKind::Mode;
                e.from = modes.value(step.left(mark));
                modes[step.left(mark)] = e.to;
                e.detail = e.to + QStringLiteral(" in progress");
                break;
            case '!':
                e.kind = EventKind::Fault;
                break;
            default:
                e.kind = EventKind::Class;
                break;
            }
        }
        out << e;
    }
    return out;
}

QString shown(const Event &e)
{
    switch (e.kind) {
    case EventKind::TimeOut:
        return QStringLiteral("T");
    case EventKind::LinkLost:
        return QStringLiteral("L");
    case EventKind::Fault:
        return QStringLiteral("%1!%2").arg(e.port).arg(e.to);
    case EventKind::Class:
        return QStringLiteral("%1#%2").arg(e.port).arg(e.to);
    default:
        return QStringLiteral("%1:%2").arg(e.port).arg(e.to);
    }
}

// The rows the filter shows, in the log's order: an entry as its script step, a group as
// "[steps of one cycle]xrepeats".
QStringList shownRows(const views::EventLog &log, const views::EventFilter &filter)
{
    QStringList rows;
    for (int row = 0; row < filter.rowCount(); ++row) {
        const int source = filter.mapToSource(filter.index(row, 0)).row();
        const EventFolder::Group *group = log.folder().group(source);
        if (!group) {
            rows << shown(log.at(source));
            continue;
        }
        QStringList steps;
        for (int i = 0; i < group->cycle; ++i)
            steps << shown(log.at(group->rows[static_cast<std::size_t>(i)]));
        rows << QStringLiteral("[%1]x%2").arg(steps.join(QLatin1Char(' '))).arg(group->repeats());
    }
    return rows;
}

QStringList times(int n, const QStringList &steps)
{
    QStringList out;
    for (int i = 0; i < n; ++i)
        out << steps;
    return out;
}

QStringList cycleOf(int length)
{
    QStringList steps;
    for (int i = 0; i < length; ++i)
        steps << QStringLiteral("1:M%1").arg(i);
    return steps;
}

} // namespace

class TestEventFolder : public QObject
{
    Q_OBJECT

private slots:
    void folding_data();
    void folding();
    void groupRowTexts();
};

void TestEventFolder::folding_data()
{
    QTest::addColumn<QStringList>("script");
    QTest::addColumn<int>("capacity");
    QTest::addColumn<QStringList>("rows");

    const int all = views::EventLog::kCapacity;
    const QStringList ab { "1:A", "1:B" };
    const QStringList abc { "1:A", "1:B", "1:C" };
    QTest::newRow("nothing repeated") << QStringList { "1:O", "1:A", "1:B", "1:C" } << all
                                      << QStringList { "1:O", "1:A", "1:B", "1:C" };
    QTest::newRow("length 1: time-outs") << times(4, { "T" }) << all << QStringList { "[T]x4" };
    QTest::newRow("once is not a cycle")
        << QStringList { "1:O" } + abc << all << QStringList { "1:O", "1:A", "1:B", "1:C" };
    QTest::newRow("length 2, the first state on its own")
        << QStringList { "1:O" } + times(3, ab) << all << QStringList { "1:O", "[1:A 1:B]x3" };
    QTest::newRow("length 3") << QStringList { "1:C" } + times(5, abc) << all
                              << QStringList { "1:C", "[1:A 1:B 1:C]x5" };
    QTest::newRow("a cycle in progress counts whole cycles")
        << QStringList { "1:C" } + times(2, abc) + QStringList { "1:A", "1:B" } << all
        << QStringList { "1:C", "[1:A 1:B 1:C]x2" };
    QTest::newRow("the longest cycle looked for")
        << QStringList { "1:O" } + times(2, cycleOf(EventFolder::kMaxCycle)) << all
        << QStringList { "1:O",
                         QStringLiteral("[%1]x2").arg(cycleOf(EventFolder::kMaxCycle).join(' ')) };
    QTest::newRow("a longer cycle stays as it is")
        << QStringList { "1:O" } + times(2, cycleOf(EventFolder::kMaxCycle + 1)) << all
        << QStringList { "1:O" } + times(2, cycleOf(EventFolder::kMaxCycle + 1));
    QTest::newRow("a fault ends it, the cycle after it is its own")
        << QStringList { "1:O" } + times(3, ab) + QStringList { "1!F" } + times(2, ab) << all
        << QStringList { "1:O", "[1:A 1:B]x3", "1!F", "[1:A 1:B]x2" };
    QTest::newRow("a fault within a cycle: its steps shown again")
        << QStringList { "1:O" } + times(3, ab) + QStringList { "1:A", "1!F", "1:B" } << all
        << QStringList { "1:O", "[1:A 1:B]x3", "1:A", "1!F", "1:B" };
    QTest::newRow("a class change ends it too")
        << QStringList { "1:O" } + times(2, ab) + QStringList { "1#2" } + ab << all
        << QStringList { "1:O", "[1:A 1:B]x2", "1#2", "1:A", "1:B" };
    QTest::newRow("two ports interleaved, a fault of one")
        << QStringList { "1:O", "2:O" } + times(2, { "1:A", "2:A", "1:O", "2:O" })
            + QStringList { "2!F", "1:A", "1:O" }
        << all << QStringList { "1:O", "2:O", "[1:A 1:O]x3", "[2:A 2:O]x2", "2!F" };
    QTest::newRow("the link's entries are no port's")
        << QStringList { "1:O", "1:A", "L", "1:O", "1:A", "1:O" } << all
        << QStringList { "1:O", "[1:A 1:O]x2", "L" };
    QTest::newRow("a cycle that changes")
        << QStringList { "1:C" } + times(3, abc) + times(2, { "1:A", "1:B", "1:D", "1:C" }) << all
        << QStringList { "1:C", "[1:A 1:B 1:C]x3", "[1:A 1:B 1:D 1:C]x2" };
    QTest::newRow("a cycle within a cycle")
        << QStringList { "1:C" } + times(2, abc) + QStringList { "1:A", "1:B" }
            + times(2, { "1:A", "1:B" })
        << all << QStringList { "1:C", "[1:A 1:B 1:C]x2", "[1:A 1:B]x3" };
    QTest::newRow("room made at the start of a group")
        << QStringList { "1:O" } + times(6, ab) << 10 << QStringList { "[1:A 1:B]x5" };
    QTest::newRow("room made within a cycle")
        << QStringList { "1:O" } + times(6, ab) << 9 << QStringList { "[1:B 1:A]x4" };
    QTest::newRow("room made: too little left to fold") << QStringList { "1:O" } + times(2, ab)
            + QStringList { "1!F" } << 4 << QStringList { "1:B", "1:A", "1:B", "1!F" };
    QTest::newRow("room made: the entries before it go, the group stays")
        << QStringList { "2:O", "2:A", "1:O" } + times(3, ab) << 7
        << QStringList { "1:O", "[1:A 1:B]x3" };
}

// Added one at a time, as a run adds them, and shown through the window's filter.
void TestEventFolder::folding()
{
    QFETCH(QStringList, script);
    QFETCH(int, capacity);
    QFETCH(QStringList, rows);
    views::EventLog log(capacity);
    views::EventFilter filter;
    filter.setSourceModel(&log);
    const QList<Event> events = entries(script);
    for (const Event &e : events)
        log.add(e);
    QCOMPARE(shownRows(log, filter), rows);
    // Every entry stays in the log: what is saved is what came.
    QCOMPARE(log.size(), std::min(capacity, int(events.size())));
    QList<int> shownSource;
    for (int row = 0; row < filter.rowCount(); ++row)
        shownSource << filter.mapToSource(filter.index(row, 0)).row();
    QCOMPARE(log.entriesBehind(shownSource).size(), log.size());
}

// A group shows where its cycles began and ended, and its tooltip every step's detail.
void TestEventFolder::groupRowTexts()
{
    views::EventLog log;
    for (const Event &e : entries(QStringList { "5:Port Off" }
                                  + times(214, { "5:R Detect", "5:Classify", "5:Port Off" })
                                  + QStringList { "5:R Detect" }))
        log.add(e);
    const QModelIndex head = log.index(1, views::EventLog::Detail);
    QCOMPARE(log.folder().role(1), EventFolder::Role::Head);
    QCOMPARE(head.data().toString(),
             QStringLiteral("R Detect > Classify > Port Off \u00d7214, 12:00:00\u201312:05:21"));
    QCOMPARE(log.index(1, views::EventLog::From).data().toString(), QStringLiteral("Port Off"));
    QCOMPARE(log.index(1, views::EventLog::To).data().toString(), QStringLiteral("R Detect"));
    QCOMPARE(head.data(Qt::ToolTipRole).toString(),
             QStringLiteral("R Detect > Classify > Port Off \u00d7214 from "
                            "2025-12-06T12:00:00.500Z to 2025-12-06T12:05:21.500Z, 643 entries\n"
                            "R Detect: R Detect in progress\n"
                            "Classify: Classify in progress\n"
                            "Port Off: Port Off in progress"));
    QVERIFY(log.index(1, views::EventLog::Time).data(Qt::ToolTipRole).isNull());
    // Copied as shown; saved entry by entry.
    QCOMPARE(log.text({ 1 }).count(QLatin1Char('\n')), 1);
    QCOMPARE(log.csv(log.entriesBehind({ 1 })).count('\n'), 1 + 643);
}

QTEST_GUILESS_MAIN(TestEventFolder)
#include "test_eventfolder.moc"
