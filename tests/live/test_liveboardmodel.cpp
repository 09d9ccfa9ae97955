// SPDX-License-Identifier: MIT
#include <bytes.h>

#include <sim/liveboardmodel.h>

#include <QTest>

#include <functional>
#include <set>

using vantor::sim::LiveBoardModel;
using vantor::sim::Load;
using vantor::sim::LoadKind;
using vantor::sim::PortLoad;
using vantor::sim::Scenario;
using vantor::sim::Snapshot;
using vantor::testing::bytesOf;

Q_DECLARE_METATYPE(vantor::sim::Load)

namespace {

constexpr int kStepMs = 20;

int u16(const Snapshot &s, int offset)
{
    return s[static_cast<std::size_t>(offset)] | (s[static_cast<std::size_t>(offset) + 1] << 8);
}

int mode(const Snapshot &s, int p)
{
    return s[157 + static_cast<std::size_t>(p)] & 0x0F;
}
int fault(const Snapshot &s, int p)
{
    return s[157 + static_cast<std::size_t>(p)] >> 4;
}
int voltage(const Snapshot &s, int p)
{
    return u16(s, 125 + 2 * p);
}
int current(const Snapshot &s, int p)
{
    return u16(s, 109 + 2 * p);
}
int power(const Snapshot &s, int p)
{
    return u16(s, 141 + 2 * p);
}
int classCurrent(const Snapshot &s, int p)
{
    return u16(s, 93 + 2 * p);
}
int boxPower(const Snapshot &s)
{
    return s[16] | ((s[17] & 0x07) << 8);
}
bool powered(const Snapshot &s, int p)
{
    return mode(s, p) == 8 || mode(s, p) == 9;
}

// The 14-byte system block as the panel sends it; resistance limits 19000 / 26500 ohms.
struct System
{
    quint8 control = 0x80; // Master Enable
    quint8 cycles = 0x00;  // fault cycles << 4 | power cycles
    int maxPowerW = 0;
    int ports = 8;
    int rLowRaw = 9500;
    int rHighRaw = 13250;
    quint8 startupDelayMs = 0;

    [[nodiscard]] QByteArray bytes() const
    {
        QByteArray b(14, '\0');
        b[0] = char(ports);
        b[3] = char(cycles);
        b[4] = char(control);
        b[5] = char(rLowRaw & 0xFF);
        b[6] = char(rLowRaw >> 8);
        b[7] = char(rHighRaw & 0xFF);
        b[8] = char(rHighRaw >> 8);
        b[10] = char(maxPowerW & 0xFF);
        b[11] = char((maxPowerW >> 8) & 0x07);
        b[12] = char(startupDelayMs);
        return b;
    }
};

// The 217-byte port block; every port enabled, nothing bypassed, no limits.
struct Ports
{
    std::array<quint8, 8> bypass {};
    std::array<quint8, 8> management { 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20 };
    std::array<quint8, 8> limitW {};
    quint8 leds[2] {};
    quint8 faultEnable = 0;
    quint8 pauseMarks = 0;

    [[nodiscard]] QByteArray bytes() const
    {
        QByteArray b(217, '\0');
        for (int p = 0; p < 8; ++p) {
            b[p] = char(bypass[std::size_t(p)]);
            b[8 + p] = char(management[std::size_t(p)]);
            b[24 + p] = char(limitW[std::size_t(p)]);
        }
        b[32] = char(leds[0]);
        b[33] = char(leds[1]);
        b[34] = char(faultEnable);
        b[35] = char(pauseMarks);
        return b;
    }
};

// Ports numbered across the board: 8 is the first port of group 1.
Scenario scenarioOf(std::initializer_list<std::pair<int, Load>> loads, std::uint32_t seed = 7)
{
    Scenario s;
    s.seed = seed;
    for (const auto &[port, load] : loads)
        s.ports.append(PortLoad { port / 8, port % 8, load, true });
    return s;
}

// A board as the panel leaves it after start-up: the given settings written.
void configure(LiveBoardModel &board, const System &system = {}, const Ports &ports = {})
{
    QVERIFY(board.applySystemBlock(bytesOf(system.bytes())));
    QVERIFY(board.applyPortBlock(0, bytesOf(ports.bytes())));
}

// Advances in steps, calling `watch` with every snapshot of group 0; stops early when it
// returns false. Returns the board time spent.
int run(LiveBoardModel &board, int ms, const std::function<bool(const Snapshot &)> &watch = {})
{
    for (int t = 0; t < ms; t += kStepMs) {
        board.advance(kStepMs);
        if (watch && !watch(board.snapshot(0)))
            return t + kStepMs;
    }
    return ms;
}

int runUntil(LiveBoardModel &board, int ms, const std::function<bool(const Snapshot &)> &done)
{
    return run(board, ms, [&](const Snapshot &s) { return !done(s); });
}

QByteArray hexOf(const Snapshot &s)
{
    return QByteArray(reinterpret_cast<const char *>(s.data()), int(s.size())).toHex();
}

} // namespace

