// SPDX-License-Identifier: MIT
// A port that goes away and comes back: the reconnector's attempts and backoff, its watch on
// the device's folder and the adapter check, and what the session does with the transaction
// whose port is lost and with a start-up that keeps the board's settings. Fake link and timers; the
// device is a file in a scratch directory, so its folder is really watched.

#include <sessionrig.h>

#include <session/reconnector.h>

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace vantor;
using protocol::RequestKind;

Q_DECLARE_METATYPE(RequestKind)

namespace {

QByteArray byte(int b)
{
    return QByteArray(1, static_cast<char>(b));
}

struct Rig : testing::SessionOnFakes
{
    explicit Rig(const QString &device = {})
        : SessionOnFakes(mapFor(device))
        , reconnector(session)
    {
        reconnector.setRetryTimer(retry);
        reconnector.setPortInfoSource(ports);
        // Closed, as before start-up: every open from here on is announced.
        link.close();
    }

    static serial::PortMap mapFor(const QString &device)
    {
        serial::PortMap map;
        if (!device.isEmpty())
            map.setDevice(1, device);
        return map;
    }

    void listAdapter(const QString &device, const QString &serialNumber)
    {
        ports->list = { { device, device, QStringLiteral("USB serial"), QString(), serialNumber } };
    }

    testing::FakeTimer retry;
    std::shared_ptr<testing::FakePortInfo> ports = std::make_shared<testing::FakePortInfo>();
    session::Reconnector reconnector;
};

bool touch(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly);
}

} // namespace

