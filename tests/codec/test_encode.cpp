// SPDX-License-Identifier: MIT
// The two write blocks built from a store of settings as the window's controls hold them,
// checked byte for byte against the documented examples, and the entries that refuse a build.
// Saving what a read brought back is checked through the window, where the read-back settings
// come from.

#include <textstore.h>

#include <codec/storecodec.h>
#include <codec/systemblock.h>

#include <QTest>

using namespace vantor;
using namespace vantor::codec;
using vantor::testing::TextStore;

using SystemTweak = void (*)(TextStore &);
using PortTweak = SystemTweak;
Q_DECLARE_METATYPE(SystemTweak)

namespace {

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
            "quiet window", [](TextStore &) {}, "0800000000 1c25c233 00000000 00");
        row(
            "Master Enable and Calibrate System",
            [](TextStore &s) {
                s.number(Setting::COMMON_CTRL_1) = s.number(Setting::COMMON_CTRL_7) = 1;
            },
            "0800000084 1c25c233 00000000 00");
        row(
            "every system box",
            [](TextStore &s) {
                s.number(Setting::COMMON_CTRL_1) = s.number(Setting::COMMON_CTRL_2)
                    = s.number(Setting::COMMON_CTRL_3) = s.number(Setting::COMMON_CTRL_4) = 1;
                s.number(Setting::COMMON_CTRL_5) = s.number(Setting::COMMON_CTRL_6)
                    = s.number(Setting::COMMON_CTRL_7) = 1;
                s.number(Setting::LEG_SUPP_1) = s.number(Setting::LEG_SUPP_2)
                    = s.number(Setting::LEG_SUPP_3) = s.number(Setting::LEG_SUPP_4) = 1;
            },
            "08000000f7 1c25c233 0f000000 00");
        row(
            "a partly set box sets no bit",
            [](TextStore &s) {
                s.number(Setting::COMMON_CTRL_1) = s.number(Setting::LEG_SUPP_4) = 2;
            },
            "0800000000 1c25c233 00000000 00");
        row(
            "Err with noise flag",
            [](TextStore &s) {
                s.number(Setting::NOISE_MST_EN_1) = 3;
                s.number(Setting::NOISE_MST_EN_2) = 1;
            },
            "0838000000 1c25c233 00000000 00");
        row(
            "power limit 1500",
            [](TextStore &s) { s.text(Setting::MAX_SYS_PWR) = QStringLiteral("1500"); },
            "0800000000 1c25c233 00dc0500 00");
        row(
            "power limit 2048 wraps",
            [](TextStore &s) { s.text(Setting::MAX_SYS_PWR) = QStringLiteral("2048"); },
            "0800000000 1c25c233 00000000 00");
        row(
            "PD_R_LOW 19001 halves to even",
            [](TextStore &s) { s.text(Setting::PD_R_LOW) = QStringLiteral("19001"); },
            "0800000000 1c25c233 00000000 00");
        row(
            "PD_R_LOW 19003 halves to even",
            [](TextStore &s) { s.text(Setting::PD_R_LOW) = QStringLiteral("19003"); },
            "0800000000 1e25c233 00000000 00");
        row(
            "PD_R_HIGH 511 halves to even",
            [](TextStore &s) { s.text(Setting::PD_R_HIGH) = QStringLiteral("511"); },
            "0800000000 1c250001 00000000 00");
        row(
            "PD_R_LOW 99999 from a five-digit entry",
            [](TextStore &s) { s.text(Setting::PD_R_LOW) = QStringLiteral("99999"); },
            "0800000000 50c3c233 00000000 00");
        row(
            "address 45 keeps five bits",
            [](TextStore &s) { s.text(Setting::Brellik_I2C_ADDR) = QStringLiteral("45"); },
            "08000d0000 1c25c233 00000000 00");
        row(
            "fault cycles 17 wraps to 1",
            [](TextStore &s) {
                s.text(Setting::FLT_PWR_CYCLES_1) = QStringLiteral("17");
                s.text(Setting::FLT_PWR_CYCLES_2) = QStringLiteral("15");
            },
            "080000 1f00 1c25c233 00000000 00");
        row(
            "port count 48 and delay 255",
            [](TextStore &s) {
                s.text(Setting::SYS_PORT_CNT) = QStringLiteral("48");
                s.text(Setting::STARTUP_OL_DLY) = QStringLiteral("255");
            },
            "3000000000 1c25c233 000000ff 00");
        row(
            "leading zeros",
            [](TextStore &s) { s.text(Setting::STARTUP_OL_DLY) = QStringLiteral("007"); },
            "0800000000 1c25c233 00000007 00");
    }

    void systemBlock()
    {
        QFETCH(SystemTweak, tweak);
        QFETCH(QByteArray, expected);
        TextStore s;
        tweak(s);
        protocol::SystemBlock block {};
        const std::optional<Refusal> refusal = buildSystemBlock(s, 0, block);
        QVERIFY2(!refusal, qPrintable(refusal ? refusal->message : QString()));
        QCOMPARE(bytesOf(block).toHex(' '), expected.toHex(' '));
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
            "delay 256",
            [](TextStore &s) { s.text(Setting::STARTUP_OL_DLY) = QStringLiteral("256"); },
            "STARTUP_OL_DLY", "Startup Overload Delay (ms) must be 0 to 255");
        row(
            "delay 999",
            [](TextStore &s) { s.text(Setting::STARTUP_OL_DLY) = QStringLiteral("999"); },
            "STARTUP_OL_DLY", "Startup Overload Delay (ms) must be 0 to 255");
        row(
            "delay -1",
            [](TextStore &s) { s.text(Setting::STARTUP_OL_DLY) = QStringLiteral("-1"); },
            "STARTUP_OL_DLY", "Startup Overload Delay (ms) must be 0 to 255");
        row(
            "delay empty", [](TextStore &s) { s.text(Setting::STARTUP_OL_DLY).clear(); },
            "STARTUP_OL_DLY", "Startup Overload Delay (ms) is empty");
        row(
            "lower limit empty", [](TextStore &s) { s.text(Setting::PD_R_LOW).clear(); },
            "PD_R_LOW", "Lower Limit of PD Discovery R (ohms) is empty");
        row(
            "upper limit empty", [](TextStore &s) { s.text(Setting::PD_R_HIGH).clear(); },
            "PD_R_HIGH", "Upper Limit of PD Discovery R (ohms) is empty");
        row(
            "upper limit beyond 32 bits",
            [](TextStore &s) { s.text(Setting::PD_R_HIGH) = QStringLiteral("2147483648"); },
            "PD_R_HIGH", "Upper Limit of PD Discovery R (ohms) must be -2147483648 to 2147483647");
        row(
            "power limit beyond 16 bits",
            [](TextStore &s) { s.text(Setting::MAX_SYS_PWR) = QStringLiteral("40000"); },
            "MAX_SYS_PWR", "Total Power Limit (W) must be -32768 to 32767");
        row(
            "address not a number",
            [](TextStore &s) { s.text(Setting::Brellik_I2C_ADDR) = QStringLiteral("4x"); },
            "Brellik_I2C_ADDR", "Brellik I2C Address (dec) is not a whole number");
        row(
            "fault cycles empty", [](TextStore &s) { s.text(Setting::FLT_PWR_CYCLES_1).clear(); },
            "FLT_PWR_CYCLES_1", "Fault Cycles is empty");
        row(
            "power cycles empty", [](TextStore &s) { s.text(Setting::FLT_PWR_CYCLES_2).clear(); },
            "FLT_PWR_CYCLES_2", "Power Cycles is empty");
        row(
            "no port count", [](TextStore &s) { s.text(Setting::SYS_PORT_CNT).clear(); },
            "SYS_PORT_CNT", "Ports in System has nothing selected");
        row(
            "no frequency", [](TextStore &s) { s.number(Setting::NOISE_MST_EN_1) = -1; },
            "NOISE_MST_EN_1", "Line Frequency Rejection has nothing selected");
        row(
            "a port count the list does not offer",
            [](TextStore &s) { s.text(Setting::SYS_PORT_CNT) = QStringLiteral("12"); },
            "SYS_PORT_CNT",
            "Ports in System: the board reports 12 ports, which the list does not offer; choose a "
            "count or load from the device");
        row(
            "first bad entry in block order is named",
            [](TextStore &s) {
                s.text(Setting::STARTUP_OL_DLY) = QStringLiteral("300");
                s.text(Setting::MAX_SYS_PWR).clear();
            },
            "MAX_SYS_PWR", "Total Power Limit (W) is empty");
    }

    void systemRefusals()
    {
        QFETCH(SystemTweak, tweak);
        QFETCH(QString, field);
        QFETCH(QString, message);
        TextStore s;
        tweak(s);
        protocol::SystemBlock block {};
        const std::optional<Refusal> refusal = buildSystemBlock(s, 0, block);
        QVERIFY(refusal);
        QCOMPARE(refusal->field, field);
        QCOMPARE(refusal->message, message);
        QCOMPARE(block, protocol::SystemBlock {});
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
        row("quiet window", [](TextStore &) {},
            "0000000000000000 0000000000000000 0000000000000000 0000000000000000 0000 00 00", none);
        row("port 2 bypasses detection and classification",
            [](TextStore &g) { g.number(Setting::PORT_MODE_BYPS_1, 2) = g.number(Setting::PORT_MODE_BYPS_2, 2) = 1; },
            "0000c00000000000 0000000000000000 0000000000000000 0000000000000000 0000 00 00", none);
        row("every mode box leaves bit 0 clear",
            [](TextStore &g) {
                for (int k = 0; k < 7; ++k)
                    g.number(static_cast<Setting>(static_cast<int>(Setting::PORT_MODE_BYPS_1) + k), 0) = 1;
            },
            "fe00000000000000 0000000000000000 0000000000000000 0000000000000000 0000 00 00", none);
        row("port 5 enabled with priority 3",
            [](TextStore &g) {
                g.number(Setting::PORT_SYS_MGMNT_2, 5) = 1;
                g.number(Setting::PORT_SYS_MGMNT_3, 5) = 3;
            },
            "0000000000000000 0000000000230000 0000000000000000 0000000000000000 0000 00 00", none);
        row("port 5 also with class violation power-down",
            [](TextStore &g) {
                g.number(Setting::PORT_SYS_MGMNT_1, 5) = g.number(Setting::PORT_SYS_MGMNT_2, 5) = 1;
                g.number(Setting::PORT_SYS_MGMNT_3, 5) = 3;
            },
            "0000000000000000 0000000000630000 0000000000000000 0000000000000000 0000 00 00", none);
        row("LED drives Red Green Err Hi-Z Green Green Red Err",
            [](TextStore &g) {
                const int drive[] = { 1, 2, 3, 0, 2, 2, 1, 3 };
                for (int p = 0; p < 8; ++p)
                    g.number(Setting::PORT_LED_DRV, p) = drive[p];
            },
            "0000000000000000 0000000000000000 0000000000000000 0000000000000000 39da 00 00", none);
        row("fault enable on ports 0 and 7",
            [](TextStore &g) { g.number(Setting::FAULT_ENABLE, 0) = g.number(Setting::FAULT_ENABLE, 7) = 1; },
            "0000000000000000 0000000000000000 0000000000000000 0000000000000000 0000 81 00", none);
        row("pause mark cleared without Master Enable",
            [](TextStore &g) {
                g.number(Setting::FAULT_PAUSED, 3) = g.number(Setting::FAULT_ENABLE, 3) = g.number(Setting::PORT_SYS_MGMNT_2, 3) = 1;
            },
            "0000000000000000 0000002000000000 0000000000000000 0000000000000000 0000 08 00", none);
        row("pause mark kept with Master Enable",
            [](TextStore &g) {
                g.number(Setting::COMMON_CTRL_1) = 1;
                g.number(Setting::FAULT_PAUSED, 3) = g.number(Setting::FAULT_ENABLE, 3) = g.number(Setting::PORT_SYS_MGMNT_2, 3) = 1;
            },
            "0000000000000000 0000002000000000 0000000000000000 0000000000000000 0000 08 08",
            QList<int> { 0, 0, 0, 1, 0, 0, 0, 0 });
        row("pause mark needs fault enable",
            [](TextStore &g) {
                g.number(Setting::COMMON_CTRL_1) = 1;
                g.number(Setting::FAULT_PAUSED, 6) = g.number(Setting::PORT_SYS_MGMNT_2, 6) = 1;
            },
            "0000000000000000 0000000000002000 0000000000000000 0000000000000000 0000 00 00", none);
        row("power limits 256 and 300 wrap",
            [](TextStore &g) {
                g.text(Setting::PORT_PWR_LMT, 0) = QStringLiteral("256");
                g.text(Setting::PORT_PWR_LMT, 1) = QStringLiteral("300");
            },
            "0000000000000000 0000000000000000 0000000000000000 002c000000000000 0000 00 00", none);
        row("powered order of three digits",
            [](TextStore &g) { g.text(Setting::PORT_PWR_ORDER_2, 7) = QStringLiteral("200"); },
            "0000000000000000 0000000000000000 00000000000000c8 0000000000000000 0000 00 00", none);
        // clang-format on
    }

    void portBlock()
    {
        QFETCH(PortTweak, tweak);
        QFETCH(QByteArray, expected);
        QFETCH(QList<int>, pauseValues);
        TextStore g;
        tweak(g);
        protocol::PortBlock block {};
        const std::optional<Refusal> refusal = buildPortBlock(g, 0, block);
        QVERIFY2(!refusal, qPrintable(refusal ? refusal->message : QString()));
        const QByteArray all = bytesOf(block);
        QCOMPARE(all.left(36).toHex(' '), expected.toHex(' '));
        QCOMPARE(all.mid(36), QByteArray(217 - 36, '\0'));
        for (int p = 0; p < 8; ++p) {
            QCOMPARE(g.value(Setting::FAULT_PAUSED, p).value, pauseValues[p]);
            QCOMPARE(g.isEnabled(Setting::FAULT_PAUSED, p), pauseValues[p] == 1);
        }
    }

    void portRefusals_data()
    {
        QTest::addColumn<PortTweak>("tweak");
        QTest::addColumn<int>("group");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("message");

        QTest::newRow("empty powered order")
            << PortTweak([](TextStore &g) { g.text(Setting::PORT_PWR_ORDER_2, 0).clear(); }) << 0
            << QStringLiteral("PORT_PWR_ORDER_2_0")
            << QStringLiteral("Powered Order of Port 1 is empty");
        QTest::newRow("empty power limit in group 1")
            << PortTweak([](TextStore &g) { g.text(Setting::PORT_PWR_LMT, 12).clear(); }) << 1
            << QStringLiteral("PORT_PWR_LMT_12")
            << QStringLiteral("Set Port Power Limit (W) of Port 13 is empty");
        QTest::newRow("power limit beyond 16 bits")
            << PortTweak(
                   [](TextStore &g) { g.text(Setting::PORT_PWR_LMT, 7) = QStringLiteral("70000"); })
            << 0 << QStringLiteral("PORT_PWR_LMT_7")
            << QStringLiteral("Set Port Power Limit (W) of Port 8 must be -32768 to 32767");
        QTest::newRow("no priority")
            << PortTweak([](TextStore &g) { g.number(Setting::PORT_SYS_MGMNT_3, 2) = -1; }) << 0
            << QStringLiteral("PORT_SYS_MGMNT_3_2")
            << QStringLiteral("Set Port Priorty of Port 3 has nothing selected");
    }

    void portRefusals()
    {
        QFETCH(PortTweak, tweak);
        QFETCH(int, group);
        QFETCH(QString, field);
        QFETCH(QString, message);
        TextStore g;
        tweak(g);
        protocol::PortBlock block {};
        const std::optional<Refusal> refusal = buildPortBlock(g, group, block);
        QVERIFY(refusal);
        QCOMPARE(refusal->field, field);
        QCOMPARE(refusal->message, message);
        QCOMPARE(block, protocol::PortBlock {});
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
        row("26,500", 0, TextProblem::NotAWholeNumber);
        row("26.500", 0, TextProblem::NotAWholeNumber);
        row(" 007 ", 7, TextProblem::None);
        row("99999999999999999999999", 0, TextProblem::OutOfRange);
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