class TestLiveBoardModel : public QObject
{
    Q_OBJECT

private slots:
    void poweredDevice_data();
    void poweredDevice();
    void detectionVerdict_data();
    void detectionVerdict();
    void switchingOff_data();
    void switchingOff();
    void shortRetriesAfterFaultCycles_data();
    void shortRetriesAfterFaultCycles();
    void powerCyclesGiveUp();
    void overload_data();
    void overload();
    void disconnect_data();
    void disconnect();
    void plugAndUnplug();
    void priorityDisconnect_data();
    void priorityDisconnect();
    void totalLimitRefusesPowerUp_data();
    void totalLimitRefusesPowerUp();
    void boxPowerIsSumOfPorts();
    void seedDecidesTheBytes();
    void pauseBoardFreezes();
    void pausedFaultHoldsUntilMarkCleared();
    void serviceNumberWalksPorts();
    void portsBeyondCountStayOff();
    void ledCodes();
    void badBlocksChangeNothing();
};

void TestLiveBoardModel::poweredDevice_data()
{
    QTest::addColumn<int>("classCode");
    QTest::addColumn<int>("classCurrentRaw"); // 0.1 mA

    QTest::newRow("class 0, 2 mA") << 0 << 20;
    QTest::newRow("class 1, 10.5 mA") << 1 << 105;
    QTest::newRow("class 2, 18.5 mA") << 2 << 185;
    QTest::newRow("class 3, 28 mA") << 3 << 280;
    QTest::newRow("class 4, 40 mA") << 4 << 400;
}

void TestLiveBoardModel::poweredDevice()
{
    QFETCH(int, classCode);
    QFETCH(int, classCurrentRaw);

    const Load load = Load::make(LoadKind::PoweredDevice, classCode);
    LiveBoardModel board(scenarioOf({ { 3, load } }));
    configure(board);
    std::set<int> modes;
    run(board, 3000, [&](const Snapshot &s) {
        modes.insert(mode(s, 3));
        return true;
    });
    for (int m : { 1, 2, 3, 4, 8, 9 })
        QVERIFY2(modes.count(m), qPrintable(QStringLiteral("never in mode %1").arg(m)));

    const Snapshot s = board.snapshot(0);
    QVERIFY2(powered(s, 3), qPrintable(QString::number(s[160], 16)));
    QCOMPARE(fault(s, 3), 0);
    QCOMPARE(int(s[85 + 3]), classCode);
    QVERIFY2(qAbs(classCurrent(s, 3) - classCurrentRaw) <= 5,
             qPrintable(QString::number(classCurrent(s, 3))));
    QVERIFY2(voltage(s, 3) >= 4750 && voltage(s, 3) <= 4810,
             qPrintable(QString::number(voltage(s, 3))));
    QVERIFY2(qAbs(power(s, 3) - load.milliwatts / 100) <= 2, "draws what the load takes");
    QVERIFY2(qAbs(u16(s, 69 + 6) - 12500) <= 100, "25 kOhm signature in 2-ohm units");
    QCOMPARE(u16(s, 53 + 6), 1);   // 0.1 uF
    QCOMPARE((s[51] >> 6) & 3, 2); // green
}