class TestReconnection : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<RequestKind>(); }

    // One attempt after a loss, by what is found under the device's name.
    void attempt_data()
    {
        QTest::addColumn<bool>("present");
        QTest::addColumn<bool>("opens");
        QTest::addColumn<QString>("before"); // serial number of the adapter that was open
        QTest::addColumn<QString>("now");    // serial number listed on the name now
        QTest::addColumn<bool>("opened");
        QTest::addColumn<int>("opensTried");
        QTest::addColumn<int>("nextRetryMs");
        QTest::addColumn<int>("adapterReports");

        QTest::newRow("name absent: nothing tried, waits on")
            << false << true << QString() << QString() << false << 0 << 2000 << 0;
        QTest::newRow("name back: opened")
            << true << true << QString() << QString() << true << 1 << 0 << 0;
        QTest::newRow("open refused: tried again in 2 s")
            << true << false << QString() << QString() << false << 1 << 2000 << 0;
        QTest::newRow("the same adapter") << true << true << QStringLiteral("A10K")
                                          << QStringLiteral("A10K") << true << 1 << 0 << 0;
        QTest::newRow("another adapter: left closed, told once")
            << true << true << QStringLiteral("A10K") << QStringLiteral("B20Z") << false << 0
            << 2000 << 1;
        QTest::newRow("adapter no longer listed")
            << true << true << QStringLiteral("A10K") << QString() << true << 1 << 0 << 0;
        QTest::newRow("no adapter was known")
            << true << true << QString() << QStringLiteral("B20Z") << true << 1 << 0 << 0;
    }

    void attempt()
    {
        QFETCH(bool, present);
        QFETCH(bool, opens);
        QFETCH(QString, before);
        QFETCH(QString, now);
        QFETCH(bool, opened);
        QFETCH(int, opensTried);
        QFETCH(int, nextRetryMs);
        QFETCH(int, adapterReports);

        QTemporaryDir dir;
        const QString device = dir.filePath(QStringLiteral("ttyUSB0"));
        QVERIFY(touch(device));
        Rig r(device);
        r.listAdapter(device, before);
        r.session.openPort();
        QCOMPARE(r.reconnector.expectedSerialNumber(), before);

        QSignalSpy scheduled(&r.reconnector, &session::Reconnector::retryScheduled);
        QSignalSpy changed(&r.reconnector, &session::Reconnector::adapterChanged);
        r.link.lose(QStringLiteral("unplugged"));
        QVERIFY(r.reconnector.isWaiting());
        QCOMPARE(scheduled.takeFirst().at(0).toInt(), session::Reconnector::kFirstRetryMs);
        QCOMPARE(r.reconnector.watchedFolders(), QStringList { dir.path() });

        if (!present)
            QFile::remove(device);
        r.listAdapter(device, now);
        r.link.failOpen = !opens;
        const int opensBefore = r.link.openCount;
        r.retry.fire();
        r.retry.fire(); // a second look at the same adapter says nothing new
        QCOMPARE(r.link.isOpen(), opened);
        QCOMPARE(r.link.openCount - opensBefore, opened ? opensTried : opensTried * 2);
        QCOMPARE(r.reconnector.isWaiting(), !opened);
        if (opened)
            QVERIFY(r.reconnector.watchedFolders().isEmpty());
        else
            QCOMPARE(scheduled.first().at(0).toInt(), nextRetryMs);
        QCOMPARE(changed.size(), adapterReports);
        if (adapterReports > 0)
            QCOMPARE(changed.first(), QVariantList({ device, before, now }));
    }

    // The list names an adapter by its stable by-id name; the port is opened by its system
    // location (or by another link to it). The adapter is still recognised on that path: the
    // same one is opened again, another one on the same path is left closed.
    void adapterFoundBySystemLocation_data()
    {
        QTest::addColumn<bool>("openedByLink");
        QTest::addColumn<QString>("now");
        QTest::addColumn<bool>("opened");

        QTest::newRow("system location, the same adapter")
            << false << QStringLiteral("A10K") << true;
        QTest::newRow("system location, another adapter")
            << false << QStringLiteral("B20Z") << false;
        QTest::newRow("another link to it, another adapter")
            << true << QStringLiteral("B20Z") << false;
    }

    void adapterFoundBySystemLocation()
    {
        QFETCH(bool, openedByLink);
        QFETCH(QString, now);
        QFETCH(bool, opened);

        QTemporaryDir dir;
        const QString location = dir.filePath(QStringLiteral("ttyUSB0"));
        QVERIFY(touch(location));
        const QString link = dir.filePath(QStringLiteral("bench-board"));
        QVERIFY(QFile::link(location, link));
        const auto adapter = [&location](const QString &serialNumber) {
            return serial::PortInfo { QStringLiteral("/dev/serial/by-id/usb-Bench_") + serialNumber,
                                      location, QStringLiteral("USB serial"), QString(),
                                      serialNumber };
        };
        Rig r(openedByLink ? link : location);
        r.ports->list = { adapter(QStringLiteral("A10K")) };
        r.session.openPort();
        QCOMPARE(r.reconnector.expectedSerialNumber(), QStringLiteral("A10K"));

        QSignalSpy changed(&r.reconnector, &session::Reconnector::adapterChanged);
        r.link.lose(QStringLiteral("unplugged"));
        r.ports->list = { adapter(now) };
        const int opens = r.link.openCount;
        r.retry.fire();
        QCOMPARE(r.link.isOpen(), opened);
        QCOMPARE(r.link.openCount - opens, opened ? 1 : 0);
        QCOMPARE(changed.size(), opened ? 0 : 1);
        QCOMPARE(r.reconnector.isWaiting(), !opened);
    }

    // Every second at first, then less and less often, never less than every 5 s.
    void backsOff()
    {
        QTemporaryDir dir;
        const QString device = dir.filePath(QStringLiteral("ttyUSB0"));
        QVERIFY(touch(device));
        Rig r(device);
        QSignalSpy scheduled(&r.reconnector, &session::Reconnector::retryScheduled);
        r.link.failOpen = true;
        r.session.openPort();
        for (int i = 0; i < 4; ++i)
            r.retry.fire();
        QList<int> delays;
        for (const QVariantList &args : std::as_const(scheduled))
            delays.append(args.at(0).toInt());
        QCOMPARE(delays, QList<int>({ 1000, 2000, 4000, 5000, 5000 }));
        QCOMPARE(r.retry.interval(), 5000);

        // Open again, and lost again later: the first retry is a second away again.
        r.link.failOpen = false;
        r.retry.fire();
        QVERIFY(r.link.isOpen());
        scheduled.clear();
        r.link.lose(QStringLiteral("unplugged"));
        QCOMPARE(scheduled.size(), 1);
        QCOMPARE(scheduled.first().at(0).toInt(), 1000);
    }

    // A network board: no folder watched, no adapter check, every attempt a real open (even
    // while a tty of that name would be missing), at most kLongestNetworkRetryMs apart.
    void networkBoardIsOnlyTried_data()
    {
        QTest::addColumn<QString>("device");
        QTest::newRow("raw TCP") << QStringLiteral("tcp://lab-host:4000");
        QTest::newRow("RFC 2217") << QStringLiteral("rfc2217://[fd00::5]:4001");
    }

    void networkBoardIsOnlyTried()
    {
        QFETCH(QString, device);
        Rig r(device);
        // Even an adapter listed under a path of that name is none of its business.
        r.listAdapter(device, QStringLiteral("A10K"));
        r.session.openPort();
        QVERIFY(r.link.isOpen());
        QVERIFY(r.reconnector.expectedSerialNumber().isEmpty());

        QSignalSpy scheduled(&r.reconnector, &session::Reconnector::retryScheduled);
        QSignalSpy changed(&r.reconnector, &session::Reconnector::adapterChanged);
        r.link.failOpen = true;
        r.link.lose(QStringLiteral("connection lost (the server closed it)"));
        QVERIFY(r.reconnector.isWaiting());
        QVERIFY(r.reconnector.watchedFolders().isEmpty());
        const int opensBefore = r.link.openCount;
        for (int i = 0; i < 4; ++i)
            r.retry.fire();
        QCOMPARE(r.link.openCount - opensBefore, 4);
        QList<int> delays;
        for (const QVariantList &args : std::as_const(scheduled))
            delays.append(args.at(0).toInt());
        QCOMPARE(delays, QList<int>({ 1000, 2000, 2000, 2000, 2000 }));
        QVERIFY(r.reconnector.watchedFolders().isEmpty());

        r.link.failOpen = false;
        r.listAdapter(device, QStringLiteral("B20Z"));
        r.retry.fire();
        QVERIFY(r.link.isOpen());
        QCOMPARE(r.link.portName(), device);
        QCOMPARE(changed.size(), 0);
        QVERIFY(!r.reconnector.isWaiting());
    }

    // The name appearing in its folder is noticed at once, without waiting for the retry timer
    // (which these tests never fire); a folder that is gone too is waited for above it.
    void appearsInWatchedFolder_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::newRow("in the scratch folder") << QStringLiteral("ttyUSB0");
        QTest::newRow("in a by-id folder that is removed with it")
            << QStringLiteral("serial/by-id/usb-board-if00");
    }

    void appearsInWatchedFolder()
    {
        QFETCH(QString, relative);
        QTemporaryDir dir;
        const QString device = dir.filePath(relative);
        const QString folder = QFileInfo(device).absolutePath();
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(touch(device));
        Rig r(device);
        r.session.openPort();

        if (relative.contains(u'/'))
            QVERIFY(QDir(dir.filePath(relative.section(u'/', 0, 0))).removeRecursively());
        else
            QVERIFY(QFile::remove(device));
        r.link.lose(QStringLiteral("unplugged"));
        const QString nearest = QFileInfo::exists(folder) ? folder : dir.path();
        QCOMPARE(r.reconnector.watchedFolders(), QStringList { nearest });

        QVERIFY(QDir().mkpath(folder));
        QVERIFY(touch(device));
        QTRY_VERIFY_WITH_TIMEOUT(r.link.isOpen(), 3000);
        QVERIFY(!r.reconnector.isWaiting());
        QVERIFY(r.reconnector.watchedFolders().isEmpty());
    }

    // A transaction whose port is lost ends at once; a write in flight or waiting is reported,
    // a refresh is not (the timer asks again).
    void lossEndsTransactionInFlight_data()
    {
        QTest::addColumn<int>("operation");
        QTest::addColumn<QList<int>>("failures");
        QTest::newRow("refresh") << 0 << QList<int>();
        QTest::newRow("port write awaiting its acknowledgement")
            << 1 << QList<int>({ int(RequestKind::PortWrite) });
        QTest::newRow("save: system write, port write waiting")
            << 2 << QList<int>({ int(RequestKind::SystemWrite), int(RequestKind::PortWrite) });
    }

    void lossEndsTransactionInFlight()
    {
        QFETCH(int, operation);
        QFETCH(QList<int>, failures);
        Rig r;
        r.session.openPort();
        if (operation == 0)
            r.session.refresh();
        else if (operation == 1)
            r.session.sendPortControl();
        else
            QVERIFY(!r.session.saveToDevice()->isFinished());
        r.session.refresh(); // a refresh waits behind it, for the first two
        QSignalSpy failed(&r.session, &session::Session::requestFailed);
        QSignalSpy timedOut(&r.session, &session::Session::requestTimedOut);
        r.link.lose(QStringLiteral("unplugged"));
        QVERIFY(!testing::SessionSeam::engine(r.session).transactionBusy());
        QVERIFY(!r.timeout.isActive());
        QList<int> kinds;
        for (const QVariantList &args : std::as_const(failed))
            kinds.append(int(args.at(0).value<RequestKind>()));
        QCOMPARE(kinds, failures);
        QCOMPARE(timedOut.size(), 0);
    }

    // Start-up that keeps the board's settings: a whole read first and no write; the port count
    // comes from its answer when the list offers it, and sets which groups are read after it.
    void keepBoardSettingsStart_data()
    {
        QTest::addColumn<int>("reported");
        QTest::addColumn<int>("portCount");
        QTest::addColumn<int>("notices");
        QTest::newRow("16 ports") << 16 << 16 << 0;
        QTest::newRow("48 ports") << 48 << 48 << 0;
        QTest::newRow("0 ports: kept at 8, and said") << 0 << 8 << 1;
        QTest::newRow("12 ports: kept at 8, and said") << 12 << 8 << 1;
    }

    void keepBoardSettingsStart()
    {
        QFETCH(int, reported);
        QFETCH(int, portCount);
        QFETCH(int, notices);
        Rig r;
        QSignalSpy notice(&r.session, &session::Session::notice);
        r.session.start(session::StartMode::KeepBoardSettings);
        QCOMPARE(r.link.takeWire(), byte(0x08));
        QVERIFY(r.session.autoRefresh());
        QByteArray answer(168, '\0');
        answer[0] = static_cast<char>(reported);
        r.link.feed(answer);
        QCOMPARE(r.session.portCount(), portCount);
        QCOMPARE(notice.size(), notices);
        // Then every other group the count allows is read whole, in turn; nothing is written.
        QByteArray further;
        for (int g = 1; g < portCount / 8; ++g)
            further += byte(0x08 + g);
        QByteArray wire;
        for (int i = 0; i < 8 && testing::SessionSeam::engine(r.session).transactionBusy(); ++i) {
            wire += r.link.takeWire();
            r.link.feed(answer);
        }
        QCOMPARE(wire.toHex(), further.toHex());
        QVERIFY(!testing::SessionSeam::engine(r.session).transactionBusy());
        QVERIFY(r.link.takeWire().isEmpty());

        // Only that first read sets it.
        r.session.loadFromDevice();
        answer[0] = 8;
        r.link.feed(answer);
        QCOMPARE(r.session.portCount(), portCount);
    }
};

QTEST_GUILESS_MAIN(TestReconnection)
#include "sessionseam.h"
#include "test_reconnection.moc"
