// SPDX-License-Identifier: MIT
// Starting with --keep-board-settings: every group the board has is read before anything else
// and nothing is written, a group is read the first time it is selected, and a write of a group
// whose settings were neither read nor edited in this run is refused.
#include <panelrig.h>

#include <sim/boardmodel.h>
#include <window/controls.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QTabWidget>

using namespace vantor;

namespace {

// The board's answer for a group, reporting the given port count.
QByteArray answer(int group, int portCount)
{
    const sim::BoardModel board;
    sim::Snapshot s = board.snapshot(group);
    s[0] = static_cast<std::uint8_t>(portCount);
    return QByteArray(reinterpret_cast<const char *>(s.data()), static_cast<qsizetype>(s.size()));
}

QByteArray codes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(static_cast<char>(v));
    return out;
}

// Started keeping the board's settings; each read answered with the port count, a refresh
// tick fired while every read is under way.
void startKeeping(testing::FakePanel &p, int portCount, QByteArray &wire)
{
    p.window->formLoad(session::StartMode::KeepBoardSettings);
    for (int round = 0; round < 8 && p.engine().transactionBusy(); ++round) {
        p.timer1.fire();
        const QByteArray sent = p.link.takeWire();
        wire += sent;
        p.link.feed(answer(static_cast<std::uint8_t>(sent.back()) & 7, portCount));
    }
}

} // namespace

class KeepBoardTest : public QObject
{
    Q_OBJECT
private slots:
    void startReadsEveryGroup_data();
    void startReadsEveryGroup();
    void firstSelectionReads();
    void unknownGroupsAreNotWritten_data();
    void unknownGroupsAreNotWritten();
};

void KeepBoardTest::startReadsEveryGroup_data()
{
    QTest::addColumn<int>("portCount");
    QTest::addColumn<QByteArray>("reads");

    QTest::newRow("8 ports: group 0") << 8 << codes({ 0x08 });
    QTest::newRow("16 ports: groups 0 and 1") << 16 << codes({ 0x08, 0x09 });
    QTest::newRow("24 ports: groups 0 to 2") << 24 << codes({ 0x08, 0x09, 0x0A });
    QTest::newRow("48 ports: groups 0 to 5") << 48 << codes({ 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D });
    // A count the panel does not offer keeps eight ports: nothing else to read.
    QTest::newRow("12 ports: group 0") << 12 << codes({ 0x08 });
}

void KeepBoardTest::startReadsEveryGroup()
{
    QFETCH(int, portCount);
    QFETCH(QByteArray, reads);

    testing::FakePanel p;
    QByteArray wire;
    startKeeping(p, portCount, wire);
    QCOMPARE(wire.toHex(' '), reads.toHex(' '));
    QVERIFY2(!p.engine().transactionBusy(), "every read was answered and nothing else runs");
    for (int g = 0; g < reads.size(); ++g)
        QVERIFY(p.session().groupKnown(g));

    // Refreshes come once the reads are done.
    p.timer1.fire();
    QCOMPARE(p.link.takeWire().toHex(' '), codes({ 0x28 }).toHex(' '));
}

void KeepBoardTest::firstSelectionReads()
{
    testing::FakePanel p;
    QByteArray wire;
    startKeeping(p, 8, wire);
    // The port count grows later ("Save to Device" of a 16-port count, say).
    testing::SessionSeam::setPortCount(p.session(), 16);
    p.c().Port_Control->setCurrentIndex(1);
    QCOMPARE(p.link.takeWire().toHex(' '), codes({ 0x09 }).toHex(' '));
    // A tick while that read is under way asks for nothing; the next refreshes group 1.
    p.timer1.fire();
    p.link.feed(answer(1, 16));
    QVERIFY(p.link.takeWire().isEmpty());
    p.timer1.fire();
    QCOMPARE(p.link.takeWire().toHex(' '), codes({ 0x29 }).toHex(' '));
    p.link.feed(answer(1, 16));

    // Selected again: known now, nothing more is read.
    p.c().Port_Control->setCurrentIndex(0);
    p.c().Port_Control->setCurrentIndex(1);
    QVERIFY(p.link.takeWire().isEmpty());
}

void KeepBoardTest::unknownGroupsAreNotWritten_data()
{
    QTest::addColumn<bool>("keep");
    QTest::addColumn<bool>("edited");
    QTest::addColumn<bool>("save");
    QTest::addColumn<bool>("sent");

    QTest::newRow("kept, not read: save refused") << true << false << true << false;
    QTest::newRow("kept, not read: port control refused") << true << false << false << false;
    QTest::newRow("kept, edited: save sent") << true << true << true << true;
    QTest::newRow("kept, edited: port control sent") << true << true << false << true;
    QTest::newRow("designed start: save sent") << false << false << true << true;
    QTest::newRow("designed start: port control sent") << false << false << false << true;
}

void KeepBoardTest::unknownGroupsAreNotWritten()
{
    QFETCH(bool, keep);
    QFETCH(bool, edited);
    QFETCH(bool, save);
    QFETCH(bool, sent);

    testing::FakePanel p;
    if (keep) {
        QByteArray wire;
        startKeeping(p, 8, wire);
    } else {
        p.startAndSettle();
    }
    // Group 1 shown without being read: the port count grew, the auto-refresh is off.
    p.c().Interval_Update->setChecked(false);
    testing::SessionSeam::setPortCount(p.session(), 16);
    p.c().Port_Control->setCurrentIndex(1);
    if (keep) {
        // Its read timed out.
        QCOMPARE(p.link.takeWire().toHex(' '), codes({ 0x09 }).toHex(' '));
        p.timer2.fire();
    }
    QVERIFY(!p.session().groupKnown(1) || !keep);
    if (edited)
        p.c().PORT_SYS_MGMNT_2[9]->click();
    p.link.takeWire();

    const session::RequestHandle request
        = save ? p.session().saveToDevice() : p.session().sendPortControl();
    const QByteArray wire = p.link.takeWire();
    QCOMPARE(!wire.isEmpty(), sent);
    QCOMPARE(request->isFinished() && request->outcome() == session::Request::Outcome::Refused,
             !sent);
    if (!sent) {
        QVERIFY2(p.window->outcomeText().contains(QStringLiteral("Ports 9-16")),
                 qPrintable(p.window->outcomeText()));
    }
}

QTEST_MAIN(KeepBoardTest)
#include "test_keepboard.moc"