void TestLiveBoardModel::detectionVerdict_data()
{
    QTest::addColumn<Load>("load");
    QTest::addColumn<int>("bypass");
    QTest::addColumn<int>("rLowRaw");
    QTest::addColumn<bool>("powers");
    QTest::addColumn<int>("discRRaw"); // -1: not checked

    const Load pd = Load::make(LoadKind::PoweredDevice, 2);
    Load invalid33k = Load::make(LoadKind::InvalidSignature);
    invalid33k.signatureOhms = 33000;
    const Load legacy = Load::make(LoadKind::Legacy);

    QTest::newRow("valid 25 kOhm") << pd << 0 << 9500 << true << 12500;
    QTest::newRow("invalid 15 kOhm")
        << Load::make(LoadKind::InvalidSignature) << 0 << 9500 << false << 7500;
    QTest::newRow("invalid 33 kOhm") << invalid33k << 0 << 9500 << false << 16500;
    QTest::newRow("nothing attached") << Load {} << 0 << 9500 << false << 0xFFFF;
    QTest::newRow("legacy, not accepted") << legacy << 0 << 9500 << false << 4000;
    QTest::newRow("legacy, Detect Legacy Signature") << legacy << 0x08 << 9500 << true << -1;
    QTest::newRow("invalid, Bypass Detection")
        << Load::make(LoadKind::InvalidSignature) << 0x80 << 9500 << true << -1;
    QTest::newRow("valid, Bypass Power-up") << pd << 0x20 << 9500 << false << 12500;
    QTest::newRow("valid, lower limit raised to 26000 ohms") << pd << 0 << 13000 << false << -1;
}

void TestLiveBoardModel::detectionVerdict()
{
    QFETCH(Load, load);
    QFETCH(int, bypass);
    QFETCH(int, rLowRaw);
    QFETCH(bool, powers);
    QFETCH(int, discRRaw);

    LiveBoardModel board(scenarioOf({ { 0, load } }));
    System system;
    system.rLowRaw = rLowRaw;
    Ports ports;
    ports.bypass[0] = quint8(bypass);
    configure(board, system, ports);

    bool everPowered = false;
    int maxVoltage = 0;
    std::set<int> modes;
    run(board, 5000, [&](const Snapshot &s) {
        everPowered = everPowered || powered(s, 0);
        maxVoltage = std::max(maxVoltage, voltage(s, 0));
        modes.insert(mode(s, 0));
        return true;
    });
    QCOMPARE(everPowered, powers);
    if (!powers) {
        QVERIFY2(maxVoltage < 2000, "a port that is not powered stays at probe voltages");
        QVERIFY2(modes.count(1) && modes.count(4) == 0, "keeps detecting, never ramps up");
    }
    if (discRRaw >= 0) {
        const int r = u16(board.snapshot(0), 69);
        QVERIFY2(qAbs(r - discRRaw) <= discRRaw / 100 + 1, qPrintable(QString::number(r)));
    }
}

void TestLiveBoardModel::switchingOff_data()
{
    QTest::addColumn<bool>("masterOff");
    QTest::newRow("Port Enable clear") << false;
    QTest::newRow("Master Enable clear") << true;
}

void TestLiveBoardModel::switchingOff()
{
    QFETCH(bool, masterOff);

    const Load pd = Load::make(LoadKind::PoweredDevice, 3);
    LiveBoardModel board(scenarioOf({ { 0, pd }, { 1, pd }, { 2, Load {} } }));
    configure(board);
    run(board, 3000);
    QVERIFY(powered(board.snapshot(0), 0));
    QVERIFY(powered(board.snapshot(0), 1));

    if (masterOff) {
        System system;
        system.control = 0x00;
        QVERIFY(board.applySystemBlock(bytesOf(system.bytes())));
    } else {
        Ports ports;
        ports.management[0] = 0;
        QVERIFY(board.applyPortBlock(0, bytesOf(ports.bytes())));
    }
    std::set<int> modes;
    run(board, 1000, [&](const Snapshot &s) {
        modes.insert(mode(s, 0));
        return true;
    });
    QVERIFY2(modes.count(5), "a powered port ramps down");
    const Snapshot s = board.snapshot(0);
    QCOMPARE(s[157], 0x00);
    QCOMPARE(voltage(s, 0) + current(s, 0) + power(s, 0), 0);
    if (masterOff) {
        for (int p = 0; p < 8; ++p)
            QCOMPARE(s[157 + std::size_t(p)], 0x00);
        QCOMPARE(boxPower(s), 0);
    } else {
        QVERIFY2(powered(s, 1), "the other port stays powered");
    }
}

