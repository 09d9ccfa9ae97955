// SPDX-License-Identifier: MIT
// Settings changed in the window are not board state: the status bar counts them until a write
// sends them or a whole read replaces them.
#include <panelrig.h>

#include <sim/boardmodel.h>
#include <window/controls.h>
#include <window/numericentry.h>
#include <window/statusline.h>

#include <QCheckBox>

using namespace vantor;

namespace {

enum class Then { Nothing, SendPortControl, SaveToDevice, LoadFromDevice, RefreshOnly };

QByteArray boardAnswer()
{
    const sim::BoardModel board;
    const sim::Snapshot s = board.snapshot(0);
    return QByteArray(reinterpret_cast<const char *>(s.data()), static_cast<qsizetype>(s.size()));
}

} // namespace

Q_DECLARE_METATYPE(Then)

class UnsentTest : public QObject
{
    Q_OBJECT
private slots:
    void countsUntilSentOrRead_data();
    void countsUntilSentOrRead();
};

void UnsentTest::countsUntilSentOrRead_data()
{
    QTest::addColumn<QList<int>>("enableClicks");
    QTest::addColumn<QString>("typedRLow");
    QTest::addColumn<Then>("then");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("named");

    QTest::newRow("nothing changed") << QList<int> {} << QString() << Then::Nothing << 0 << "";
    QTest::newRow("one port enable")
        << QList<int> { 3 } << QString() << Then::Nothing << 1 << "Port Enable of Port 4";
    QTest::newRow("two ports and the lower discovery limit")
        << QList<int> { 3, 5 } << QStringLiteral("18000") << Then::Nothing << 3
        << "Lower Limit of PD Discovery R (ohms)";
    QTest::newRow("changed and changed back")
        << QList<int> { 3, 3 } << QString() << Then::Nothing << 0 << "";
    QTest::newRow("a refresh does not replace them")
        << QList<int> { 3 } << QString() << Then::RefreshOnly << 1 << "Port Enable of Port 4";
    QTest::newRow("Send Port Control sends them")
        << QList<int> { 3 } << QString() << Then::SendPortControl << 0 << "";
    QTest::newRow("Send Port Control leaves the system settings")
        << QList<int> { 3 } << QStringLiteral("18000") << Then::SendPortControl << 1
        << "Lower Limit of PD Discovery R (ohms)";
    QTest::newRow("Save to Device sends them")
        << QList<int> { 3 } << QStringLiteral("18000") << Then::SaveToDevice << 0 << "";
    QTest::newRow("a whole read replaces them")
        << QList<int> { 3, 5 } << QStringLiteral("18000") << Then::LoadFromDevice << 0 << "";
}

void UnsentTest::countsUntilSentOrRead()
{
    QFETCH(QList<int>, enableClicks);
    QFETCH(QString, typedRLow);
    QFETCH(Then, then);
    QFETCH(int, count);
    QFETCH(QString, named);

    testing::FakePanel p;
    p.startAndSettle();
    p.c().Interval_Update->setChecked(false);
    QCOMPARE(p.session().unsentChanges(), QStringList());
    for (const int e : enableClicks)
        p.c().PORT_SYS_MGMNT_2[e]->click();
    if (!typedRLow.isEmpty()) {
        p.c().PD_R_LOW->selectAll();
        QTest::keyClicks(p.c().PD_R_LOW, typedRLow);
    }

    switch (then) {
    case Then::Nothing:
        break;
    case Then::SendPortControl:
    case Then::SaveToDevice:
        (then == Then::SaveToDevice ? p.c().TX_SYS_CTRL : p.c().TX_PRT_CTRL)->click();
        for (int write = 0; write < 2 && p.engine().transactionBusy(); ++write) {
            p.link.feed(QByteArray(1, '\x06'));
            p.link.drain();
        }
        break;
    case Then::LoadFromDevice:
    case Then::RefreshOnly:
        (then == Then::LoadFromDevice ? p.c().Update_All : p.c().Update_Port_Status)->click();
        p.link.feed(boardAnswer());
        break;
    }
    QVERIFY(!p.engine().transactionBusy());

    const QStringList changes = p.session().unsentChanges();
    QCOMPARE(changes.size(), count);
    const QString shown = p.window->statusLine().unsentText();
    if (count == 0)
        QVERIFY2(shown.isEmpty(), qPrintable(shown));
    else
        QVERIFY2(shown.startsWith(QString::number(count) + QStringLiteral(" change")),
                 qPrintable(shown));
    if (!named.isEmpty())
        QVERIFY2(changes.contains(named), qPrintable(changes.join(QStringLiteral(", "))));
}

QTEST_MAIN(UnsentTest)
#include "test_unsent.moc"
