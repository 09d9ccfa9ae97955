// The two write blocks built from settings, checked byte for byte against the documented
// examples, and the entries that refuse a build. Saving what a read brought back is checked
// through the window, where the read-back settings come from.

#include <encode/portblock.h>
#include <encode/systemblock.h>

#include <QTest>

using namespace vantor;
using namespace vantor::encode;

using SystemTweak = void (*)(SystemSettings &);
using PortTweak = void (*)(PortGroupSettings &);
Q_DECLARE_METATYPE(SystemTweak)
Q_DECLARE_METATYPE(PortTweak)

namespace {

// All boxes clear, first list items, "8" ports, entries "0", the default resistance limits.
SystemSettings quietSystem()
{
    SystemSettings s;
    s.SYS_PORT_CNT = QStringLiteral("8");
    s.Brellik_I2C_ADDR = s.FLT_PWR_CYCLES_1 = s.FLT_PWR_CYCLES_2 = QStringLiteral("0");
    s.MAX_SYS_PWR = s.STARTUP_OL_DLY = QStringLiteral("0");
    s.PD_R_LOW = QStringLiteral("19000");
    s.PD_R_HIGH = QStringLiteral("26500");
    return s;
}

PortGroupSettings quietPorts()
{
    PortGroupSettings g;
    for (PortSettings &p : g.ports)
        p.PORT_PWR_ORDER_2 = p.PORT_PWR_LMT = QStringLiteral("0");
    return g;
}

QByteArray bytesOf(std::span<const std::uint8_t> block)
{
    return QByteArray(reinterpret_cast<const char *>(block.data()),
                      static_cast<qsizetype>(block.size()));
}

} // namespace