void TestLiveBoardModel::shortRetriesAfterFaultCycles_data()
{
    QTest::addColumn<int>("faultCycles");
    QTest::addColumn<int>("afterMs");
    QTest::addColumn<int>("waitMs");

    QTest::newRow("0 cycles wait one, shorts while ramping") << 0 << 0 << 500;
    QTest::newRow("1 cycle") << 1 << 0 << 500;
    QTest::newRow("3 cycles") << 3 << 0 << 1500;
    QTest::newRow("2 cycles, shorts 800 ms after power-up") << 2 << 800 << 1000;
}

void TestLiveBoardModel::shortRetriesAfterFaultCycles()
{
    QFETCH(int, faultCycles);
    QFETCH(int, afterMs);
    QFETCH(int, waitMs);

    Load shorting = Load::make(LoadKind::Short, 2);
    shorting.afterMs = afterMs;
    LiveBoardModel board(scenarioOf({ { 0, shorting } }));
    System system;
    system.cycles = quint8(faultCycles << 4);
    configure(board, system);

    bool sawPowered = false;
    const int tripped = runUntil(board, 5000, [&](const Snapshot &s) {
        sawPowered = sawPowered || powered(s, 0);
        return s[157] == 0x30;
    });
    QVERIFY2(tripped < 5000, "\"OI Short\" with the port off");
    QCOMPARE(sawPowered, afterMs > 0);
    QCOMPARE(voltage(board.snapshot(0), 0), 0);
    QCOMPARE(board.snapshot(0)[51] & 3, 1); // red

    const int waited = runUntil(board, 5000, [](const Snapshot &s) { return mode(s, 0) != 0; });
    QVERIFY2(qAbs(waited - waitMs) <= 2 * kStepMs,
             qPrintable(QStringLiteral("retried after %1 ms").arg(waited)));
    const Snapshot s = board.snapshot(0);
    QCOMPARE(mode(s, 0), 1);
    QCOMPARE(fault(s, 0), 3); // the last fault stays shown while the port tries again
}

void TestLiveBoardModel::powerCyclesGiveUp()
{
    LiveBoardModel board(scenarioOf({ { 0, Load::make(LoadKind::Short, 1) } }));
    System system;
    system.cycles = 0x02; // no wait cycles, two power cycles
    configure(board, system);

    int trips = 0;
    bool wasShort = false;
    run(board, 10000, [&](const Snapshot &s) {
        const bool isShort = s[157] == 0x30;
        trips += isShort && !wasShort;
        wasShort = isShort;
        return true;
    });
    QCOMPARE(trips, 2);
    QCOMPARE(board.snapshot(0)[157], 0x30);

    // Switching the port off and on again starts the count anew.
    Ports ports;
    ports.management[0] = 0;
    QVERIFY(board.applyPortBlock(0, bytesOf(ports.bytes())));
    run(board, 100);
    QCOMPARE(board.snapshot(0)[157], 0x00);
    QVERIFY(board.applyPortBlock(0, bytesOf(Ports {}.bytes())));
    QVERIFY(runUntil(board, 3000, [](const Snapshot &s) { return s[157] == 0x30; }) < 3000);
}

