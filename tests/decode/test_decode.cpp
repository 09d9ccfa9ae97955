// The register snapshot taken apart: field positions, status texts, number texts and the
// scaling rule, checked against the board's documented examples.

#include <examples.h>

#include <decode/numbertext.h>
#include <decode/scaling.h>
#include <decode/snapshot.h>
#include <decode/statustext.h>

#include <QRandomGenerator>
#include <QTest>

#include <cstring>
#include <memory>
#include <vector>

using namespace vantor::decode;
using vantor::protocol::kSnapshotSize;
using vantor::testing::bytesOf;
using vantor::testing::setBytes;

Q_DECLARE_METATYPE(ShownAs)

namespace {

// System bytes 0..14 of the documented example.
const QByteArray kSystemExample = QByteArray::fromHex("081030a5961c25c2330d5a010a150c");

// Bits the board's layout says are never read, as a byte-by-byte mask of the bits that are.
std::array<std::uint8_t, kSnapshotSize> documentedReadMask()
{
    std::array<std::uint8_t, kSnapshotSize> mask;
    mask.fill(0xFF);
    mask[1] = 0x38; // bits 7, 6, 2, 1, 0 unused
    mask[4] = 0xF3; // bits 3, 2 unused
    mask[9] = 0x0F;
    mask[11] = 0x07;
    mask[17] = 0x07;
    mask[18] = 0x00;
    for (int p = 0; p < 8; ++p) {
        mask[19 + p] = 0xFE;
        mask[27 + p] = 0x67;
    }
    mask[165] = 0x00;
    mask[166] = 0x00;
    return mask;
}

// A heap block of exactly n bytes, so a sanitizer sees any read past its end.
std::unique_ptr<std::uint8_t[]> exactBlock(const QByteArray &bytes, std::size_t n)
{
    auto block = std::make_unique<std::uint8_t[]>(n);
    std::memset(block.get(), 0, n);
    std::memcpy(block.get(), bytes.constData(),
                std::min(n, static_cast<std::size_t>(bytes.size())));
    return block;
}

QByteArray snapshotWith(std::initializer_list<std::pair<int, std::uint8_t>> bytes)
{
    QByteArray block(static_cast<qsizetype>(kSnapshotSize), '\0');
    for (const auto &[offset, value] : bytes)
        block[offset] = static_cast<char>(value);
    return block;
}

Snapshot snapshotOf(const QByteArray &block)
{
    const auto s = asSnapshot(bytesOf(block));
    Q_ASSERT(s);
    return *s;
}

// The documented port-0 example of group 0.
QByteArray portZeroExample()
{
    QByteArray block = snapshotWith({});
    setBytes(block, vantor::testing::kPortZeroExample);
    return block;
}

} // namespace

