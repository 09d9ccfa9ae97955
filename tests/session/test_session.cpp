// SPDX-License-Identifier: MIT
// The panel's actions through the session on a fake link, timers fired by hand and settings in
// memory: what goes on the wire, what is announced, and in which order.

#include <sessionrig.h>

#include <codec/settingsstore.h>

#include <QSignalSpy>
#include <QTest>

using namespace vantor;
using codec::Setting;
using protocol::RequestKind;

Q_DECLARE_METATYPE(RequestKind)

namespace {

QByteArray byte(int b)
{
    return QByteArray(1, static_cast<char>(b));
}

struct Rig : testing::SessionOnFakes
{
    Rig()
    {
        session.setClock([this] { return now; });
    }

    qint64 now = 1'700'000'000'123;
};

} // namespace

class TestSession : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<RequestKind>(); }

    // Each operation from idle: the command bytes it puts on the wire, all of them.
    void operationsOnTheWire_data()
    {
        QTest::addColumn<int>("operation");
        QTest::addColumn<int>("group");
        QTest::addColumn<QByteArray>("wire");

        QTest::newRow("load from device") << 0 << 0 << byte(0x08);
        QTest::newRow("refresh, group 2") << 1 << 2 << byte(0x2A);
        QTest::newRow("send port control, group 1") << 2 << 1 << byte(0x21);
        QTest::newRow("read of group 5 never writes") << 3 << 5 << byte(0x0D);
        QTest::newRow("save: system write, then the port write")
            << 4 << 0 << QByteArray("\x18\x20");
    }

    void operationsOnTheWire()
    {
        QFETCH(int, operation);
        QFETCH(int, group);
        QFETCH(QByteArray, wire);
        Rig r;
        r.session.usePortGroup(group);
        switch (operation) {
        case 0:
            r.session.loadFromDevice();
            break;
        case 1:
            r.session.refresh();
            break;
        case 2:
            r.session.sendPortControl();
            break;
        case 3:
            r.session.readGroup(group);
            break;
        case 4:
            r.session.saveToDevice();
            break;
        }
        for (int i = 0; i < 4 && testing::SessionSeam::engine(r.session).transactionBusy(); ++i)
            r.complete();
        QByteArray commands;
        for (const QByteArray &w : std::as_const(r.link.writes)) {
            if (w.size() == 1)
                commands += w;
        }
        QCOMPARE(commands.toHex(' '), wire.toHex(' '));
    }

    void autoRefreshTicksRequestRefreshes()
    {
        Rig r;
        QSignalSpy changed(&r.session, &session::Session::autoRefreshChanged);
        QCOMPARE(r.refresh.interval(), 500);
        r.session.setAutoRefresh(true);
        r.session.setAutoRefresh(true); // no change: nothing more happens
        QCOMPARE(changed.size(), 1);
        r.refresh.fire();
        QCOMPARE(r.link.takeWire(), byte(0x28));
        r.refresh.fire(); // still in flight: only remembered
        QVERIFY(r.link.takeWire().isEmpty());
        r.complete();
        QCOMPARE(r.link.takeWire(), byte(0x28));
        // Switching auto-refresh off does not cancel a refresh already pending.
        r.session.refresh();
        r.session.setAutoRefresh(false);
        QVERIFY(!r.refresh.isActive());
        r.complete();
        QCOMPARE(r.link.takeWire(), byte(0x28));
    }

    // Every answer is announced once, before its transaction ends, with its own group (from the
    // command code), its time, its bytes and what they decode to; the store has it already.
    void answersAreAnnounced()
    {
        Rig r;
        int group = 2;
        r.session.setPortGroupSource([&group] { return group; });
        r.session.readGroup(2);
        r.link.takeWire();
        group = 0; // the tab moves while the read is in flight

        QStringList order;
        QList<session::DecodedAnswer> answers;
        connect(&r.session, &session::Session::answerDecoded, this,
                [&](const session::DecodedAnswer &a) {
                    order << QStringLiteral("answer");
                    answers << a;
                    QCOMPARE(r.store.value(Setting::MAX_SYS_PWR).value, 346);
                });
        connect(&r.session, &session::Session::requestCompleted, this,
                [&] { order << QStringLiteral("completed"); });
        QByteArray answer(170, '\0');
        answer.replace(0, 15, QByteArray::fromHex("081030a5961c25c2330d5a010a150c"));
        r.complete(answer);

        QCOMPARE(order, QStringList({ QStringLiteral("answer"), QStringLiteral("completed") }));
        QCOMPARE(answers.size(), 1);
        const session::DecodedAnswer &a = answers.first();
        QCOMPARE(a.code, std::uint8_t(0x0A));
        QCOMPARE(a.group, 2);
        QCOMPARE(a.receivedUtcMs, r.now);
        QCOMPARE(a.raw, answer);
        QVERIFY(a.isWholeRead());
        QCOMPARE(a.snapshot.config[Setting::PD_R_HIGH], 26500);
        QCOMPARE(a.snapshot.info.firmwareMinor, 21);
    }

    // "Save to Device" is all or nothing: a block that cannot be built sends nothing, leaves
    // "Calibrate System" and the port count, whether it is found at once or at launch.
    void saveIsAllOrNothing_data()
    {
        QTest::addColumn<bool>("busy");
        QTest::addColumn<int>("bad");
        QTest::newRow("idle, bad system entry") << false << int(Setting::STARTUP_OL_DLY);
        QTest::newRow("idle, bad port entry") << false << int(Setting::PORT_PWR_LMT);
        QTest::newRow("busy, system entry spoilt before launch")
            << true << int(Setting::STARTUP_OL_DLY);
    }

    void saveIsAllOrNothing()
    {
        QFETCH(bool, busy);
        QFETCH(int, bad);
        Rig r;
        r.store.setValue(Setting::COMMON_CTRL_7, 0, 1);
        r.store.text(Setting::SYS_PORT_CNT) = QStringLiteral("16");
        QSignalSpy refused(&r.session, &session::Session::requestRefused);
        if (busy) {
            r.session.refresh();
            QVERIFY(!r.session.saveToDevice()->isFinished());
            r.link.takeWire();
        }
        r.store.text(static_cast<Setting>(bad)).clear();
        if (!busy)
            QVERIFY(r.session.saveToDevice()->outcome() == session::Request::Outcome::Refused);
        r.complete();
        QVERIFY(r.link.takeWire().isEmpty());
        QVERIFY(!testing::SessionSeam::engine(r.session).transactionBusy());
        QCOMPARE(refused.size(), 1);
        if (!busy) {
            QCOMPARE(r.store.value(Setting::COMMON_CTRL_7).value, 1);
            QCOMPARE(r.session.portCount(), 8);
        }
    }

    void portGroupsTheCountAllows_data()
    {
        QTest::addColumn<int>("portCount");
        QTest::addColumn<int>("highest");
        QTest::newRow("8") << 8 << 0;
        QTest::newRow("16") << 16 << 1;
        QTest::newRow("48") << 48 << 5;
        QTest::newRow("12 allows group 0 only") << 12 << 0;
        QTest::newRow("0 still allows nothing past 0") << 0 << 0;
    }

    void portGroupsTheCountAllows()
    {
        QFETCH(int, portCount);
        QFETCH(int, highest);
        Rig r;
        testing::SessionSeam::setPortCount(r.session, portCount);
        QCOMPARE(r.session.highestAllowedGroup(), highest);
        QCOMPARE(r.session.groupAllowed(highest), portCount >= 8);
        QVERIFY(!r.session.groupAllowed(highest + 1));
        QVERIFY(!r.session.groupAllowed(-1));
    }

    // Opened, lost with its reason, opened again; a port that cannot be opened says why.
    void linkEvents()
    {
        Rig r;
        QStringList events;
        connect(&r.session, &session::Session::linkOpened, this,
                [&](const QString &d) { events << QStringLiteral("opened ") + d; });
        connect(&r.session, &session::Session::linkLost, this,
                [&](const QString &why) { events << QStringLiteral("lost: ") + why; });
        connect(&r.session, &session::Session::linkReopened, this,
                [&](const QString &d) { events << QStringLiteral("reopened ") + d; });
        connect(&r.session, &session::Session::linkOpenFailed, this,
                [&](const QString &, const QString &why) {
                    events << QStringLiteral("failed: ") + why;
                });
        connect(&r.session, &session::Session::linkClosed, this,
                [&] { events << QStringLiteral("closed"); });

        r.link.close();
        r.session.openPort();
        emit r.link.portFailed(QStringLiteral("unplugged"));
        r.link.close();
        r.link.failOpen = true;
        r.session.resetPort();
        r.link.failOpen = false;
        r.session.resetPort();
        QCOMPARE(events,
                 QStringList({ QStringLiteral("closed"), QStringLiteral("opened /dev/ttyS0"),
                               QStringLiteral("lost: unplugged"), QStringLiteral("closed"),
                               QStringLiteral("failed: cannot open"),
                               QStringLiteral("reopened /dev/ttyS0") }));
    }
};

QTEST_GUILESS_MAIN(TestSession)
#include "sessionseam.h"
#include "test_session.moc"