void TestLiveBoardModel::overload_data()
{
    QTest::addColumn<Load>("load");
    QTest::addColumn<int>("limitW");
    QTest::addColumn<int>("management");
    QTest::addColumn<int>("expectedFault");

    const Load class4 = Load::make(LoadKind::PoweredDevice, 4); // 13 W
    Load greedyClass1 = Load::make(LoadKind::PoweredDevice, 1);
    greedyClass1.milliwatts = 6000; // over the 4 W of class 1

    QTest::newRow("13 W over a 10 W port limit") << class4 << 10 << 0x20 << 4;
    QTest::newRow("13 W within a 15 W port limit") << class4 << 15 << 0x20 << 0;
    QTest::newRow("port limit 0 means none") << class4 << 0 << 0x20 << 0;
    QTest::newRow("600 mA over 475 mA") << Load::make(LoadKind::Overload, 2) << 0 << 0x20 << 4;
    QTest::newRow("class 1 drawing 6 W, Class Violation Power-down")
        << greedyClass1 << 0 << 0x60 << 9;
    QTest::newRow("class 1 drawing 6 W, no class policing") << greedyClass1 << 0 << 0x20 << 0;
}

void TestLiveBoardModel::overload()
{
    QFETCH(Load, load);
    QFETCH(int, limitW);
    QFETCH(int, management);
    QFETCH(int, expectedFault);

    LiveBoardModel board(scenarioOf({ { 0, load } }));
    Ports ports;
    ports.limitW[0] = quint8(limitW);
    ports.management[0] = quint8(management);
    configure(board, System {}, ports);

    int faultSeen = 0;
    std::set<int> modes;
    run(board, 6000, [&](const Snapshot &s) {
        modes.insert(mode(s, 0));
        if (fault(s, 0) != 0 && faultSeen == 0)
            faultSeen = fault(s, 0);
        return true;
    });
    QCOMPARE(faultSeen, expectedFault);
    if (expectedFault != 0)
        QVERIFY2(modes.count(5), "an overloaded port ramps down");
    else
        QVERIFY(powered(board.snapshot(0), 0));
}

void TestLiveBoardModel::disconnect_data()
{
    QTest::addColumn<int>("bypass");
    QTest::addColumn<int>("reconnectAfterMs");
    QTest::addColumn<QList<int>>("story"); // 1: powered, 2: off with "Disconnect"

    QTest::newRow("DC disconnect detect") << 0x04 << -1 << QList<int> { 1, 2 };
    QTest::newRow("AC disconnect detect") << 0x02 << -1 << QList<int> { 1, 2 };
    QTest::newRow("DC, the device returns") << 0x04 << 1500 << QList<int> { 1, 2, 1, 2 };
    QTest::newRow("no disconnect detect: stays powered") << 0x00 << -1 << QList<int> { 1 };
}

void TestLiveBoardModel::disconnect()
{
    QFETCH(int, bypass);
    QFETCH(int, reconnectAfterMs);
    QFETCH(QList<int>, story);

    Load leaving = Load::make(LoadKind::Disconnect, 2);
    leaving.afterMs = 1000;
    leaving.reconnectAfterMs = reconnectAfterMs;
    LiveBoardModel board(scenarioOf({ { 0, leaving } }));
    Ports ports;
    ports.bypass[0] = quint8(bypass);
    configure(board, System {}, ports);

    // A returning device is powered again, the fault cleared, until it leaves once more.
    QList<int> seen;
    run(board, 9000, [&](const Snapshot &s) {
        const int now = powered(s, 0) ? 1 : fault(s, 0) == 10 ? 2 : 0;
        if (now != 0 && (seen.isEmpty() || seen.last() != now))
            seen.append(now);
        return true;
    });
    QCOMPARE(reconnectAfterMs < 0 ? seen : seen.mid(0, story.size()), story);
    if (bypass == 0)
        QVERIFY2(current(board.snapshot(0), 0) < 100, "under 10 mA");
}

void TestLiveBoardModel::plugAndUnplug()
{
    LiveBoardModel board;
    Ports ports;
    ports.bypass[6] = 0x04;
    configure(board, System {}, ports);
    run(board, 2000);
    QCOMPARE(u16(board.snapshot(0), 69 + 12), 0xFFFF); // open circuit

    Load handMade = Load::make(LoadKind::PoweredDevice, 3);
    handMade.classCode = 9; // beyond the table: classified as the highest class
    board.attach(0, 6, handMade);
    QCOMPARE(board.load(0, 6), handMade);
    QVERIFY(runUntil(board, 3000, [](const Snapshot &s) { return powered(s, 6); }) < 3000);
    QCOMPARE(int(board.snapshot(0)[85 + 6]), 4);

    board.attach(0, 6, Load {});
    QVERIFY(runUntil(board, 1000, [](const Snapshot &s) { return fault(s, 6) == 10; }) < 1000);
}