class TestDecode : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void readMaskMatchesLayout()
    {
        const auto expected = documentedReadMask();
        const auto actual = readMask();
        for (std::size_t i = 0; i < kSnapshotSize; ++i)
            QVERIFY2(actual[i] == expected[i],
                     qPrintable(QStringLiteral("offset %1 reads mask %2, expected %3")
                                    .arg(i)
                                    .arg(actual[i], 2, 16, QLatin1Char('0'))
                                    .arg(expected[i], 2, 16, QLatin1Char('0'))));
    }

    void fieldValues_data()
    {
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<int>("field");
        QTest::addColumn<int>("port");
        QTest::addColumn<unsigned>("expected");

        const QByteArray example = kSystemExample + QByteArray(kSnapshotSize - 15, '\0');
        const auto row
            = [&](const char *name, const QByteArray &block, Field f, int p, unsigned v) {
                  QTest::newRow(name) << block << static_cast<int>(f) << p << v;
              };
        row("example SYS_PORT_CNT", example, Field::SYS_PORT_CNT, 0, 8);
        row("example NOISE_MST_EN_1", example, Field::NOISE_MST_EN_1, 0, 1);
        row("example NOISE_MST_EN_2", example, Field::NOISE_MST_EN_2, 0, 0);
        row("example Brellik_I2C_ADDR", example, Field::Brellik_I2C_ADDR, 0, 48);
        row("example FLT_PWR_CYCLES_1", example, Field::FLT_PWR_CYCLES_1, 0, 10);
        row("example FLT_PWR_CYCLES_2", example, Field::FLT_PWR_CYCLES_2, 0, 5);
        row("example COMMON_CTRL_1", example, Field::COMMON_CTRL_1, 0, 1);
        row("example COMMON_CTRL_2", example, Field::COMMON_CTRL_2, 0, 0);
        row("example COMMON_CTRL_3", example, Field::COMMON_CTRL_3, 0, 0);
        row("example COMMON_CTRL_4", example, Field::COMMON_CTRL_4, 0, 1);
        row("example COMMON_CTRL_5", example, Field::COMMON_CTRL_5, 0, 1);
        row("example COMMON_CTRL_6", example, Field::COMMON_CTRL_6, 0, 0);
        row("example PD_R_LOW raw", example, Field::PD_R_LOW, 0, 9500);
        row("example PD_R_HIGH raw", example, Field::PD_R_HIGH, 0, 13250);
        row("example LEG_SUPP_1", example, Field::LEG_SUPP_1, 0, 1);
        row("example LEG_SUPP_2", example, Field::LEG_SUPP_2, 0, 1);
        row("example LEG_SUPP_3", example, Field::LEG_SUPP_3, 0, 0);
        row("example LEG_SUPP_4", example, Field::LEG_SUPP_4, 0, 1);
        row("example MAX_SYS_PWR", example, Field::MAX_SYS_PWR, 0, 346);
        row("example STARTUP_OL_DLY", example, Field::STARTUP_OL_DLY, 0, 10);
        row("example firmware major-1", example, Field::REV_IDENT_1_MAJOR, 0, 0);
        row("example firmware minor", example, Field::REV_IDENT_1_MINOR, 0, 21);
        row("example REV_IDENT_2", example, Field::REV_IDENT_2, 0, 12);

        row("0xC7 frequency", snapshotWith({ { 1, 0xC7 } }), Field::NOISE_MST_EN_1, 0, 0);
        row("0xC7 noise flag", snapshotWith({ { 1, 0xC7 } }), Field::NOISE_MST_EN_2, 0, 0);
        row("0x30 Err", snapshotWith({ { 1, 0x30 } }), Field::NOISE_MST_EN_1, 0, 3);
        row("power limit 11 bits", snapshotWith({ { 10, 0xFF }, { 11, 0xFF } }), Field::MAX_SYS_PWR,
            0, 2047);
        row("box power 11 bits", snapshotWith({ { 16, 0xFF }, { 17, 0xFF } }), Field::BOX_PWR, 0,
            2047);
        row("0x95 major", snapshotWith({ { 13, 0x95 } }), Field::REV_IDENT_1_MAJOR, 0, 1);
        row("0x95 minor", snapshotWith({ { 13, 0x95 } }), Field::REV_IDENT_1_MINOR, 0, 21);

        const QByteArray leds = snapshotWith({ { 51, 0xE4 }, { 52, 0x1B } });
        const unsigned e4[] = { 0, 1, 2, 3 };
        const unsigned x1b[] = { 3, 2, 1, 0 };
        for (int p = 0; p < 4; ++p) {
            QTest::addRow("LED 0xE4 port %d", p)
                << leds << static_cast<int>(Field::PORT_LED_DRV) << p << e4[p];
            QTest::addRow("LED 0x1B port %d", p + 4)
                << leds << static_cast<int>(Field::PORT_LED_DRV) << p + 4 << x1b[p];
        }
        const QByteArray mgmnt = snapshotWith({ { 27 + 6, 0x9F } });
        row("0x9F PORT_SYS_MGMNT_1", mgmnt, Field::PORT_SYS_MGMNT_1, 6, 0);
        row("0x9F PORT_SYS_MGMNT_2", mgmnt, Field::PORT_SYS_MGMNT_2, 6, 0);
        row("0x9F PORT_SYS_MGMNT_3", mgmnt, Field::PORT_SYS_MGMNT_3, 6, 7);
        const QByteArray bypass = snapshotWith({ { 19 + 2, 0x01 }, { 19 + 3, 0xFE } });
        for (int k = 0; k < 7; ++k) {
            const auto f = static_cast<int>(Field::PORT_MODE_BYPS_1) + k;
            QTest::addRow("0x01 PORT_MODE_BYPS_%d", k + 1) << bypass << f << 2 << 0u;
            QTest::addRow("0xFE PORT_MODE_BYPS_%d", k + 1) << bypass << f << 3 << 1u;
        }
        const QByteArray words
            = snapshotWith({ { 53 + 14, 0x34 }, { 54 + 14, 0x12 }, { 141, 0xFF }, { 142, 0xFF } });
        row("port 7 capacitance", words, Field::PORT_DISC_C, 7, 0x1234);
        row("port 0 power 65535", words, Field::PORT_POWER, 0, 65535);
        const QByteArray status = snapshotWith({ { 157 + 5, 0xA9 }, { 167, 0x20 } });
        row("port 5 fault code", status, Field::PORT_FLT_MODE_1, 5, 10);
        row("port 5 mode code", status, Field::PORT_FLT_MODE_2, 5, 9);
        row("port 5 paused", status, Field::FAULT_PAUSED, 5, 1);
        row("port 4 not paused", status, Field::FAULT_PAUSED, 4, 0);
        row("port outside the group", snapshotWith({ { 35, 9 } }), Field::PORT_PWR_ORDER, 8, 0);
    }

    void fieldValues()
    {
        QFETCH(QByteArray, block);
        QFETCH(int, field);
        QFETCH(int, port);
        QFETCH(unsigned, expected);
        QCOMPARE(fieldValue(snapshotOf(block), static_cast<Field>(field), port), expected);
    }

    void systemExampleTexts()
    {
        const QByteArray block = kSystemExample + QByteArray(kSnapshotSize - 15, '\0');
        const SystemConfig c = decodeSystemConfig(snapshotOf(block));
        QCOMPARE(c.PD_R_LOW, 19000);
        QCOMPARE(c.PD_R_HIGH, 26500);
        QCOMPARE(firmwareVersionText(c.firmwareMajor, c.firmwareMinor), QStringLiteral("1.21"));
        QCOMPARE(chipVersionText(c.REV_IDENT_2), QStringLiteral("1.5"));
    }

    void allZeroBlock()
    {
        const QByteArray zeros(static_cast<qsizetype>(kSnapshotSize), '\0');
        const auto d = decodeSnapshot(bytesOf(zeros));
        QVERIFY(d);
        QCOMPARE(d->config, SystemConfig {});
        QCOMPARE(d->status, SystemStatus {});
        for (int p = 0; p < 8; ++p) {
            QCOMPARE(d->portConfig[p], PortConfig {});
            QCOMPARE(d->portStatus[p], PortStatus {});
        }
        QCOMPARE(firmwareVersionText(d->config.firmwareMajor, d->config.firmwareMinor),
                 QStringLiteral("1.0"));
        QCOMPARE(chipVersionText(d->config.REV_IDENT_2), QStringLiteral("0.0"));
        QCOMPARE(numberText(static_cast<float>(d->status.BOX_PWR) / 10.0f), QStringLiteral("0"));
        for (ShownAs as : { ShownAs::Tenths, ShownAs::Hundredths, ShownAs::Doubled })
            QCOMPARE(numberText(scaledReading(0, u"1", u"0", as)), QStringLiteral("0"));
    }

    void shortBlocksAreRefused()
    {
        const QByteArray full = portZeroExample();
        for (std::size_t n = 0; n < kSnapshotSize; ++n) {
            const auto block = exactBlock(full, n);
            QVERIFY2(!decodeSnapshot({ block.get(), n }),
                     qPrintable(QStringLiteral("a %1-byte block was decoded").arg(n)));
        }
    }

    void bytesAfterTheSnapshotAreIgnored()
    {
        const QByteArray block = portZeroExample();
        QByteArray longer = block + QByteArray(32, '\xA5');
        QCOMPARE(*decodeSnapshot(bytesOf(longer)), *decodeSnapshot(bytesOf(block)));
    }

    void faultTexts_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("hover");

        const char *const rows[16][2] = {
            { "Null", "Null State" },
            { "UV/OV 2ms", "UV/OV fault/spike- Port V falls outside the 44-57V window > 2msec" },
            { "UV/OV .5ms", "UV/OV fault/spike- Port V falls outside the 44-57V window > 500usec" },
            { "OI Short",
              "Peak over current fault- Port peak current exceeded 475mA > 10usec: dead short" },
            { "Overload", "Overload fault- Port average current limited to 475mA > 50msec" },
            { "Error", "Undefined State" },
            { "Error", "Undefined State" },
            { "Error", "Undefined State" },
            { "Null", "Null State" },
            { "CI Fail", "Port classification current exceeds expected class rating" },
            { "Disconnect", "Load disconnect- Port average running current is < 10mA" },
            { "DR A/D Fail", "Port discovery A/D conversion failed" },
            { "CI A/D Fail", "Port classification A/D conversion failed" },
            { "SA A/D Fail", "Sample A/D conversion failed" },
            { "DF A/D Fail", "Device Fault A/D conversion failed" },
            { "Error", "Undefined State" },
        };
        for (int code = 0; code < 16; ++code)
            QTest::addRow("fault %d", code)
                << code << QString::fromLatin1(rows[code][0]) << QString::fromLatin1(rows[code][1]);
        QTest::newRow("fault 16") << 16 << QStringLiteral("Error")
                                  << QStringLiteral("Undefined State");
        QTest::newRow("fault -1") << -1 << QStringLiteral("Error")
                                  << QStringLiteral("Undefined State");
    }

    void faultTexts()
    {
        QFETCH(int, code);
        QFETCH(QString, caption);
        QFETCH(QString, hover);
        QCOMPARE(QString(faultText(code).caption), caption);
        QCOMPARE(QString(faultText(code).hover), hover);
    }

    void modeTexts_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("hover");

        const char *const rows[10][2] = {
            { "Port Off", "Reset State: Port Off" },
            { "R Detect", "Resistive detection in progress" },
            { "C Detect", "Capacitive detection in progress" },
            { "Classify", "Classification in progress" },
            { "Ramp Up", "Ramp Port Voltage Up" },
            { "Ramp Down", "Ramp Port Voltage Down" },
            { "Error", "Undefined State" },
            { "Error", "Undefined State" },
            { "I Sample", "Current (I) sample in progress" },
            { "V Sample", "Voltage sample in progress" },
        };
        for (int code = 0; code < 16; ++code) {
            const bool own = code < 10;
            QTest::addRow("mode %d", code)
                << code << QString::fromLatin1(own ? rows[code][0] : "Error")
                << QString::fromLatin1(own ? rows[code][1] : "Undefined State");
        }
    }

    void modeTexts()
    {
        QFETCH(int, code);
        QFETCH(QString, caption);
        QFETCH(QString, hover);
        QCOMPARE(QString(modeText(code).caption), caption);
        QCOMPARE(QString(modeText(code).hover), hover);
    }

    void statusByte_data()
    {
        QTest::addColumn<int>("statusByte");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("mode");

        QTest::newRow("0x00") << 0x00 << QStringLiteral("Null") << QStringLiteral("Port Off");
        QTest::newRow("0x34") << 0x34 << QStringLiteral("OI Short") << QStringLiteral("Ramp Up");
        QTest::newRow("0x86") << 0x86 << QStringLiteral("Null") << QStringLiteral("Error");
        QTest::newRow("0xF9") << 0xF9 << QStringLiteral("Error") << QStringLiteral("V Sample");
        QTest::newRow("0xAA") << 0xAA << QStringLiteral("Disconnect") << QStringLiteral("Error");
    }

    void statusByte()
    {
        QFETCH(int, statusByte);
        QFETCH(QString, fault);
        QFETCH(QString, mode);
        for (int p = 0; p < 8; ++p) {
            const QByteArray block
                = snapshotWith({ { 157 + p, static_cast<std::uint8_t>(statusByte) } });
            const PortStatus st = decodePortStatus(snapshotOf(block), p);
            QCOMPARE(QString(faultText(st.faultCode).caption), fault);
            QCOMPARE(QString(modeText(st.modeCode).caption), mode);
        }
    }

    void classCaptions_data()
    {
        QTest::addColumn<int>("classByte");
        QTest::addColumn<QString>("caption");

        const char *const own[]
            = { "0: 15.4W", "1: 4W", "2: 7W", "3: 15.4W", "4: 15.4W", "5: 15.4W" };
        for (int c = 0; c < 6; ++c)
            QTest::addRow("class %d", c) << c << QString::fromLatin1(own[c]);
        QTest::newRow("class 6") << 6 << QStringLiteral("Error");
        QTest::newRow("class 255") << 255 << QStringLiteral("Error");
    }

    void classCaptions()
    {
        QFETCH(int, classByte);
        QFETCH(QString, caption);
        QCOMPARE(QString(classCaption(classByte)), caption);
    }

    void numberTexts_data()
    {
        QTest::addColumn<float>("value");
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("expected");

        const QLocale en(QLocale::English, QLocale::UnitedStates);
        const QLocale de(QLocale::German, QLocale::Germany);
        const auto row = [&](const char *name, float v, const QLocale &l, const char *text) {
            QTest::newRow(name) << v << l << QString::fromUtf8(text);
        };
        row("123.4", 123.4f, en, "123.4");
        row("0.5 has its leading zero", 0.5f, en, "0.5");
        row("48.00 drops its zeros", 48.0f, en, "48");
        row("-0.3", -0.3f, en, "-0.3");
        row("zero", 0.0f, en, "0");
        row("negative zero", -0.0f, en, "0");
        row("15.9 from single precision", 15.9f, en, "15.9");
        row("350.5", 350.5f, en, "350.5");
        row("204.7", 2047.0f / 10.0f, en, "204.7");
        row("20.05", 2005.0f / 100.0f, en, "20.05");
        row("0.1", 1.0f / 10.0f, en, "0.1");
        row("0.01", 1.0f / 100.0f, en, "0.01");
        row("655.35", 65535.0f / 100.0f, en, "655.35");
        row("no grouping", 25000.0f, en, "25000");
        row("seven digits", 123456.7f, en, "123456.7");
        row("rounded to seven digits", 1234567.75f, en, "1234568");
        row("just below exponent form", 9999999.0f, en, "9999999");
        row("exponent form", 130939128.0f, en, "1.309391E+08");
        row("exponent form negative", -130939128.0f, en, "-1.309391E+08");
        row("ten million", 1.0e7f, en, "1E+07");
        row("small fixed form", 0.00001f, en, "0.00001");
        row("German separator", 2005.0f / 100.0f, de, "20,05");
        row("German no grouping", 131070.0f, de, "131070");
        row("German exponent", 130939128.0f, de, "1,309391E+08");
    }

    void numberTexts()
    {
        QFETCH(float, value);
        QFETCH(QLocale, locale);
        QFETCH(QString, expected);
        QCOMPARE(numberText(value, locale), expected);
    }

    void firmwareVersion_data()
    {
        QTest::addColumn<int>("byte13");
        QTest::addColumn<QString>("expected");

        QTest::newRow("0x15") << 0x15 << QStringLiteral("1.21");
        QTest::newRow("0x05") << 0x05 << QStringLiteral("1.5");
        QTest::newRow("0x32") << 0x32 << QStringLiteral("1.50");
        QTest::newRow("0x95") << 0x95 << QStringLiteral("2.21");
        QTest::newRow("0x00") << 0x00 << QStringLiteral("1.0");
        QTest::newRow("0xFF") << 0xFF << QStringLiteral("2.127");
    }

    void firmwareVersion()
    {
        QFETCH(int, byte13);
        QFETCH(QString, expected);
        const QByteArray block = snapshotWith({ { 13, static_cast<std::uint8_t>(byte13) } });
        const SystemConfig c = decodeSystemConfig(snapshotOf(block));
        QCOMPARE(firmwareVersionText(c.firmwareMajor, c.firmwareMinor), expected);
        // The firmware version keeps its "." whatever the locale.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(firmwareVersionText(c.firmwareMajor, c.firmwareMinor), expected);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void chipVersion_data()
    {
        QTest::addColumn<int>("eighths");
        QTest::addColumn<QString>("english");
        QTest::addColumn<QString>("german");

        const int values[] = { 8, 10, 9, 12, 14, 0, 255, 2, 6, 1 };
        const char *const texts[]
            = { "1.0", "1.3", "1.1", "1.5", "1.8", "0.0", "31.9", "0.3", "0.8", "0.1" };
        for (std::size_t i = 0; i < std::size(values); ++i) {
            QString en = QString::fromLatin1(texts[i]);
            QString de = en;
            de.replace(QLatin1Char('.'), QLatin1Char(','));
            QTest::addRow("%d", values[i]) << values[i] << en << de;
        }
    }

    void chipVersion()
    {
        QFETCH(int, eighths);
        QFETCH(QString, english);
        QFETCH(QString, german);
        QCOMPARE(chipVersionText(eighths, QLocale(QLocale::English)), english);
        QCOMPARE(chipVersionText(eighths, QLocale(QLocale::German)), german);
    }

    void scaledReadings_data()
    {
        QTest::addColumn<unsigned>("raw");
        QTest::addColumn<QString>("slope");
        QTest::addColumn<QString>("offset");
        QTest::addColumn<ShownAs>("shownAs");
        QTest::addColumn<QString>("expected");

        const auto row = [](const char *name, unsigned raw, const char *m, const char *b,
                            ShownAs as, const char *text) {
            QTest::newRow(name) << raw << QString::fromLatin1(m) << QString::fromLatin1(b) << as
                                << QString::fromLatin1(text);
        };
        row("voltage 4800", 4800, "1", "0", ShownAs::Hundredths, "48");
        row("current 3505", 3505, "1", "0", ShownAs::Tenths, "350.5");
        row("resistance 12500", 12500, "1", "0", ShownAs::Doubled, "25000");
        row("capacitance 1", 1, "1", "0", ShownAs::Tenths, "0.1");
        row("power 159", 159, "1", "0", ShownAs::Tenths, "15.9");
        row("slope 2 offset 5", 1000, "2", "5", ShownAs::Hundredths, "20.05");
        row("leading zeros", 1000, "002", "05", ShownAs::Hundredths, "20.05");
        row("half goes down to even", 5, "0.5", "0", ShownAs::Tenths, "0.2");
        row("half goes up to even", 7, "0.5", "0", ShownAs::Tenths, "0.4");
        row("just above half", 5, "0.5", "0.01", ShownAs::Tenths, "0.3");
        row("empty slope counts as 0", 1234, "", "7", ShownAs::Tenths, "0.7");
        row("empty offset counts as 0", 1234, "1", "", ShownAs::Tenths, "123.4");
        row("slope that is not a number counts as 0", 1234, "abc", "3", ShownAs::Tenths, "0.3");
        row("infinite slope counts as 0", 1234, "inf", "3", ShownAs::Tenths, "0.3");
        row("largest typed scale", 65535, "999", "99", ShownAs::Doubled, "1.309391E+08");
        row("sum beyond 32 bits is held at the top", 65535, "1e300", "0", ShownAs::Tenths,
            "2.147484E+08");
        row("sum below 32 bits is held at the bottom", 65535, "-1e300", "0", ShownAs::Hundredths,
            "-2.147484E+07");
        row("doubling beyond 32 bits is held at the top", 65535, "20000", "0", ShownAs::Doubled,
            "2.147484E+09");
        row("negative offset", 0, "1", "-5", ShownAs::Tenths, "-0.5");
    }

    void scaledReadings()
    {
        QFETCH(unsigned, raw);
        QFETCH(QString, slope);
        QFETCH(QString, offset);
        QFETCH(ShownAs, shownAs);
        QFETCH(QString, expected);
        QCOMPARE(numberText(scaledReading(raw, slope, offset, shownAs)), expected);
    }

    void scaleFieldsUseTheLocale()
    {
        const QLocale de(QLocale::German, QLocale::Germany);
        QCOMPARE(scaleFieldValue(u"0,5", de), 0.5);
        QCOMPARE(numberText(scaledReading(1000, u"2", u"5", ShownAs::Hundredths, de), de),
                 QStringLiteral("20,05"));
    }

    void scaledIntegerRounding_data()
    {
        QTest::addColumn<double>("slope");
        QTest::addColumn<double>("offset");
        QTest::addColumn<int>("expected");

        QTest::newRow("2.5 -> 2") << 2.5 << 0.0 << 2;
        QTest::newRow("3.5 -> 4") << 3.5 << 0.0 << 4;
        QTest::newRow("-2.5 -> -2") << -2.5 << 0.0 << -2;
        QTest::newRow("2.4999 -> 2") << 2.4999 << 0.0 << 2;
        QTest::newRow("2147483647.5 held") << 1.0 << 2147483646.5 << 2147483647;
        QTest::newRow("-2147483648.5 held") << -1.0 << -2147483647.5 << -2147483647 - 1;
        QTest::newRow("not a number") << qQNaN() << 0.0 << 0;
    }

    void scaledIntegerRounding()
    {
        QFETCH(double, slope);
        QFETCH(double, offset);
        QFETCH(int, expected);
        QCOMPARE(scaledInteger(1, slope, offset), expected);
    }

    void ledIndications_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("portEnable");
        QTest::addColumn<bool>("green");
        QTest::addColumn<bool>("red");
        QTest::addColumn<bool>("yellow");

        QTest::newRow("0") << 0 << 1 << false << false << true;
        QTest::newRow("1") << 1 << 1 << false << true << false;
        QTest::newRow("2 enabled") << 2 << 1 << true << false << false;
        QTest::newRow("2 partly set") << 2 << 2 << true << false << false;
        QTest::newRow("2 disabled") << 2 << 0 << false << false << true;
        QTest::newRow("3") << 3 << 1 << false << false << false;
    }

    void ledIndications()
    {
        QFETCH(int, code);
        QFETCH(int, portEnable);
        QFETCH(bool, green);
        QFETCH(bool, red);
        QFETCH(bool, yellow);
        QCOMPARE(ledIndication(code, portEnable), (LedIndication { green, red, yellow }));
    }

    void ledCodes0x1B()
    {
        const QByteArray block = snapshotWith({ { 51, 0x1B } });
        const Snapshot s = snapshotOf(block);
        const LedIndication none {};
        const LedIndication green { true, false, false };
        const LedIndication red { false, true, false };
        const LedIndication yellow { false, false, true };
        QCOMPARE(ledIndication(decodePortStatus(s, 0).ledDrive, 1), none);
        QCOMPARE(ledIndication(decodePortStatus(s, 1).ledDrive, 1), green);
        QCOMPARE(ledIndication(decodePortStatus(s, 1).ledDrive, 0), yellow);
        QCOMPARE(ledIndication(decodePortStatus(s, 2).ledDrive, 1), red);
        QCOMPARE(ledIndication(decodePortStatus(s, 3).ledDrive, 0), yellow);
    }

    void faultPaused_data()
    {
        QTest::addColumn<int>("bit");
        QTest::addColumn<int>("master");
        QTest::addColumn<int>("portEnable");
        QTest::addColumn<int>("expected");

        QTest::newRow("all set") << 1 << 1 << 1 << 1;
        QTest::newRow("bit clear") << 0 << 1 << 1 << 0;
        QTest::newRow("master clear") << 1 << 0 << 1 << 0;
        QTest::newRow("port disabled") << 1 << 1 << 0 << 0;
        QTest::newRow("master partly set") << 1 << 2 << 1 << 0;
    }

    void faultPaused()
    {
        QFETCH(int, bit);
        QFETCH(int, master);
        QFETCH(int, portEnable);
        QFETCH(int, expected);
        QCOMPARE(faultPausedValue(bit, master, portEnable), expected);
    }

    void portZeroWorkedExample()
    {
        const QByteArray block = portZeroExample();
        const PortStatus st = decodePortStatus(snapshotOf(block), 0);
        QCOMPARE(integerText(st.PORT_PWR_ORDER_1), QStringLiteral("3"));
        QCOMPARE(ledIndication(st.ledDrive, 1), (LedIndication { true, false, false }));
        const auto shown = [](int raw, ShownAs as) {
            return numberText(scaledReading(static_cast<unsigned>(raw), u"1", u"0", as));
        };
        QCOMPARE(shown(st.PORT_DISC_C, ShownAs::Tenths), QStringLiteral("0.1"));
        QCOMPARE(shown(st.PORT_DISC_R, ShownAs::Doubled), QStringLiteral("25000"));
        QCOMPARE(QString(classCaption(st.PORT_CLASS_2)), QStringLiteral("2: 7W"));
        QCOMPARE(shown(st.PORT_CLASS_1, ShownAs::Tenths), QStringLiteral("10"));
        QCOMPARE(shown(st.PORT_CURRENT, ShownAs::Tenths), QStringLiteral("350.5"));
        QCOMPARE(shown(st.PORT_VOLTAGE, ShownAs::Hundredths), QStringLiteral("48"));
        QCOMPARE(shown(st.PORT_POWER, ShownAs::Tenths), QStringLiteral("15.9"));
        QCOMPARE(QString(faultText(st.faultCode).caption), QStringLiteral("Null"));
        QCOMPARE(QString(faultText(st.faultCode).hover), QStringLiteral("Null State"));
        QCOMPARE(QString(modeText(st.modeCode).caption), QStringLiteral("Ramp Up"));
        QCOMPARE(QString(modeText(st.modeCode).hover), QStringLiteral("Ramp Port Voltage Up"));
    }

    void boxPowerUsesElevenBits()
    {
        const QByteArray block = snapshotWith({ { 16, 0xFF }, { 17, 0xFF } });
        const SystemStatus st = decodeSystemStatus(snapshotOf(block));
        QCOMPARE(numberText(static_cast<float>(st.BOX_PWR) / 10.0f), QStringLiteral("204.7"));
    }

    // Random blocks: each decodes from exactly its 168 bytes, every code names an existing
    // list item or text, and the bits the layout leaves unread change nothing.
    void randomBlocks()
    {
        QRandomGenerator rng(20261207);
        const auto readBits = documentedReadMask();
        for (int run = 0; run < 2000; ++run) {
            QByteArray bytes(static_cast<qsizetype>(kSnapshotSize), '\0');
            for (char &b : bytes)
                b = static_cast<char>(rng.bounded(256));
            const auto block = exactBlock(bytes, kSnapshotSize);
            const auto d = decodeSnapshot({ block.get(), kSnapshotSize });
            QVERIFY(d);

            QVERIFY(d->config.NOISE_MST_EN_1 >= 0 && d->config.NOISE_MST_EN_1 < 4);
            QVERIFY(d->config.MAX_SYS_PWR <= 2047);
            QVERIFY(d->status.BOX_PWR <= 2047);
            QVERIFY(d->config.FLT_PWR_CYCLES_1 < 16 && d->config.FLT_PWR_CYCLES_2 < 16);
            for (int p = 0; p < 8; ++p) {
                const PortConfig &pc = d->portConfig[p];
                const PortStatus &ps = d->portStatus[p];
                QVERIFY(pc.PORT_SYS_MGMNT_3 >= 0 && pc.PORT_SYS_MGMNT_3 < 8);
                QVERIFY(pc.PORT_LED_DRV >= 0 && pc.PORT_LED_DRV < 4);
                QCOMPARE(ps.ledDrive, pc.PORT_LED_DRV);
                QVERIFY(ps.faultCode >= 0 && ps.faultCode < 16);
                QVERIFY(ps.modeCode >= 0 && ps.modeCode < 16);
                QVERIFY(!faultText(ps.faultCode).caption.isEmpty());
                QVERIFY(!modeText(ps.modeCode).caption.isEmpty());
                QVERIFY(!classCaption(ps.PORT_CLASS_2).isEmpty());
                QVERIFY(ps.pausedBit == 0 || ps.pausedBit == 1);
            }

            QByteArray noisy = bytes;
            for (std::size_t i = 0; i < kSnapshotSize; ++i)
                noisy[static_cast<qsizetype>(i)]
                    = static_cast<char>((bytes[static_cast<qsizetype>(i)] & readBits[i])
                                        | (rng.bounded(256) & ~readBits[i]));
            QCOMPARE(*decodeSnapshot(bytesOf(noisy)), *d);
        }
    }

    // Every bit the layout reads shows up in the decoded values.
    void everyReadBitMatters()
    {
        const auto readBits = documentedReadMask();
        const QByteArray zeros(static_cast<qsizetype>(kSnapshotSize), '\0');
        const DecodedSnapshot base = *decodeSnapshot(bytesOf(zeros));
        for (std::size_t i = 0; i < kSnapshotSize; ++i) {
            for (int bit = 0; bit < 8; ++bit) {
                if (!(readBits[i] & (1 << bit)))
                    continue;
                QByteArray one = zeros;
                one[static_cast<qsizetype>(i)] = static_cast<char>(1 << bit);
                QVERIFY2(!(*decodeSnapshot(bytesOf(one)) == base),
                         qPrintable(
                             QStringLiteral("bit %1 of offset %2 is not decoded").arg(bit).arg(i)));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestDecode)
#include "test_decode.moc"