class TestEncode : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void systemBlock_data()
    {
        QTest::addColumn<SystemTweak>("tweak");
        QTest::addColumn<QByteArray>("expected");

        const auto row = [](const char *name, SystemTweak t, const char *hex) {
            QTest::newRow(name) << t << QByteArray::fromHex(hex);
        };
        row(
            "quiet window", [](SystemSettings &) {}, "0800000000 1c25c233 00000000 00");
        row(
            "Master Enable and Calibrate System",
            [](SystemSettings &s) { s.COMMON_CTRL_1 = s.COMMON_CTRL_7 = 1; },
            "0800000084 1c25c233 00000000 00");
        row(
            "every system box",
            [](SystemSettings &s) {
                s.COMMON_CTRL_1 = s.COMMON_CTRL_2 = s.COMMON_CTRL_3 = s.COMMON_CTRL_4 = 1;
                s.COMMON_CTRL_5 = s.COMMON_CTRL_6 = s.COMMON_CTRL_7 = 1;
                s.LEG_SUPP_1 = s.LEG_SUPP_2 = s.LEG_SUPP_3 = s.LEG_SUPP_4 = 1;
            },
            "08000000f7 1c25c233 0f000000 00");
        row(
            "a partly set box sets no bit",
            [](SystemSettings &s) { s.COMMON_CTRL_1 = s.LEG_SUPP_4 = 2; },
            "0800000000 1c25c233 00000000 00");
        row(
            "Err with noise flag",
            [](SystemSettings &s) {
                s.NOISE_MST_EN_1 = 3;
                s.NOISE_MST_EN_2 = 1;
            },
            "0838000000 1c25c233 00000000 00");
        row(
            "power limit 1500", [](SystemSettings &s) { s.MAX_SYS_PWR = QStringLiteral("1500"); },
            "0800000000 1c25c233 00dc0500 00");
        row(
            "power limit 2048 wraps",
            [](SystemSettings &s) { s.MAX_SYS_PWR = QStringLiteral("2048"); },
            "0800000000 1c25c233 00000000 00");
        row(
            "PD_R_LOW 19001 halves to even",
            [](SystemSettings &s) { s.PD_R_LOW = QStringLiteral("19001"); },
            "0800000000 1c25c233 00000000 00");
        row(
            "PD_R_LOW 19003 halves to even",
            [](SystemSettings &s) { s.PD_R_LOW = QStringLiteral("19003"); },
            "0800000000 1e25c233 00000000 00");
        row(
            "PD_R_HIGH 511 halves to even",
            [](SystemSettings &s) { s.PD_R_HIGH = QStringLiteral("511"); },
            "0800000000 1c250001 00000000 00");
        row(
            "PD_R_LOW 99999 from a five-digit entry",
            [](SystemSettings &s) { s.PD_R_LOW = QStringLiteral("99999"); },
            "0800000000 50c3c233 00000000 00");
        row(
            "address 45 keeps five bits",
            [](SystemSettings &s) { s.Brellik_I2C_ADDR = QStringLiteral("45"); },
            "08000d0000 1c25c233 00000000 00");
        row(
            "fault cycles 17 wraps to 1",
            [](SystemSettings &s) {
                s.FLT_PWR_CYCLES_1 = QStringLiteral("17");
                s.FLT_PWR_CYCLES_2 = QStringLiteral("15");
            },
            "080000 1f00 1c25c233 00000000 00");
        row(
            "port count 48 and delay 255",
            [](SystemSettings &s) {
                s.SYS_PORT_CNT = QStringLiteral("48");
                s.STARTUP_OL_DLY = QStringLiteral("255");
            },
            "3000000000 1c25c233 000000ff 00");
        row(
            "leading zeros", [](SystemSettings &s) { s.STARTUP_OL_DLY = QStringLiteral("007"); },
            "0800000000 1c25c233 00000007 00");
    }

    void systemBlock()
    {
        QFETCH(SystemTweak, tweak);
        QFETCH(QByteArray, expected);
        SystemSettings s = quietSystem();
        tweak(s);
        const SystemBlockResult r = encodeSystemBlock(s);
        QVERIFY2(r.ok(), qPrintable(r.refusal ? r.refusal->message : QString()));
        QCOMPARE(bytesOf(r.block).toHex(' '), expected.toHex(' '));
    }

    void systemRefusals_data()
    {
        QTest::addColumn<SystemTweak>("tweak");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("message");

        const auto row = [](const char *name, SystemTweak t, const char *field,
                            const char *message) {
            QTest::newRow(name) << t << QString::fromLatin1(field) << QString::fromLatin1(message);
        };
        row(
            "delay 256", [](SystemSettings &s) { s.STARTUP_OL_DLY = QStringLiteral("256"); },
            "STARTUP_OL_DLY", "Startup Overload Delay (ms) must be 0 to 255");
        row(
            "delay 999", [](SystemSettings &s) { s.STARTUP_OL_DLY = QStringLiteral("999"); },
            "STARTUP_OL_DLY", "Startup Overload Delay (ms) must be 0 to 255");
        row(
            "delay -1", [](SystemSettings &s) { s.STARTUP_OL_DLY = QStringLiteral("-1"); },
            "STARTUP_OL_DLY", "Startup Overload Delay (ms) must be 0 to 255");
        row(
            "delay empty", [](SystemSettings &s) { s.STARTUP_OL_DLY.clear(); }, "STARTUP_OL_DLY",
            "Startup Overload Delay (ms) is empty");
        row(
            "lower limit empty", [](SystemSettings &s) { s.PD_R_LOW.clear(); }, "PD_R_LOW",
            "Lower Limit of PD Discovery R (ohms) is empty");
        row(
            "upper limit empty", [](SystemSettings &s) { s.PD_R_HIGH.clear(); }, "PD_R_HIGH",
            "Upper Limit of PD Discovery R (ohms) is empty");
        row(
            "upper limit beyond 32 bits",
            [](SystemSettings &s) { s.PD_R_HIGH = QStringLiteral("2147483648"); }, "PD_R_HIGH",
            "Upper Limit of PD Discovery R (ohms) must be -2147483648 to 2147483647");
        row(
            "power limit beyond 16 bits",
            [](SystemSettings &s) { s.MAX_SYS_PWR = QStringLiteral("40000"); }, "MAX_SYS_PWR",
            "Total Power Limit (W) must be -32768 to 32767");
        row(
            "address not a number",
            [](SystemSettings &s) { s.Brellik_I2C_ADDR = QStringLiteral("4x"); },
            "Brellik_I2C_ADDR", "Brellik I2C Address (dec) is not a whole number");
        row(
            "fault cycles empty", [](SystemSettings &s) { s.FLT_PWR_CYCLES_1.clear(); },
            "FLT_PWR_CYCLES_1", "Fault Cycles is empty");
        row(
            "power cycles empty", [](SystemSettings &s) { s.FLT_PWR_CYCLES_2.clear(); },
            "FLT_PWR_CYCLES_2", "Power Cycles is empty");
        row(
            "no port count", [](SystemSettings &s) { s.SYS_PORT_CNT.clear(); }, "SYS_PORT_CNT",
            "Ports in System has nothing selected");
        row(
            "no frequency", [](SystemSettings &s) { s.NOISE_MST_EN_1 = -1; }, "NOISE_MST_EN_1",
            "Line Frequency Rejection has nothing selected");
        row(
            "first bad entry in block order is named",
            [](SystemSettings &s) {
                s.STARTUP_OL_DLY = QStringLiteral("300");
                s.MAX_SYS_PWR.clear();
            },
            "MAX_SYS_PWR", "Total Power Limit (W) is empty");
    }

    void systemRefusals()
    {
        QFETCH(SystemTweak, tweak);
        QFETCH(QString, field);
        QFETCH(QString, message);
        SystemSettings s = quietSystem();
        tweak(s);
        const SystemBlockResult r = encodeSystemBlock(s);
        QVERIFY(!r.ok());
        QCOMPARE(r.refusal->field, field);
        QCOMPARE(r.refusal->message, message);
    }

    void portBlock_data()
    {
        QTest::addColumn<PortTweak>("tweak");
        QTest::addColumn<QByteArray>("expected"); // offsets 0..35; the rest must be 0
        QTest::addColumn<QList<int>>("pauseValues");

        const QList<int> none { 0, 0, 0, 0, 0, 0, 0, 0 };
        const auto row
            = [](const char *name, PortTweak t, const char *hex, const QList<int> &marks) {
                  QTest::newRow(name) << t << QByteArray::fromHex(hex) << marks;
              };
        // clang-format off
        row("quiet window", [](PortGroupSettings &) {},
            "0000000000000000 0000000000000000 0000000000000000 0000000000000000 0000 00 00", none);
        row("port 2 bypasses detection and classification",
            [](PortGroupSettings &g) { g.ports[2].PORT_MODE_BYPS[0] = g.ports[2].PORT_MODE_BYPS[1] = 1; },
            "0000c00000000000 0000000000000000 0000000000000000 0000000000000000 0000 00 00", none);
        row("every mode box leaves bit 0 clear",
            [](PortGroupSettings &g) { g.ports[0].PORT_MODE_BYPS.fill(1); },
            "fe00000000000000 0000000000000000 0000000000000000 0000000000000000 0000 00 00", none);
        row("port 5 enabled with priority 3",
            [](PortGroupSettings &g) {
                g.ports[5].PORT_SYS_MGMNT_2 = 1;
                g.ports[5].PORT_SYS_MGMNT_3 = 3;
            },
            "0000000000000000 0000000000230000 0000000000000000 0000000000000000 0000 00 00", none);
        row("port 5 also with class violation power-down",
            [](PortGroupSettings &g) {
                g.ports[5].PORT_SYS_MGMNT_1 = g.ports[5].PORT_SYS_MGMNT_2 = 1;
                g.ports[5].PORT_SYS_MGMNT_3 = 3;
            },
            "0000000000000000 0000000000630000 0000000000000000 0000000000000000 0000 00 00", none);
        row("LED drives Red Green Err Hi-Z Green Green Red Err",
            [](PortGroupSettings &g) {
                const int drive[] = { 1, 2, 3, 0, 2, 2, 1, 3 };
                for (int p = 0; p < 8; ++p)
                    g.ports[p].PORT_LED_DRV = drive[p];
            },
            "0000000000000000 0000000000000000 0000000000000000 0000000000000000 39da 00 00", none);
        row("fault enable on ports 0 and 7",
            [](PortGroupSettings &g) { g.ports[0].FAULT_ENABLE = g.ports[7].FAULT_ENABLE = 1; },
            "0000000000000000 0000000000000000 0000000000000000 0000000000000000 0000 81 00", none);
        row("pause mark cleared without Master Enable",
            [](PortGroupSettings &g) {
                g.ports[3].FAULT_PAUSED = g.ports[3].FAULT_ENABLE = g.ports[3].PORT_SYS_MGMNT_2 = 1;
            },
            "0000000000000000 0000002000000000 0000000000000000 0000000000000000 0000 08 00", none);
        row("pause mark kept with Master Enable",
            [](PortGroupSettings &g) {
                g.COMMON_CTRL_1 = 1;
                g.ports[3].FAULT_PAUSED = g.ports[3].FAULT_ENABLE = g.ports[3].PORT_SYS_MGMNT_2 = 1;
            },
            "0000000000000000 0000002000000000 0000000000000000 0000000000000000 0000 08 08",
            QList<int> { 0, 0, 0, 1, 0, 0, 0, 0 });
        row("pause mark needs fault enable",
            [](PortGroupSettings &g) {
                g.COMMON_CTRL_1 = 1;
                g.ports[6].FAULT_PAUSED = g.ports[6].PORT_SYS_MGMNT_2 = 1;
            },
            "0000000000000000 0000000000002000 0000000000000000 0000000000000000 0000 00 00", none);
        row("power limits 256 and 300 wrap",
            [](PortGroupSettings &g) {
                g.ports[0].PORT_PWR_LMT = QStringLiteral("256");
                g.ports[1].PORT_PWR_LMT = QStringLiteral("300");
            },
            "0000000000000000 0000000000000000 0000000000000000 002c000000000000 0000 00 00", none);
        row("powered order of three digits",
            [](PortGroupSettings &g) { g.ports[7].PORT_PWR_ORDER_2 = QStringLiteral("200"); },
            "0000000000000000 0000000000000000 00000000000000c8 0000000000000000 0000 00 00", none);
        // clang-format on
    }

    void portBlock()
    {
        QFETCH(PortTweak, tweak);
        QFETCH(QByteArray, expected);
        QFETCH(QList<int>, pauseValues);
        PortGroupSettings g = quietPorts();
        tweak(g);
        const PortBlockResult r = encodePortBlock(g, 0);
        QVERIFY2(r.ok(), qPrintable(r.refusal ? r.refusal->message : QString()));
        const QByteArray all = bytesOf(r.block);
        QCOMPARE(all.left(36).toHex(' '), expected.toHex(' '));
        QCOMPARE(all.mid(36), QByteArray(217 - 36, '\0'));
        for (int p = 0; p < 8; ++p) {
            QCOMPARE(r.pauseMarks[p].value, pauseValues[p]);
            QCOMPARE(r.pauseMarks[p].enabled, pauseValues[p] == 1);
        }
    }

    void portRefusals_data()
    {
        QTest::addColumn<PortTweak>("tweak");
        QTest::addColumn<int>("group");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("message");

        QTest::newRow("empty powered order")
            << PortTweak([](PortGroupSettings &g) { g.ports[0].PORT_PWR_ORDER_2.clear(); }) << 0
            << QStringLiteral("PORT_PWR_ORDER_2_0")
            << QStringLiteral("Powered Order of Port 1 is empty");
        QTest::newRow("empty power limit in group 1")
            << PortTweak([](PortGroupSettings &g) { g.ports[4].PORT_PWR_LMT.clear(); }) << 1
            << QStringLiteral("PORT_PWR_LMT_12")
            << QStringLiteral("Set Port Power Limit (W) of Port 13 is empty");
        QTest::newRow("power limit beyond 16 bits")
            << PortTweak(
                   [](PortGroupSettings &g) { g.ports[7].PORT_PWR_LMT = QStringLiteral("70000"); })
            << 0 << QStringLiteral("PORT_PWR_LMT_7")
            << QStringLiteral("Set Port Power Limit (W) of Port 8 must be -32768 to 32767");
        QTest::newRow("no priority")
            << PortTweak([](PortGroupSettings &g) { g.ports[2].PORT_SYS_MGMNT_3 = -1; }) << 0
            << QStringLiteral("PORT_SYS_MGMNT_3_2")
            << QStringLiteral("Set Port Priorty of Port 3 has nothing selected");
    }

    void portRefusals()
    {
        QFETCH(PortTweak, tweak);
        QFETCH(int, group);
        QFETCH(QString, field);
        QFETCH(QString, message);
        PortGroupSettings g = quietPorts();
        tweak(g);
        const PortBlockResult r = encodePortBlock(g, group);
        QVERIFY(!r.ok());
        QCOMPARE(r.refusal->field, field);
        QCOMPARE(r.refusal->message, message);
    }

    void readIntegers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("problem");

        const auto row = [](const char *t, int v, TextProblem p) {
            QTest::newRow(t) << QString::fromLatin1(t) << v << static_cast<int>(p);
        };
        row("32767", 32767, TextProblem::None);
        row("-32768", -32768, TextProblem::None);
        row("32768", 0, TextProblem::OutOfRange);
        row("", 0, TextProblem::Empty);
        row("  ", 0, TextProblem::Empty);
        row("12a", 0, TextProblem::NotAWholeNumber);
        row("1.5", 0, TextProblem::NotAWholeNumber);
    }

    void readIntegers()
    {
        QFETCH(QString, text);
        QFETCH(int, value);
        QFETCH(int, problem);
        const IntegerReading r = readInteger(text, kInt16);
        QCOMPARE(static_cast<int>(r.problem), problem);
        QCOMPARE(r.value, value);
    }
};

QTEST_GUILESS_MAIN(TestEncode)
#include "test_encode.moc"