void TestLiveBoardModel::priorityDisconnect_data()
{
    QTest::addColumn<int>("control");
    QTest::addColumn<int>("portCount");
    QTest::addColumn<QList<int>>("ports"); // board-wide numbers
    QTest::addColumn<QList<int>>("priorities");
    QTest::addColumn<QList<bool>>("stillPowered");

    const QList<int> firstThree { 0, 1, 2 };
    QTest::newRow("lowest priority dropped")
        << 0x81 << 8 << firstThree << QList<int> { 3, 1, 2 } << QList<bool> { true, false, true };
    QTest::newRow("equal priorities: highest port dropped")
        << 0x81 << 8 << firstThree << QList<int> { 0, 0, 0 } << QList<bool> { true, true, false };
    QTest::newRow("without Priority Disconnect Enable nothing is dropped")
        << 0x80 << 8 << firstThree << QList<int> { 3, 1, 2 } << QList<bool> { true, true, true };
    // Group 1 alone draws 21 W, within the 25 W: only the board's total is over.
    QTest::newRow("16 ports: lowest priority of the board dropped, in group 1")
        << 0x81 << 16 << QList<int> { 0, 8, 9 } << QList<int> { 3, 1, 2 }
        << QList<bool> { true, false, true };
    QTest::newRow("16 ports, equal priorities: port 0 of group 1 goes before port 7 of group 0")
        << 0x81 << 16 << QList<int> { 6, 7, 8 } << QList<int> { 0, 0, 0 }
        << QList<bool> { true, true, false };
}

void TestLiveBoardModel::priorityDisconnect()
{
    QFETCH(int, control);
    QFETCH(int, portCount);
    QFETCH(QList<int>, ports);
    QFETCH(QList<int>, priorities);
    QFETCH(QList<bool>, stillPowered);

    const Load class3 = Load::make(LoadKind::PoweredDevice, 3); // 10.5 W each
    LiveBoardModel board(
        scenarioOf({ { ports[0], class3 }, { ports[1], class3 }, { ports[2], class3 } }));
    std::array<Ports, 2> blocks;
    for (int i = 0; i < 3; ++i)
        blocks[std::size_t(ports[i] / 8)].management[std::size_t(ports[i] % 8)]
            = quint8(0x20 | priorities[i]);
    System system;
    system.control = quint8(control);
    system.ports = portCount;
    configure(board, system, blocks[0]);
    QVERIFY(board.applyPortBlock(1, bytesOf(blocks[1].bytes())));
    const auto poweredAt = [&](int port) {
        return powered(board.snapshot(port / 8), port % 8);
    };
    run(board, 3000);
    for (int port : ports)
        QVERIFY(poweredAt(port));

    system.maxPowerW = 25;
    QVERIFY(board.applySystemBlock(bytesOf(system.bytes())));
    run(board, 2000);
    for (int i = 0; i < 3; ++i)
        QVERIFY2(poweredAt(ports[i]) == stillPowered[i],
                 qPrintable(QStringLiteral("port %1").arg(ports[i])));
    if (control & 1) {
        const int box = boxPower(board.snapshot(0));
        QVERIFY2(box <= 250, qPrintable(QString::number(box)));
        for (int port : ports)
            QCOMPARE(fault(board.snapshot(port / 8), port % 8), 0);
    }
}

void TestLiveBoardModel::totalLimitRefusesPowerUp_data()
{
    QTest::addColumn<int>("portCount");
    QTest::addColumn<int>("limitW");
    QTest::addColumn<QList<int>>("ports"); // board-wide numbers, a 13 W device on each
    QTest::addColumn<int>("poweredCount");

    QTest::newRow("8 ports, 30 W: two of three") << 8 << 30 << QList<int> { 0, 1, 2 } << 2;
    QTest::newRow("16 ports, 20 W: one of two, groups 0 and 1")
        << 16 << 20 << QList<int> { 0, 8 } << 1;
    QTest::newRow("16 ports, 30 W: both, groups 0 and 1") << 16 << 30 << QList<int> { 0, 8 } << 2;
}

