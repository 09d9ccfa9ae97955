// SPDX-License-Identifier: MIT
// The register snapshot taken apart: field positions, status texts, number texts and the
// scaling rule, checked against the board's documented examples.

#include <examples.h>

#include <codec/configuration.h>
#include <codec/numbertext.h>
#include <codec/plausibility.h>
#include <codec/scaling.h>
#include <codec/snapshot.h>
#include <codec/statustext.h>

#include <QRandomGenerator>
#include <QTest>

#include <cstring>
#include <memory>

using namespace vantor::codec;
using vantor::protocol::kSnapshotSize;
using vantor::testing::bytesOf;
using vantor::testing::setBytes;

Q_DECLARE_METATYPE(ShownAs)

namespace {

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

    void fieldValues_data()
    {
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<int>("field");
        QTest::addColumn<int>("port");
        QTest::addColumn<unsigned>("expected");

        const auto row = [](const char *name, const QByteArray &block, Field f, int p, unsigned v) {
            QTest::newRow(name) << block << static_cast<int>(f) << p << v;
        };
        row("0xC7 frequency", snapshotWith({ { 1, 0xC7 } }), Field::NOISE_MST_EN_1, 0, 0);
        row("0xC7 noise flag", snapshotWith({ { 1, 0xC7 } }), Field::NOISE_MST_EN_2, 0, 0);
        row("0x30 Err", snapshotWith({ { 1, 0x30 } }), Field::NOISE_MST_EN_1, 0, 3);
        row("power limit 11 bits", snapshotWith({ { 10, 0xFF }, { 11, 0xFF } }), Field::MAX_SYS_PWR,
            0, 2047);
        row("box power 11 bits", snapshotWith({ { 16, 0xFF }, { 17, 0xFF } }), Field::BOX_PWR, 0,
            2047);

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
        const QByteArray paused = snapshotWith({ { 167, 0x20 } });
        row("port 5 paused", paused, Field::FAULT_PAUSED, 5, 1);
        row("port 4 not paused", paused, Field::FAULT_PAUSED, 4, 0);
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

    void allZeroBlock()
    {
        const QByteArray zeros(static_cast<qsizetype>(kSnapshotSize), '\0');
        const auto d = decodeSnapshot(bytesOf(zeros));
        QVERIFY(d);
        QCOMPARE(d->config, SystemConfiguration {});
        QCOMPARE(d->status, SystemStatus {});
        for (int p = 0; p < 8; ++p) {
            QCOMPARE(d->ports[p], PortConfiguration {});
            QCOMPARE(d->portStatus[p], PortStatus {});
        }
        QCOMPARE(firmwareVersionText(d->info.firmwareMajor, d->info.firmwareMinor),
                 QStringLiteral("1.0"));
        QCOMPARE(chipVersionText(d->info.chipEighths), QStringLiteral("0.0"));
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

    // Every fault and mode code once (on the diagonal, status byte 0xNN), and the documented
    // bytes whose two halves differ, so that swapped halves show.
    void statusTexts_data()
    {
        QTest::addColumn<int>("statusByte");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("faultHover");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("modeHover");

        const char *const error[2] = { "Error", "Undefined State" };
        const char *const null[2] = { "Null", "Null State" };
        const char *const faults[16][2] = {
            { null[0], null[1] },
            { "UV/OV 2ms", "UV/OV fault/spike- Port V falls outside the 44-57V window > 2msec" },
            { "UV/OV .5ms", "UV/OV fault/spike- Port V falls outside the 44-57V window > 500usec" },
            { "OI Short",
              "Peak over current fault- Port peak current exceeded 475mA > 10usec: dead short" },
            { "Overload", "Overload fault- Port average current limited to 475mA > 50msec" },
            { error[0], error[1] },
            { error[0], error[1] },
            { error[0], error[1] },
            { null[0], null[1] },
            { "CI Fail", "Port classification current exceeds expected class rating" },
            { "Disconnect", "Load disconnect- Port average running current is < 10mA" },
            { "DR A/D Fail", "Port discovery A/D conversion failed" },
            { "CI A/D Fail", "Port classification A/D conversion failed" },
            { "SA A/D Fail", "Sample A/D conversion failed" },
            { "DF A/D Fail", "Device Fault A/D conversion failed" },
            { error[0], error[1] },
        };
        const char *const modes[10][2] = {
            { "Port Off", "Reset State: Port Off" },
            { "R Detect", "Resistive detection in progress" },
            { "C Detect", "Capacitive detection in progress" },
            { "Classify", "Classification in progress" },
            { "Ramp Up", "Ramp Port Voltage Up" },
            { "Ramp Down", "Ramp Port Voltage Down" },
            { error[0], error[1] },
            { error[0], error[1] },
            { "I Sample", "Current (I) sample in progress" },
            { "V Sample", "Voltage sample in progress" },
        };
        const auto row = [&](int byte, const char *const fault[2], const char *const mode[2]) {
            QTest::addRow("0x%02X", byte)
                << byte << QString::fromLatin1(fault[0]) << QString::fromLatin1(fault[1])
                << QString::fromLatin1(mode[0]) << QString::fromLatin1(mode[1]);
        };
        for (int code = 0; code < 16; ++code)
            row(code * 0x11, faults[code], code < 10 ? modes[code] : error);
        row(0x34, faults[3], modes[4]);
        row(0x86, null, error);
        row(0xF9, error, modes[9]);
        row(0xAA, faults[10], error);
    }

    void statusTexts()
    {
        QFETCH(int, statusByte);
        QFETCH(QString, fault);
        QFETCH(QString, faultHover);
        QFETCH(QString, mode);
        QFETCH(QString, modeHover);
        for (int p = 0; p < 8; ++p) {
            const QByteArray block
                = snapshotWith({ { 157 + p, static_cast<std::uint8_t>(statusByte) } });
            const PortStatus st = decodePortStatus(snapshotOf(block), p);
            QCOMPARE(QString(faultText(st.faultCode).caption), fault);
            QCOMPARE(QString(faultText(st.faultCode).hover), faultHover);
            QCOMPARE(QString(modeText(st.modeCode).caption), mode);
            QCOMPARE(QString(modeText(st.modeCode).hover), modeHover);
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
        row("0.01", 1.0f / 100.0f, en, "0.01");
        row("655.35", 65535.0f / 100.0f, en, "655.35");
        row("seven digits", 123456.7f, en, "123456.7");
        row("rounded to seven digits", 1234567.75f, en, "1234568");
        row("just below exponent form", 9999999.0f, en, "9999999");
        row("exponent form", 130939128.0f, en, "1.309391E+08");
        row("exponent form negative", -130939128.0f, en, "-1.309391E+08");
        row("ten million", 1.0e7f, en, "1E+07");
        row("small fixed form", 0.00001f, en, "0.00001");
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
        const SystemInfo c = decodeSystemInfo(snapshotOf(block));
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

        // Eighths to tenths: 0.25 and 0.75 go up, 0.125 goes down.
        const int values[] = { 8, 12, 0, 255, 2, 6, 1 };
        const char *const texts[] = { "1.0", "1.5", "0.0", "31.9", "0.3", "0.8", "0.1" };
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

            // Every setting a read shows lies where a list item or a profile can hold it (the
            // I2C address: the five bits a write carries).
            for (const SettingRow &row : settingRows(Scope::System)) {
                const int v = row.setting == Setting::Brellik_I2C_ADDR
                    ? d->config[row.setting] & 0x1F
                    : d->config[row.setting];
                if (row.setting != Setting::SYS_PORT_CNT)
                    QVERIFY2(inRange(row, v), row.key.data());
            }
            QVERIFY(d->status.BOX_PWR <= 2047);
            for (int p = 0; p < 8; ++p) {
                const PortConfiguration &pc = d->ports[p];
                const PortStatus &ps = d->portStatus[p];
                for (const SettingRow &row : settingRows(Scope::Port))
                    QVERIFY2(inRange(row, pc[row.setting]), row.key.data());
                QCOMPARE(ps.ledDrive, pc[Setting::PORT_LED_DRV]);
                QCOMPARE(ps.portEnable, pc[Setting::PORT_SYS_MGMNT_2]);
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

    // Only a port count the board can have gives a snapshot away; every other byte may be
    // anything.
    void plausibility_data()
    {
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<int>("implausible"); // the value that gives it away; -1: plausible

        for (const int count : { 8, 16, 24, 32, 40, 48 })
            QTest::addRow("%d ports", count)
                << snapshotWith({ { 0, static_cast<std::uint8_t>(count) } }) << -1;
        for (const int count : { 0, 7, 9, 34, 56, 255 })
            QTest::addRow("%d ports", count)
                << snapshotWith({ { 0, static_cast<std::uint8_t>(count) } }) << count;
        QByteArray ones(int(kSnapshotSize), char(0xFF));
        ones[0] = 8;
        QTest::newRow("8 ports, every other bit set") << ones << -1;
    }

    void plausibility()
    {
        QFETCH(QByteArray, block);
        QFETCH(int, implausible);

        const auto found = checkPlausible(*asSnapshot(bytesOf(block)));
        if (implausible < 0) {
            QVERIFY2(!found, qPrintable(found ? implausibilityText(*found) : QString()));
            return;
        }
        QVERIFY(found);
        QCOMPARE(*found, (Implausibility { Setting::SYS_PORT_CNT, implausible }));
        QCOMPARE(implausibilityText(*found),
                 QStringLiteral("Ports in System %1 (the board reports 8 to 48 in steps of 8)")
                     .arg(implausible));
    }
};

QTEST_GUILESS_MAIN(TestDecode)
#include "test_decode.moc"