// The limit and the total are the board's: every group reports the same total, within it.
void TestLiveBoardModel::totalLimitRefusesPowerUp()
{
    QFETCH(int, portCount);
    QFETCH(int, limitW);
    QFETCH(QList<int>, ports);
    QFETCH(int, poweredCount);

    const Load class4 = Load::make(LoadKind::PoweredDevice, 4);
    Scenario scenario;
    scenario.seed = 7;
    scenario.portCount = portCount;
    for (int port : ports)
        scenario.ports.append(PortLoad { port / 8, port % 8, class4, true });
    LiveBoardModel board(scenario);
    System system;
    system.ports = portCount;
    system.maxPowerW = limitW;
    configure(board, system);

    int maxBox = 0;
    for (int t = 0; t < 5000; t += kStepMs) {
        board.advance(kStepMs);
        const int box = boxPower(board.snapshot(0));
        for (int g = 1; g < 8; ++g)
            QVERIFY2(boxPower(board.snapshot(g)) == box,
                     qPrintable(QStringLiteral("group %1 at %2 ms").arg(g).arg(t)));
        maxBox = std::max(maxBox, box);
    }
    int count = 0;
    int drawn = 0;
    for (int port : ports) {
        const Snapshot s = board.snapshot(port / 8);
        count += int(powered(s, port % 8));
        drawn += power(s, port % 8);
    }
    QCOMPARE(count, poweredCount);
    QCOMPARE(boxPower(board.snapshot(0)), drawn);
    QVERIFY2(maxBox <= limitW * 10, qPrintable(QString::number(maxBox)));
}

// Every snapshot of the demo, ports switching on, faulting and leaving.
void TestLiveBoardModel::boxPowerIsSumOfPorts()
{
    LiveBoardModel board(vantor::sim::demoScenario());
    configure(board);
    int checked = 0;
    int maxBox = 0;
    run(board, 15000, [&](const Snapshot &s) {
        int sum = 0;
        for (int p = 0; p < 8; ++p)
            sum += power(s, p);
        if (boxPower(s) != sum)
            return false;
        maxBox = std::max(maxBox, sum);
        ++checked;
        return true;
    });
    QCOMPARE(checked, 15000 / kStepMs);
    QVERIFY2(maxBox > 300, "the demo draws a few tens of watts");
}

// The same scenario and the same writes give the same bytes; another seed, other bytes.
void TestLiveBoardModel::seedDecidesTheBytes()
{
    const auto play = [](const Scenario &scenario) {
        LiveBoardModel board(scenario);
        QByteArray trace;
        configure(board);
        for (int step = 0; step < 400; ++step) {
            board.advance(7 + step % 50);
            if (step == 150) {
                Ports ports;
                ports.management[2] = 0;
                board.applyPortBlock(0, bytesOf(ports.bytes()));
            }
            trace += hexOf(board.snapshot(0));
        }
        return trace;
    };
    Scenario other = vantor::sim::demoScenario();
    ++other.seed;
    const QByteArray trace = play(vantor::sim::demoScenario());
    QCOMPARE(play(vantor::sim::demoScenario()), trace);
    QVERIFY(play(other) != trace);
}

void TestLiveBoardModel::pauseBoardFreezes()
{
    LiveBoardModel board(vantor::sim::demoScenario());
    configure(board);
    run(board, 2000);
    System system;
    system.control = 0x90; // Master Enable, Pause Brellik
    QVERIFY(board.applySystemBlock(bytesOf(system.bytes())));
    const QByteArray frozen = hexOf(board.snapshot(0));
    const int stillFor = run(board, 3000, [&](const Snapshot &s) { return hexOf(s) == frozen; });
    QCOMPARE(stillFor, 3000);

    system.control = 0x80;
    QVERIFY(board.applySystemBlock(bytesOf(system.bytes())));
    run(board, 500);
    QVERIFY(hexOf(board.snapshot(0)) != frozen);
}

void TestLiveBoardModel::pausedFaultHoldsUntilMarkCleared()
{
    LiveBoardModel board(scenarioOf({ { 4, Load::make(LoadKind::Short, 0) } }));
    Ports ports;
    ports.faultEnable = 0x10;
    configure(board, System {}, ports);
    QVERIFY(runUntil(board, 5000, [](const Snapshot &s) { return s[161] == 0x30; }) < 5000);
    QCOMPARE(board.snapshot(0)[167], 0x10);

    // The panel writes the mark back while its box stays ticked: the port stays paused.
    ports.pauseMarks = 0x10;
    QVERIFY(board.applyPortBlock(0, bytesOf(ports.bytes())));
    run(board, 4000, [](const Snapshot &s) { return s[161] == 0x30 && s[167] == 0x10; });
    QCOMPARE(board.snapshot(0)[161], 0x30);
    QCOMPARE(board.snapshot(0)[167], 0x10);

    ports.pauseMarks = 0x00;
    QVERIFY(board.applyPortBlock(0, bytesOf(ports.bytes())));
    QCOMPARE(board.snapshot(0)[167], 0x00);
    run(board, 2 * kStepMs);
    QCOMPARE(mode(board.snapshot(0), 4), 1);
}

void TestLiveBoardModel::serviceNumberWalksPorts()
{
    LiveBoardModel board;
    configure(board);
    std::set<int> seen;
    int last = board.snapshot(0)[15];
    int steps = 0;
    run(board, 1000, [&](const Snapshot &s) {
        seen.insert(s[15]);
        steps += s[15] != last;
        last = s[15];
        return true;
    });
    QCOMPARE(int(seen.size()), 8);
    QVERIFY(*seen.rbegin() == 7 && steps >= 8);
}

void TestLiveBoardModel::portsBeyondCountStayOff()
{
    Scenario scenario;
    scenario.ports.append(PortLoad { 1, 0, Load::make(LoadKind::PoweredDevice, 2), true });
    LiveBoardModel board(scenario);
    configure(board);
    QVERIFY(board.applyPortBlock(1, bytesOf(Ports {}.bytes())));
    run(board, 3000);
    QCOMPARE(board.snapshot(1)[157], 0x00);

    System system;
    system.ports = 16;
    QVERIFY(board.applySystemBlock(bytesOf(system.bytes())));
    run(board, 3000);
    QVERIFY(powered(board.snapshot(1), 0));
    // The total is the board's: group 0 reports the power drawn in group 1.
    QCOMPARE(boxPower(board.snapshot(0)), power(board.snapshot(1), 0));
    QCOMPARE(boxPower(board.snapshot(1)), power(board.snapshot(1), 0));
}

void TestLiveBoardModel::ledCodes()
{
    LiveBoardModel board(scenarioOf(
        { { 0, Load::make(LoadKind::PoweredDevice, 2) }, { 1, Load::make(LoadKind::Short, 2) } }));
    Ports ports;
    ports.leds[0] = 0xE4; // codes 0, 1, 2, 3 on ports 0..3
    configure(board, System {}, ports);
    run(board, 3000);
    // The board drives them: green powered, red faulted, Hi-Z otherwise.
    QCOMPARE(int(board.snapshot(0)[51]), 0x02 | 0x01 << 2);

    System system;
    system.control = 0x82; // Port LED Direct Write
    QVERIFY(board.applySystemBlock(bytesOf(system.bytes())));
    QCOMPARE(int(board.snapshot(0)[51]), 0xE4);
}

void TestLiveBoardModel::badBlocksChangeNothing()
{
    LiveBoardModel board(vantor::sim::demoScenario());
    configure(board);
    run(board, 1000);
    const QByteArray before = hexOf(board.snapshot(0));
    QVERIFY(!board.applySystemBlock(bytesOf(QByteArray(13, '\0'))));
    QVERIFY(!board.applyPortBlock(0, bytesOf(QByteArray(216, '\0'))));
    QVERIFY(!board.applyPortBlock(8, bytesOf(Ports {}.bytes())));
    board.advance(-500);
    board.advance(0);
    QCOMPARE(hexOf(board.snapshot(0)), before);
}

QTEST_GUILESS_MAIN(TestLiveBoardModel)
#include "test_liveboardmodel.moc"
